#pragma once
// The main window: composes the guard core with what the user sees. It
// owns the settings, the pages, the interval's timer and the icon; the
// watch (the core's Watcher) asks it its questions and it shows what the
// watch tells.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/HistoryKeeper.h"
#include "app/PngImage.h"
#include "app/RadioGroup.h"
#include "app/Settings.h"
#include "app/StartupList.h"
#include "app/TrayIcon.h"
#include "app/Window.h"
#include "app/WindowTimer.h"
#include "startpage/StartPages.h"
#include "startup/Guard.h"
#include "watch/Watcher.h"

namespace kb {

class PromptDialog;
class SelfStart;
class TabPage;

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

// Control ids. Whole-program tests find controls by them.
enum ControlId : int {
    IdSiteButton = 100,
    IdStartButton,
    IdQuitButton,
    IdCloseButton,
    IdPages,
    IdStartupPolicy,  // the group box; its three items follow
    IdStartupPolicyItem0,
    IdStartPagePolicy = IdStartupPolicyItem0 + 3,
    IdStartPagePolicyItem0,
    IdSelfStartBox = IdStartPagePolicyItem0 + 3,
    IdIntervalBox,
    IdIntervalEdit,
    IdIntervalLabel,
    IdStartupList,
    IdListReload,
    IdListApply,
    IdStartPageLabel0,
    IdStartPageEdit0 = IdStartPageLabel0 + 4,
    IdStartPagesReload = IdStartPageEdit0 + 4,
    IdStartPagesApply,
    IdRestartElevated,
    IdUnreadablePlaces,
    IdHistoryList,
    IdHistoryEnable,
};

class MainWindow : public WindowBase {
public:
    // Other programs and the whole-program tests find the window by these.
    static constexpr wchar_t kClassName[] = L"TDisableForm";
    static constexpr wchar_t kCaption[] = L"Keepboot 1.2 - Freeware";
    static constexpr UINT kTrayMessage = WM_APP + 1;
    // The window's timers: the interval's full check, and the retries of
    // the notification-area icon.
    static constexpr UINT_PTR kTimerId = 1, kTrayRetryTimerId = 3;
    // Answers a mask of the status bits, so another process can tell whether
    // the window is ready and the watch runs.
    static constexpr UINT kStatusMessage = WM_APP + 2;
    static constexpr LRESULT StatusReady = 1, StatusWatching = 2, StatusTrayIcon = 4;
    // The watch's counters, for the benchmark and the whole-program tests:
    // TakeSnapshot keeps them as they are at that moment (reading them
    // wakes the program too), the others answer one from the snapshot.
    static constexpr UINT kCounterMessage = WM_APP + 3;
    enum Counter : WPARAM { TakeSnapshot, WakeUps, FullChecks, PlaceChecks, Notices, CheckingMs };
    // Brings the window forward: a second start by hand asks for it.
    static constexpr UINT kShowMessage = WM_APP + 4;

    explicit MainWindow(MainWindowOptions options = {});
    ~MainWindow() override;

    // Makes the window, its controls and icon, then loads the settings and
    // reads everything. Only a failure to make the window or the icon raises.
    void Create();
    // Before anything is torn down: the watch stops for good and the
    // settings are saved. Runs once; also run by the destructor.
    void TearDown();

    bool StartHidden() const noexcept { return startHidden_; }
    bool TrayIconShown() const noexcept { return trayIcon_ && trayIcon_->Shown(); }
    bool Ready() const noexcept { return ready_; }
    void SetPrompt(PromptDialog* prompt) noexcept { prompt_ = prompt; }

    // The controls, by what they are.
    struct Controls {
        HWND pages = nullptr;
        HWND siteButton = nullptr, startButton = nullptr, quitButton = nullptr,
             closeButton = nullptr;
        RadioGroup startupPolicy, startPagePolicy;
        HWND selfStartBox = nullptr, intervalBox = nullptr, intervalEdit = nullptr,
             intervalLabel = nullptr;
        HWND startupList = nullptr, listReload = nullptr, listApply = nullptr;
        std::array<HWND, kStartPageCount> startPageLabels{}, startPageEdits{};
        HWND startPagesReload = nullptr, startPagesApply = nullptr;
        HWND restartElevated = nullptr;
        HWND unreadablePlaces = nullptr;
        HWND historyList = nullptr, historyEnable = nullptr;
    };
    const Controls& Ui() const noexcept { return ui_; }
    StartupGuard& Guard() { return *guard_; }
    WindowTimer& Timer() { return *timer_; }

    // --- the watch, for the message loop and the timer ----------------------
    // One check of every startup place and the start pages, by the policies:
    // the interval's full check.
    void CheckForChanges();
    // The change notifications to wait on beside the messages; none while
    // the watch does not run.
    const std::vector<HANDLE>& ChangeHandles() const noexcept;
    // One of those handles was signalled: its place (with any other whose
    // handle is signalled by now) is watched again and checked at once, or
    // right after the check or question under way.
    void OnPlaceChanged(std::size_t handle) noexcept;
    // Called by the message loop after each round of messages: a check put
    // off while a question or another check was under way runs now.
    void ResumeDeferredWork() noexcept;
    void NoteWakeUp() noexcept { watcher_->NoteWakeUp(); }
    // Handles the messages waiting now; on WM_QUIT, no further one, and its
    // exit code.
    std::optional<int> DispatchWaitingMessages();

    // --- the list page -----------------------------------------------------
    // Reads every place and the store again and shows them; during a check
    // it waits for the check's end.
    void ReloadStartupList();
    // Moves each entry whose check box was changed, then reloads.
    void ApplyStartupList();

    // --- the start-page page ----------------------------------------------
    // Reads the four values into their boxes; a box whose value could not be
    // read stays empty and is not defended.
    void ReloadStartPages();
    // Writes all four boxes; reports the values that could not be written.
    void WriteStartPages();

    // --- the history page -----------------------------------------------------
    // Enables the entry of the selected record, which a disable put into
    // the store.
    void EnableFromHistory();

    // --- the settings page -------------------------------------------------
    // Chooses the groups' items as clicks would: the watch follows at once.
    static constexpr int kKeepPolicy = -2;  // leaves that group as it is
    void ChoosePolicies(int startupItem, int startPageItem = kKeepPolicy);
    // Sets a check box, running its click handler when the state changes.
    void SetCheckBox(HWND box, bool checked);
    void OnSelfStartClicked();
    void OnIntervalBoxClicked();
    // Starts the program again with administrator rights and ends this one.
    void RestartElevated();
    // Where the settings are read from and written to.
    const std::wstring& SettingsFile() const noexcept { return settingsFile_; }

    // --- the frame -----------------------------------------------------------
    void StartWatching();
    void HideToTray();
    void ShowFromTray();
    void Quit();
    void OpenProductSite();
    void ShowPage(int index);
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages. True when the message was used.
    bool PreTranslateMessage(const MSG& msg);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();  // MainLayout.cpp
    void OnCommand(int id, int code);
    void Paint();
    // Adds the icon, and tries again for a while when the shell takes none.
    void ShowTrayIcon();
    void OnTrayRetry();
    void FocusLastControl();
    void Initialize();
    // Stops the watch for good; what runs later cannot start a check.
    void StopWatchingForGood() noexcept;
    void ShowSettings(const Settings& settings);
    void OnPolicyClicked();
    // The settings with the interval box's text taken into them.
    const Settings& TakeIntervalBox();
    std::wstring ExecutablePath() const;
    Decision Ask(const std::wstring& question, const EntryDetails& details = {},
                 bool shield = false);
    // Whether moving the entry needs rights this process has not.
    bool NeedsElevation(const StartupEntry& entry) const;
    // A notice that pauses nothing: a balloon from the icon, and a record.
    void ShowNotice(const std::wstring& text);
    // The watch, answered and shown by this window.
    void MakeWatcher();
    // After a check: what the user asked for while it ran.
    void RunPutOffWork();
    bool CheckUnderWay() const noexcept { return watcher_ && watcher_->Checking(); }
    bool StoppedForGood() const noexcept { return watcher_ && watcher_->Stopped(); }
    // Handles the window's messages during a long check: it answers, and
    // Quit ends the check.
    void Breathe();
    // Tells what the guard found since the last report as notices, and
    // shows which places could not be read.
    void ReportNotices();
    void ShowUnreadablePlaces();

    MainWindowOptions options_;
    DpiScale scale_;
    UniqueFont font_;
    PngBitmap logo_;
    Controls ui_;
    std::unique_ptr<WindowTimer> timer_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::array<std::unique_ptr<TabPage>, 4> pages_;
    std::unique_ptr<StartupGuard> guard_;
    std::unique_ptr<Watcher> watcher_;
    Watcher::Counters snapshot_;
    StartupList list_;
    HistoryKeeper history_;
    PromptDialog* prompt_ = nullptr;
    UINT taskbarCreatedMessage_ = 0;
    int trayRetries_ = 0;
    HWND lastFocus_ = nullptr;
    std::wstring settingsFile_;
    Settings settings_;  // what the user chose: the watch and the file read it
    bool elevated_ = true;
    bool startHidden_ = false;
    bool ready_ = false;
    bool settingsLoaded_ = false;
    bool reloadPending_ = false;   // a reload asked for during a check
    bool applyPending_ = false;    // the same for the list's Apply
    bool startPagesReloadPending_ = false;  // the same for the start pages
    bool tornDown_ = false;
};

}  // namespace kb
