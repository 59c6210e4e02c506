#pragma once
// The main window: composes the guard core with what the user sees. It
// owns the settings, the pages, the interval's timer and the icon; the
// watch (the core's Watcher) asks it its questions and it shows what the
// watch tells.
#include <windows.h>

#include "keepboot_version.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/services/GuardWindow.h"
#include "app/Controls.h"
#include "app/AdministratorPolicy.h"
#include "app/services/HistoryKeeper.h"
#include "app/services/Errands.h"
#include "app/QuestionDesk.h"
#include "app/PageSet.h"
#include "app/PngImage.h"
#include "app/OwnStart.h"
#include "app/Telling.h"
#include "app/TrayIcon.h"
#include "app/WatchDesk.h"
#include "app/Window.h"
#include "app/WindowTimer.h"
#include "app/services/Workbench.h"
#include "guard/Guard.h"
#include "watch/Watcher.h"

namespace kb {

class PromptDialog;
class SelfStart;

// Whether the arguments ask for a hidden start that watches at once:
// "-start" first or second.
bool StartsHidden(const std::vector<std::wstring>& arguments);

struct MainWindowOptions {
    // The command-line arguments after the program's name.
    std::vector<std::wstring> arguments;
    // The folders to guard; the shell's when not given (tests give their own).
    std::optional<StartupFolders> folders;
    // The program file whose path names the settings file and the self-start
    // entry; empty for the running executable.
    std::wstring executable;
    // Answers the questions instead of the prompt dialog (tests).
    std::function<Decision(const std::wstring& question)> ask;
    // How the program starts itself at logon; the system's way when not
    // given (tests give the Run value, which their sandbox redirects).
    std::shared_ptr<SelfStart> selfStart;
    // The history file; the user's own when not given.
    std::wstring historyFile;
};

class MainWindow : public WindowBase {
public:
    // Other programs and the whole-program tests find the window by these.
    static constexpr const wchar_t* kClassName = guard_window::kClassName;
    static constexpr wchar_t kCaption[] = L"Keepboot " KEEPBOOT_CAPTION_VERSION L" - Freeware";
    static constexpr UINT kTrayMessage = WM_APP + 1;
    // The window's timers: the interval's full check, the retries of the
    // notification-area icon, and another look at the administrator's policy.
    static constexpr UINT_PTR kTimerId = 1, kTrayRetryTimerId = 3, kPolicyTimerId = 4;
    // Answers a mask of the status bits, so another process can tell whether
    // the window is ready and the watch runs.
    static constexpr UINT kStatusMessage = guard_window::kStatusMessage;
    static constexpr LRESULT StatusReady = guard_window::StatusReady,
                             StatusWatching = guard_window::StatusWatching,
                             StatusTrayIcon = guard_window::StatusTrayIcon;
    // The watch's counters, for the benchmark and the whole-program tests:
    // TakeSnapshot keeps them as they are at that moment (reading them
    // wakes the program too), the others answer one from the snapshot.
    static constexpr UINT kCounterMessage = WM_APP + 3;
    enum Counter : WPARAM { TakeSnapshot, WakeUps, FullChecks, PlaceChecks, Notices, CheckingMs };
    // Brings the window forward: a second start by hand asks for it.
    static constexpr UINT kShowMessage = guard_window::kShowMessage;
    // The watch's first check, once the message loop runs.
    static constexpr UINT kFirstCheckMessage = WM_APP + 5;
    // An instance started for moves with rights was not asked by this guard.
    static constexpr UINT kForeignRequestMessage = guard_window::kForeignRequestMessage;
    // Work done off the window's thread ended: its reply waits in the box.
    static constexpr UINT kErrandMessage = WM_APP + 7;

    explicit MainWindow(MainWindowOptions options = {});
    ~MainWindow() override;

    // Makes the window, its controls and icon, then loads the settings and
    // reads everything. Only a failure to make the window, what it is made
    // of (the watch, the pages) or the icon raises.
    void Create();
    // Before anything is torn down: the watch stops for good and the
    // settings are saved. Runs once; also run by the destructor.
    void TearDown();

    bool StartHidden() const noexcept { return startHidden_; }
    bool TrayIconShown() const noexcept { return trayIcon_ && trayIcon_->Shown(); }
    bool Ready() const noexcept { return ready_; }
    // The dialog that asks the questions; without one nothing is asked and
    // each change is left as it is.
    void SetPrompt(PromptDialog* prompt);

    // Whether work sent off the window's thread is under way, or its reply
    // has still to be shown.
    bool ErrandsUnderWay() const noexcept { return errands_ && errands_->Busy(); }
    // The pages, each with its controls and handlers.
    PageSet& Pages() noexcept { return *pages_; }
    StartupGuard& Guard() { return watch_->Guard(); }
    // The watch, its checks and the program's loop.
    WatchDesk& Watch() { return *watch_; }
    WindowTimer& Timer() { return *timer_; }
    // Where the settings are read from and written to.
    const std::wstring& SettingsFile() const noexcept { return settingsFile_; }

    // --- the frame -----------------------------------------------------------
    // Start: the watch runs, and the window goes to the notification area.
    void StartWatching();
    void HideToTray();
    void ShowFromTray();
    void Quit();
    // What each message of the window goes through: its keys, then the
    // dialog keys. True when the message was used.
    bool FilterMessage(MSG& msg);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    static constexpr DWORD kMainExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    // The frame's buttons, the page control and the pages.
    void CreateControls();  // MainLayout.cpp
    // The window's rectangle for its client area at the scale.
    static SIZE ClientFor(const DpiScale& scale) { return {scale(624), scale(454)}; }
    static RECT FrameFor(const DpiScale& scale);
    // Lays the window and everything on it out again for another DPI (its
    // monitor's), at the place Windows suggests or where it stands.
    void LayOutFor(const DpiScale& scale, const RECT* suggested);
    // The program's own messages, and the tray icon's; none for another.
    std::optional<LRESULT> HandleOwnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OpenProductSite();
    void Paint();
    void FocusLastControl();
    void Initialize();
    // Stops the watch for good; what runs later cannot start a check.
    void StopWatchingForGood() noexcept {
        if (watch_) watch_->StopForGood();
    }
    // The settings with the interval box's text taken into them.
    const Settings& TakeIntervalBox();
    // The settings' box from what Windows will do at logon, the first time
    // the window shows.
    void ShowSelfStartOnce();
    // The logon start made or removed at the user's word, and made what the
    // administrator's policy says: off the window's thread, the box greyed
    // meanwhile and set from what Windows then does.
    void ChooseSelfStart(bool on);
    void FollowSelfStartPolicy(bool wanted);
    // The watch's checks wait while a change of the logon start is under way,
    // until its reply makes the program's own entry known.
    void HoldChecksForSelfStart();
    void SelfStartKnown();
    // A service the user disabled in the prompt, and asked to stop too.
    void StopDisabledService(const std::wstring& name);
    // The settings page's request: started again with the rights, in this
    // one's place.
    void RestartElevated();
    // Quit, the close box and Start are the administrator's to allow: while
    // locked the watch runs, and only Windows ends the program.
    void LockQuit(bool locked);
    bool QuitLocked() const { return pages_ && pages_->Settings().Admin().QuitLocked(); }
    // A notice that pauses nothing: a balloon from the icon, and a record.
    void ShowNotice(const std::wstring& text);
    // How this window answers and shows what the watch asks and tells.
    WatchHost HostOfTheWatch();
    // After a check: what the user asked for while it ran.
    void RunPutOffWork();
    bool StoppedForGood() const noexcept { return watch_ && watch_->Stopped(); }

    MainWindowOptions options_;
    DpiScale scale_;
    UniqueFont font_;
    PngBitmap logo_;
    std::unique_ptr<WindowTimer> timer_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<OwnStart> own_;
    std::unique_ptr<WatchDesk> watch_;
    Watcher::Counters snapshot_;
    HistoryKeeper history_;
    Telling telling_{history_, [this] { return trayIcon_.get(); },
                     [this] { return questions_ && questions_->TakeAnsweredBySessionEnd(); }};
    std::unique_ptr<Workbench> bench_;
    std::unique_ptr<ControlSet> frame_;  // the window's own buttons
    Control startButton_, quitButton_;
    std::unique_ptr<AdministratorPolicy> adminPolicy_;
    bool selfStartShown_ = false;
    // Counts the changes of the logon start sent off: a look sent before one
    // shows nothing.
    unsigned selfStartRound_ = 0;
    bool restarting_ = false;  // with administrator rights, in a new instance
    std::unique_ptr<PageSet> pages_;
    PromptDialog* prompt_ = nullptr;
    std::unique_ptr<QuestionDesk> questions_;
    std::unique_ptr<Errands> errands_;
    // One per change of the logon start under way; after watch_, so they go
    // before the watch does.
    std::vector<Watcher::Hold> selfStartHolds_;
    UINT taskbarCreatedMessage_ = 0;
    HWND lastFocus_ = nullptr;
    std::wstring settingsFile_;
    bool elevated_ = true;
    bool startHidden_ = false;
    bool ready_ = false;
    bool settingsLoaded_ = false;
    bool tornDown_ = false;
};

}  // namespace kb
