#include "app/WatchDesk.h"

#include <utility>

#include "app/ErrorReport.h"
#include "app/Texts.h"
#include "platform/Error.h"

namespace kb {

WatchDesk::WatchDesk(Needs needs, StartupFolders folders, bool followFolders, WatchHost host)
    : needs_(std::move(needs)), guard_(std::move(folders)) {
    host.breathe = [this] { Breathe(); };
    watcher_ = std::make_unique<Watcher>(guard_, followFolders, std::move(host));
}

void WatchDesk::CheckForChanges() {
    // Records that could not be written are tried again at each interval.
    if (needs_.history->Pending()) needs_.history->RetryNow();
    watcher_->CheckEverything();
}

void WatchDesk::OnPlaceChanged() noexcept {
    try {
        watcher_->OnSignalled();
    } catch (...) {
        ReportCurrentException();
    }
}

void WatchDesk::ResumeDeferredWork() noexcept {
    try {
        watcher_->ResumeDeferred();
    } catch (...) {
        ReportCurrentException();
    }
}

int WatchDesk::RunUntilQuit() {
    // The one thread waits on the watch's change notifications beside its
    // messages (one handle, whatever the number of places): a change is seen
    // at once, and nothing wakes the program while nothing changes.
    for (;;) {
        const std::optional<std::size_t> changed = WaitForMessageOr(watcher_->Handles());
        watcher_->NoteWakeUp();
        if (changed) OnPlaceChanged();
        if (const std::optional<int> quit = kb::DispatchWaitingMessages(needs_.filter)) return *quit;
        ResumeDeferredWork();
        // Here, and nowhere inside a message's handling: a box runs its own loop.
        ShowPendingReports();
    }
}

void WatchDesk::Breathe() {
    // What the user does meanwhile waits for the check's end where it would
    // change what the check compares with (Refrush, Apply); Quit ends it.
    needs_.history->List().Flush();
    if (const std::optional<int> quit = kb::DispatchWaitingMessages(needs_.filter)) {
        StopForGood();
        ::PostQuitMessage(*quit);  // for the loop the check returns to
    }
}

void WatchDesk::Start() {
    // Armed before the first check reads anything: what changes while it
    // reads is checked right after it.
    watcher_->WatchChanges();
    try {
        needs_.timer->SetEnabled(true);
    } catch (const Error& e) {
        // Nothing stops the guard: the notifications watch on without it.
        needs_.notice(UiText(IDS_NO_INTERVAL, {e.Context()}));
    }
    ::PostMessageW(needs_.window, needs_.firstCheckMessage, 0, 0);
}

void WatchDesk::StopForGood() noexcept {
    needs_.timer->Stop();
    watcher_->Stop();
}

}  // namespace kb
