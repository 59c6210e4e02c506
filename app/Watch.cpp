// The window's side of the watch: it hands the watch's questions to the
// desk (QuestionDesk.cpp), handles its messages while a long check runs, and
// hands what the watch tells to the history and the icon (Telling.cpp).
#include <exception>
#include <utility>

#include "app/ErrorReport.h"
#include "app/Texts.h"
#include "platform/Error.h"
#include "app/services/FindingWords.h"
#include "app/services/MessagePump.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/Texts.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    return UiText(IDS_QUESTION_NEW, {name});
}

}  // namespace

void MainWindow::MakeWatcher() {
    WatchHost host;
    host.askAboutEntry = [this](const StartupEntry& entry) {
        return questions_->AskAbout(entry, NewStartupQuestion(TextOf(entry).item), DetailsOf(entry)).decision;
    };
    host.askAboutValue = [this](const ValueQuestion& question, const EntryDetails& details) {
        return questions_->Ask({WordsOf(question), details}).decision;
    };
    // Known from now on, and shown checked at the end of the list.
    host.allowed = [this](const StartupEntry& entry) { listTab_->Append(entry); };
    host.tell = [this](const WatchEvent& event) { telling_.Tell(event); };
    host.startPageAccepted = [this](std::size_t page, const std::wstring& text) {
        startPagesTab_->Accept(page, text);
    };
    host.breathe = [this] { Breathe(); };
    host.firstReadingTaken = [this] { listTab_->ShowKnown(); };
    host.checkEnded = [this] {
        questions_->AfterCheck();
        RunPutOffWork();
    };
    host.adminPolicyMayHaveChanged = [this] {
        if (adminPolicy_) adminPolicy_->Follow();
    };
    watcher_ = std::make_unique<Watcher>(*guard_, !options_.folders, std::move(host));
}

void MainWindow::CheckForChanges() {
    // Records that could not be written are tried again at each interval.
    if (history_.Pending()) history_.RetryNow();
    watcher_->CheckEverything();
}

void MainWindow::OnPlaceChanged() noexcept {
    try {
        watcher_->OnSignalled();
    } catch (...) {
        ReportCurrentException();
    }
}

void MainWindow::ResumeDeferredWork() noexcept {
    try {
        watcher_->ResumeDeferred();
    } catch (...) {
        ReportCurrentException();
    }
}

void MainWindow::RunPutOffWork() {
    // What the user asked for while the check waited for an answer runs
    // now: a reload of the start pages, the list's Apply or reload.
    std::exception_ptr failure;
    const auto run = [&](auto&& work) {
        if (StoppedForGood()) return;
        try {
            work();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    run([this] { startPagesTab_->RunPutOffWork(); });
    run([this] { listTab_->RunPutOffWork(); });
    run([this] { historyTab_->RunPutOffWork(); });
    run([this] { questions_->RunPutOffWork(); });
    history_.List().Flush();
    if (failure) std::rethrow_exception(failure);
}

bool MainWindow::FilterMessage(MSG& msg) {
    // The prompt's keys too: Enter answers Disable, Esc Cancel.
    if (questions_ && questions_->FilterMessage(msg)) return true;
    return PreTranslateMessage(msg) || ::IsDialogMessageW(Handle(), &msg);
}

int MainWindow::RunUntilQuit() {
    // The one thread waits on the watch's change notifications beside its
    // messages (one handle, whatever the number of places): a change is seen
    // at once, and nothing wakes the program while nothing changes.
    const MessageFilter filter = [this](MSG& msg) { return FilterMessage(msg); };
    for (;;) {
        const std::optional<std::size_t> changed = WaitForMessageOr(watcher_->Handles());
        watcher_->NoteWakeUp();
        if (changed) OnPlaceChanged();
        if (const std::optional<int> quit = kb::DispatchWaitingMessages(filter)) return *quit;
        ResumeDeferredWork();
        // Here, and nowhere inside a message's handling: a box runs its own loop.
        ShowPendingReports();
    }
}

void MainWindow::Breathe() {
    // What the user does meanwhile waits for the check's end where it would
    // change what the check compares with (Refrush, Apply); Quit ends it.
    history_.List().Flush();
    if (const std::optional<int> quit =
            kb::DispatchWaitingMessages([this](MSG& msg) { return FilterMessage(msg); })) {
        StopWatchingForGood();
        ::PostQuitMessage(*quit);  // for the loop the check returns to
    }
}

void MainWindow::StartTheWatch() {
    // Armed before the first check reads anything: what changes while it
    // reads is checked right after it.
    watcher_->WatchChanges();
    try {
        timer_->SetEnabled(true);
    } catch (const Error& e) {
        // Nothing stops the guard: the notifications watch on without it.
        ShowNotice(UiText(IDS_NO_INTERVAL, {e.Context()}));
    }
    ::PostMessageW(Handle(), kFirstCheckMessage, 0, 0);
}

void MainWindow::ShowNotice(const std::wstring& text) {
    telling_.Notice(text);
}

}  // namespace kb
