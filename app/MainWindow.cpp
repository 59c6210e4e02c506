// The main window's creation, teardown and message dispatch.
#include "app/MainWindow.h"

#include <windows.h>
#include <commctrl.h>

#include "app/services/Elevation.h"
#include "app/ErrorReport.h"
#include "app/PromptDialog.h"
#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/NewerWindows.h"
#include "platform/ScopeExit.h"
#include "platform/ServiceCall.h"
#include "res/resource.h"
#include "app/Texts.h"

namespace kb {

bool StartsHidden(const std::vector<std::wstring>& arguments) {
    return (!arguments.empty() && arguments[0] == L"-start") ||
           (arguments.size() > 1 && arguments[1] == L"-start");
}

MainWindow::MainWindow(MainWindowOptions options) : options_(std::move(options)) {}

void MainWindow::SetPrompt(PromptDialog* prompt) {
    prompt_ = prompt;
    if (questions_) questions_->SetPrompt(prompt_);
}

MainWindow::~MainWindow() {
    TearDown();
}

void MainWindow::Create() {
    own_ = std::make_unique<OwnStart>(options_.executable, options_.selfStart);
    const INITCOMMONCONTROLSEX controls{sizeof controls,
                                        ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const RECT frame = FrameFor(scale_);
    CreateOf({kClassName, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEEPBOOT)),
              ::GetSysColorBrush(COLOR_BTNFACE)},
             {.caption = kCaption,
              .style = kMainStyle,
              .exStyle = kMainExStyle,
              .width = frame.right - frame.left,
              .height = frame.bottom - frame.top});
    // Made for the system's DPI; laid out for its monitor's where that differs.
    LayOutFor(DpiScale::Of(Handle()), nullptr);

    timer_ = std::make_unique<WindowTimer>(Handle(), kTimerId);
    watch_ = std::make_unique<WatchDesk>(
        WatchDesk::Needs{.window = Handle(),
                         .firstCheckMessage = kFirstCheckMessage,
                         .timer = timer_.get(),
                         .history = &history_,
                         .filter = [this](MSG& msg) { return FilterMessage(msg); },
                         .notice = [this](const std::wstring& text) { ShowNotice(text); }},
        options_.folders ? *options_.folders : FindStartupFolders(), !options_.folders, HostOfTheWatch());
    // A disable the user asked for in the prompt may borrow the rights.
    Guard().SetElevation([this](const StartupEntry& entry) {
        // Nobody is there to give the rights as the session ends.
        if (questions_ && questions_->SessionEnding()) return MoveResult::NeedsAdministrator;
        return MoveElevated(Handle(), own_->Executable(), {entry}).front();
    });
    elevated_ = ProcessIsElevated();
    bench_ = std::make_unique<Workbench>(Workbench{
        .guard = Guard(),
        .watcher = watch_->Watch(),
        .history = history_,
        .moveElevated =
            [this](const std::vector<StartupEntry>& entries) {
                return MoveElevated(Handle(), own_->Executable(), entries);
            },
        .elevated = elevated_});
    errands_ = std::make_unique<Errands>(Handle(), kErrandMessage);
    questions_ = std::make_unique<QuestionDesk>(QuestionDesk::Needs{
        .bench = *bench_,
        .listed = [this](const StartupEntry& entry) { pages_->List().Append(entry); },
        .relisted = [this] { pages_->List().Reload(); },
        .notice = [this](const std::wstring& text) { ShowNotice(text); },
        .stop = [this](const std::wstring& service) { StopDisabledService(service); },
        .answer = options_.ask});
    questions_->SetPrompt(prompt_);
    logo_ = LoadPngResource(instance, IDR_BANNER_PNG);
    CreateControls();
    adminPolicy_ = std::make_unique<AdministratorPolicy>(AdministratorPolicy::Needs{
        .settings = pages_->Settings(),
        .history = history_,
        .notice = [this](const std::wstring& text) { ShowNotice(text); },
        .interval = [this](int seconds) { timer_->SetInterval(IntervalMilliseconds(seconds)); },
        .lockQuit = [this](bool locked) { LockQuit(locked); },
        .followSelfStart = [this](bool wanted) { FollowSelfStartPolicy(wanted); },
        .lookAgain = [this](unsigned ms) { ::SetTimer(Handle(), kPolicyTimerId, ms, nullptr); }});

    taskbarCreatedMessage_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    // An elevated instance still hears of a new taskbar from the shell,
    // which runs with less rights.
    AllowMessageFromLowerIntegrity(Handle(), taskbarCreatedMessage_);
    // And a second start without rights can still ask an elevated one
    // whether it runs, and bring it forward.
    for (const UINT message : {kStatusMessage, kShowMessage})
        AllowMessageFromLowerIntegrity(Handle(), message);
    // The size Windows asks for at this scaling: 16, 20, 24 or 32 pixels.
    const int iconSize = ::GetSystemMetrics(SM_CXSMICON);
    UniqueIcon trayImage(static_cast<HICON>(::LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, iconSize, iconSize, 0)));
    trayIcon_ = std::make_unique<TrayIcon>(Handle(), kTrayMessage, kTrayRetryTimerId,
                                           std::move(trayImage), kAppTitle);
    trayIcon_->Show();

    Initialize();
}

void MainWindow::Initialize() {
    // The window is ready however far this gets.
    ScopeExit ready([this] {
        ready_ = true;
        watch_->Watch().SetReady();
    });
    const auto& args = options_.arguments;
    startHidden_ = StartsHidden(args);

    history_.SetFailureNotice([this](const std::wstring& text) { ShowNotice(text); });
    history_.Open(options_.historyFile.empty() ? DefaultHistoryPath() : options_.historyFile);
    const SettingsFiles files = ChooseSettingsFiles(own_->Executable());
    settingsFile_ = files.write;
    Settings settings = ReadSettings(files.read, Settings{});
    // The logon-start box is set from what Windows will do, whatever the
    // file says, when the window is first shown (ShowSelfStartOnce), not
    // for a window that may never be opened.
    pages_->Settings().Show(settings);
    if (settings.intervalSeconds > 0)
        timer_->SetInterval(IntervalMilliseconds(settings.intervalSeconds));
    // The administrator's policy, where one is set, over the user's.
    adminPolicy_->Follow();
    settingsLoaded_ = true;
    pages_->Show(0);
    // What is known outlives the process: the last run's, not what the
    // places hold now, is what the watch compares with.
    Guard().SetKeeping(StartupGuard::Keeping::Everything);
    watch_->Watch().SetKeeping(true);
    try {
        Guard().Restore();
    } catch (...) {
        // The watch takes its first whole reading at its first check instead.
        ReportCurrentException();
    }
    pages_->List().ShowKnown();
    // The boxes show what the last run defended; the very first start reads them.
    if (!pages_->StartPages().ShowDefended()) pages_->StartPages().Reload();
    // The watch runs at once where the user may not stop it.
    if (startHidden_ || QuitLocked()) watch_->Start();
}

void MainWindow::TearDown() {
    if (tornDown_ || !Handle()) return;
    tornDown_ = true;
    // First: a report shown below runs a message loop, and nothing it
    // dispatches may start a check on state that is going away.
    StopWatchingForGood();
    // A logon start being made, or a service stopped, by an elevated
    // instance ends first, so its part is done as the user asked; one
    // waiting on a silent scheduler has given up by then.
    if (errands_) errands_->Finish(AnswerLimitMs(SystemService::TaskScheduler) + 5000);
    // What the history could not write yet has its last try: it is not
    // kept anywhere else once the process ends.
    if (history_.Pending()) history_.RetryNow();
    // Settings never loaded (creation failed early) are not saved: the
    // defaults would overwrite the user's file.
    if (!settingsLoaded_) return;
    try {
        WriteSettings(settingsFile_, TakeIntervalBox());
    } catch (...) {
        ReportCurrentException();
    }
}

std::optional<LRESULT> MainWindow::HandleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreatedMessage_ && message != 0) {
        // The shell forgot every icon.
        if (trayIcon_) trayIcon_->Show();
        return 0;
    }
    switch (message) {
    case kCounterMessage:
        if (wParam == TakeSnapshot) snapshot_ = watch_->Watch().Count();
        return static_cast<LRESULT>(wParam == WakeUps       ? snapshot_.wakeUps
                                    : wParam == FullChecks  ? snapshot_.fullChecks
                                    : wParam == PlaceChecks ? snapshot_.placeChecks
                                    : wParam == Notices     ? snapshot_.notices
                                    : wParam == CheckingMs
                                        ? static_cast<unsigned long>(snapshot_.checkingMs)
                                        : 0);
    case kShowMessage:
        ShowFromTray();
        return 0;
    case kFirstCheckMessage:
        watch_->CheckForChanges();
        return 0;
    case kForeignRequestMessage:
        ShowNotice(UiText(IDS_FOREIGN_REQUEST));
        return 0;
    case kErrandMessage:
        errands_->RunReplies();
        return 0;
    case kTrayMessage:
        if (LOWORD(lParam) == WM_LBUTTONUP) ShowFromTray();
        // A click on a notice opens the page that keeps them.
        if (LOWORD(lParam) == NIN_BALLOONUSERCLICK) {
            pages_->Show(3);
            ShowFromTray();
        }
        return 0;
    case kStatusMessage:
        return (ready_ ? StatusReady : 0) | (watch_ && watch_->Watching() ? StatusWatching : 0) |
               (TrayIconShown() ? StatusTrayIcon : 0);
    }
    return std::nullopt;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const std::optional<LRESULT> handled = HandleOwnMessage(message, wParam, lParam)) return *handled;
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && frame_) frame_->Click(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (pages_) pages_->OnNotify(header);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kTimerId) {
            watch_->CheckForChanges();
            // A reply whose message was lost (a full queue) is not left
            // waiting, nor the checks it holds, which then run.
            errands_->RunReplies();
        }
        if (wParam == kPolicyTimerId) {
            ::KillTimer(Handle(), kPolicyTimerId);
            if (adminPolicy_) adminPolicy_->Follow();
        }
        if (trayIcon_) trayIcon_->OnTimer(wParam);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            HideToTray();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The administrator's policy may keep the guard running: only
        // Windows, or ending the process, ends it then.
        if (QuitLocked() && !restarting_) return 0;
        // Closing the main window ends the program; the settings are saved
        // after the loop. From here on nothing is checked.
        StopWatchingForGood();
        ::PostQuitMessage(0);
        return 0;
    case WM_QUERYENDSESSION:
        // An entry asked about is not left live to run unanswered at the
        // next logon: held aside as a disable does, and said so.
        if (questions_) questions_->HoldForSessionEnd();
        return TRUE;
    case WM_ENDSESSION:
        // The process may end without returning to the loop: save now.
        if (wParam) TearDown();
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
    case WM_SHOWWINDOW:
        if (wParam) ShowSelfStartOnce();
        break;
    case WM_DPICHANGED:
        // Moved to a monitor of another scale: laid out for it where Windows says.
        LayOutFor(DpiScale(LOWORD(wParam)), reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    return Default(message, wParam, lParam);
}

void MainWindow::FocusLastControl() {
    const HWND target = lastFocus_ && ::IsWindow(lastFocus_) && ::IsWindowVisible(lastFocus_)
                            ? lastFocus_
                            : startButton_.Handle();
    ::SetFocus(target ? target : Handle());
}

void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    DrawPng(dc, logo_, scale_(8), scale_(-1), scale_(364), scale_(64));
    ::EndPaint(Handle(), &ps);
}

}  // namespace kb
