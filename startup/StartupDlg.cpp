#include "startup/StartupDlg.h"

#include <vector>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "res/resource.h"

namespace kb {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

struct ButtonSpec {
    HWND TStartupDlg::*field;
    int id;
    const wchar_t* caption;
    int x;
    DWORD style;
};

// In tab order; the question sits between Enable and Cancel.
constexpr ButtonSpec kButtons[] = {
    {&TStartupDlg::DisableBtn, TStartupDlg::kDisable, L"Disable", 72, BS_DEFPUSHBUTTON},
    {&TStartupDlg::EnableBtn, TStartupDlg::kEnable, L"Enable", 161, BS_PUSHBUTTON},
    {&TStartupDlg::CancelBtn, TStartupDlg::kCancel, L"Cancel", 250, BS_PUSHBUTTON},
};

// The program's windows that a modal prompt disables while it waits.
struct DisabledWindows {
    HWND dialog;
    std::vector<HWND> windows;

    static BOOL CALLBACK Collect(HWND window, LPARAM param) {
        auto* self = reinterpret_cast<DisabledWindows*>(param);
        if (window != self->dialog && ::IsWindowVisible(window) && ::IsWindowEnabled(window))
            self->windows.push_back(window);
        return TRUE;
    }
};

}  // namespace

void TStartupDlg::Create() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterClassOnce(kClassName, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEEPBOOT)),
                      ::GetSysColorBrush(COLOR_BTNFACE));
    RECT frame{0, 0, scale_(384), scale_(118)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    CreateBound(kClassName, kAppTitle, kStyle, kExStyle, x, y, width, height, nullptr);
    // No maximise or resize in the system menu of a fixed dialog.
    if (HMENU menu = ::GetSystemMenu(Handle(), FALSE)) {
        ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        ::DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    }

    font_.reset(CreateUiFont(scale_));
    image_ = LoadPngResource(instance, IDR_PROMPT_PNG);

    auto make = [&](const wchar_t* cls, const wchar_t* caption, DWORD style, int id, int left,
                    int top, int w, int h) {
        HWND control = ::CreateWindowExW(
            0, cls, caption, WS_CHILD | WS_VISIBLE | style, scale_(left), scale_(top), scale_(w),
            scale_(h), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
            nullptr);
        if (!control) throw Error(L"Error creating window");
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        return control;
    };
    for (const ButtonSpec& b : kButtons) {
        if (b.id == kCancel)
            StaticText = make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kQuestionId, 72, 20, 289,
                              53);
        this->*b.field = make(L"BUTTON", b.caption, WS_TABSTOP | b.style, b.id, b.x, 83, 75, 25);
    }
}

int TStartupDlg::ShowPrompt(const std::wstring& question) {
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowTextW(StaticText, question.c_str());
    return RunModal();
}

int TStartupDlg::RunModal() {
    // Disable only the program's windows that are visible and enabled now;
    // a hidden main window stays usable once brought back.
    DisabledWindows collect{Handle(), {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &DisabledWindows::Collect,
                        reinterpret_cast<LPARAM>(&collect));
    std::vector<HWND>& disabled = collect.windows;
    for (HWND window : disabled) ::EnableWindow(window, FALSE);

    result_ = 0;
    modal_ = true;
    ::ShowWindow(Handle(), SW_SHOW);
    FormActivate();
    MSG msg;
    bool quit = false;
    while (result_ == 0) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = true;  // the program is ending: answer Cancel and pass it on
            result_ = kCancel;
            break;
        }
        if (!::IsDialogMessageW(Handle(), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    modal_ = false;
    for (HWND window : disabled) ::EnableWindow(window, TRUE);
    ::ShowWindow(Handle(), SW_HIDE);
    if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
    return result_;
}

void TStartupDlg::FormActivate() {
    if (::IsWindowVisible(Handle()) && ::IsWindowVisible(DisableBtn) &&
        ::IsWindowEnabled(DisableBtn))
        ::SetFocus(DisableBtn);
}

LRESULT TStartupDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (modal_ && HIWORD(wParam) == BN_CLICKED) {
            const int id = LOWORD(wParam);
            if (id == kDisable || id == kEnable || id == kCancel) result_ = id;
        }
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(kDisable, DC_HASDEFID);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) FormActivate();
        return 0;
    case WM_CLOSE:
        if (modal_) result_ = kCancel;
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(Handle(), &ps);
        DrawPng(dc, image_, scale_(17), scale_(21), scale_(39), scale_(48));
        ::EndPaint(Handle(), &ps);
        return 0;
    }
    }
    return Default(message, wParam, lParam);
}

}  // namespace kb
