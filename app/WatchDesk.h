#pragma once
// The window's side of the watch: the guard and its watcher, the interval's
// check, and the program's one loop, which waits on the watch's change
// notifications beside the messages. A long check breathes through the
// same messages; Quit meanwhile ends it.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/WindowTimer.h"
#include "app/services/HistoryKeeper.h"
#include "app/services/MessagePump.h"
#include "guard/Guard.h"
#include "watch/Watcher.h"

namespace kb {

class WatchDesk {
public:
    struct Needs {
        HWND window = nullptr;
        // Posted to the window for the watch's first check, once the loop runs.
        UINT firstCheckMessage = 0;
        WindowTimer* timer = nullptr;  // the interval's
        HistoryKeeper* history = nullptr;
        // Every message the loop or a breath dispatches goes through it first.
        MessageFilter filter = {};
        // A notice that pauses nothing.
        std::function<void(const std::wstring&)> notice = {};
    };
    // followFolders: the Startup folders are the shell's, followed when they
    // move. The host answers and shows what the watch asks and tells; its
    // breath is the desk's.
    WatchDesk(Needs needs, StartupFolders folders, bool followFolders, WatchHost host);
    // The watcher holds its guard, and the breath this desk, by reference.
    WatchDesk(const WatchDesk&) = delete;
    WatchDesk& operator=(const WatchDesk&) = delete;

    StartupGuard& Guard() noexcept { return guard_; }
    Watcher& Watch() noexcept { return *watcher_; }
    // The watch's notifications are armed.
    bool Watching() const { return !watcher_->Handles().empty(); }
    // Stopped for good: nothing starts a check any more.
    bool Stopped() const noexcept { return watcher_->Stopped(); }

    // One check of every startup place and the start pages, by the
    // policies: the interval's full check.
    void CheckForChanges();
    // Arms the watch, starts its interval, and has the first check run:
    // what changed since the last run is handled by the policy.
    void Start();
    void StopForGood() noexcept;
    // The loop, until WM_QUIT; its exit code.
    int RunUntilQuit();

private:
    // A place's change notification was signalled: every place that changed
    // by now is watched again and checked at once, or right after the check
    // or question under way.
    void OnPlaceChanged() noexcept;
    // After each round of messages: a check put off while a question or
    // another check was under way runs now.
    void ResumeDeferredWork() noexcept;
    // Handles the window's messages during a long check: it answers, and
    // Quit ends the check.
    void Breathe();

    Needs needs_;
    StartupGuard guard_;
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace kb
