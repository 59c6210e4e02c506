// The main window's creation, destruction and message dispatch.
#include "app/DisableForm.h"
#include "app/TabPage.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/ScopeExit.h"
#include "res/resource.h"

namespace kb {

namespace {
constexpr UINT_PTR kTimerId = 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
}  // namespace

TDisableForm::TDisableForm(FormOptions options) : options_(std::move(options)) {}

TDisableForm::~TDisableForm() {
    Destroy();
}

void TDisableForm::Create() {
    const INITCOMMONCONTROLSEX controls{sizeof controls,
                                        ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterClassOnce(kClassName, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEEPBOOT)),
                      ::GetSysColorBrush(COLOR_BTNFACE));
    RECT frame{0, 0, scale_(624), scale_(454)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    CreateBound(kClassName, kCaption, kStyle, kExStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                frame.right - frame.left, frame.bottom - frame.top, nullptr);

    logo_ = LoadPngResource(instance, IDR_BANNER_PNG);
    timer_ = std::make_unique<WindowTimer>(Handle(), kTimerId);
    CreateControls();

    taskbarCreatedMessage_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    UniqueIcon trayImage(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 16, 16, 0)));
    trayIcon_ = std::make_unique<TrayIcon>(Handle(), kTrayMessage, std::move(trayImage), kAppTitle);
    trayIcon_->Add();

    formCreated_ = true;
    try {
        FormCreate();
    } catch (...) {
        ReportCurrentException();
    }
}

void TDisableForm::Destroy() {
    // A window whose creation failed before FormCreate never loaded the
    // settings: saving its defaults would overwrite the user's file.
    if (destroyed_ || !Handle() || !formCreated_) return;
    destroyed_ = true;
    try {
        FormDestroy();
    } catch (...) {
        ReportCurrentException();
    }
}

void TDisableForm::FormCreate() {
    FormReady = false;
    ScopeExit ready([this] { FormReady = true; });

    StartHidden = false;
    const auto& args = options_.arguments;
    if (!args.empty()) {
        if (args[0] == L"-start") StartHidden = true;
        if (args.size() > 1 && args[1] == L"-start") StartHidden = true;
    }
    // The entry shows the window after creation unless StartHidden is set.
    LoadSettings();
    if (TabCtrl_GetCurSel(PageControl) != 0) ShowPage(0);
    // Every way of minimising ends in AppMinimize (see HandleMessage).
    Scanning = false;
    for (TextTable* table : {&RunTable, &RunScanTable, &DisabledRunTable, &FolderTable,
                             &FolderScanTable, &DisabledFolderTable})
        table->Clear();
    CommonStartupDir = GetSpecialFolderPath(CSIDL_COMMON_STARTUP);
    StartupDir = GetSpecialFolderPath(CSIDL_STARTUP);
    WindowsDir = GetSpecialFolderPath(CSIDL_WINDOWS);
    LoadStartupInventory();
    FillStartupListView();
    ReadStartPages();
    if (StartHidden) Timer().SetEnabled(true);
}

void TDisableForm::FormDestroy() {
    ScopeExit release([this] {
        for (TextTable* table : {&RunTable, &RunScanTable, &DisabledRunTable, &FolderTable,
                                 &FolderScanTable, &DisabledFolderTable})
            table->Clear();
    });
    SaveSettings();
}

LRESULT TDisableForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreatedMessage_ && message != 0) {
        if (trayIcon_) trayIcon_->Readd();
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTimerId) TimerTimer();
        return 0;
    case kTrayMessage:
        if (LOWORD(lParam) == WM_LBUTTONUP) TrayIconClick();
        return 0;
    case kStatusMessage:
        return (FormReady ? StatusReady : 0) | (Timer().Enabled() ? StatusWatching : 0);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            MinimizeApp();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Closing the main window ends the program; FormDestroy runs after the loop.
        ::PostQuitMessage(0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may end without returning to the loop: save now.
        if (wParam) Destroy();
        return 0;
    case WM_ACTIVATE:
        // Keep the focused control across deactivation, as a dialog does.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus && ::IsChild(Handle(), focus)) lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            FocusLastControl();
        }
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    }
    return Default(message, wParam, lParam);
}

void TDisableForm::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case IdStartButton: StartButtonClick(); break;
    case IdStopButton: StopButtonClick(); break;
    case IdCloseButton: CloseButtonClick(); break;
    case IdOnlineButton: OnlineButtonClick(); break;
    case IdRefrushButton: RefrushButtonClick(); break;
    case IdApplyButton: ApplyButtonClick(); break;
    case IdApplyButton1: ApplyButton1Click(ApplyButton1); break;
    case IdRefrushButton1: RefrushButton1Click(); break;
    case IdStartupCheckBox: StartupCheckBoxClick(); break;
    case IdIntervalCheckBox: IntervalCheckBoxClick(); break;
    default: break;
    }
}

void TDisableForm::OnNotify(const NMHDR& header) {
    if (header.hwndFrom == PageControl && header.code == TCN_SELCHANGE)
        ShowPage(TabCtrl_GetCurSel(PageControl));
}

void TDisableForm::ShowPage(int index) {
    TabCtrl_SetCurSel(PageControl, index);
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
        if (pages_[i]) ::ShowWindow(pages_[i]->Handle(), i == index ? SW_SHOW : SW_HIDE);
}

void TDisableForm::FocusLastControl() {
    const HWND target = lastFocus_ && ::IsWindow(lastFocus_) && ::IsWindowVisible(lastFocus_)
                            ? lastFocus_
                            : StartButton;
    ::SetFocus(target ? target : Handle());
}

void TDisableForm::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    DrawPng(dc, logo_, scale_(8), scale_(-1), scale_(364), scale_(64));
    ::EndPaint(Handle(), &ps);
}

}  // namespace kb
