// The window's side of the watch: it answers the watch's questions with
// the prompt, handles its messages while a long check runs, and shows what
// the watch tells.
#include <exception>
#include <utility>
#include <variant>

#include "app/ErrorReport.h"
#include "app/services/MessagePump.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/services/FindingWords.h"
#include "app/services/HeldAtSessionEnd.h"
#include "app/services/UserMoves.h"
#include "guard/DisabledLedger.h"
#include "places/CommandLine.h"
#include "platform/Error.h"
#include "platform/AppTitle.h"
#include "platform/Overloaded.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    // "disbale": the prompt's own text, kept as its users know it.
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

}  // namespace

void MainWindow::MakeWatcher() {
    WatchHost host;
    host.askAboutEntry = [this](const StartupEntry& entry) {
        EntryDetails details = DetailsOf(entry);
        details.before = guard_->PreviousCommand(entry).value_or(L"");
        const QuestionQueue::Answer answer =
            Ask({NewStartupQuestion(TextOf(entry).item), details, NeedsElevation(entry), entry});
        // Told with the outcome that follows, and no rights asked for.
        heldAtSessionEnd_ = answer.held;
        return answer.decision;
    };
    host.askAboutValue = [this](const std::wstring& question, const EntryDetails& details) {
        return Ask({question, details}).decision;
    };
    // Known from now on, and shown checked at the end of the list.
    host.allowed = [this](const StartupEntry& entry) { listTab_->Append(entry); };
    host.tell = [this](const WatchEvent& event) { Tell(event); };
    host.startPageAccepted = [this](std::size_t page, const std::wstring& text) {
        startPagesTab_->Accept(page, text);
    };
    host.breathe = [this] { Breathe(); };
    host.firstReadingTaken = [this] { listTab_->ShowKnown(); };
    host.checkEnded = [this] {
        // An answer the check after it did not take concerns a change gone
        // meanwhile: not kept for a namesake that comes later.
        questions_.Forget(watcher_->Count().fullChecks);
        // The first check is done: what the last session's end held aside
        // can be found where it is now.
        if (!askedAboutHeld_ && watcher_->Count().fullChecks > 0 && !watcher_->Busy()) {
            askedAboutHeld_ = true;
            AskAgainAboutWhatWasHeld();
        }
        RunPutOffWork();
    };
    host.adminPolicyMayHaveChanged = [this] { FollowAdminPolicy(); };
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
    for (const StartupEntry& entry : std::exchange(putBackPending_, {})) run([&] { PutBack(entry); });
    history_.List().Flush();
    if (failure) std::rethrow_exception(failure);
}

bool MainWindow::FilterMessage(MSG& msg) {
    // The prompt's keys too: Enter answers Disable, Esc Cancel.
    if (prompt_ && prompt_->Showing() && ::IsDialogMessageW(prompt_->Handle(), &msg)) return true;
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

QuestionQueue::Answer MainWindow::Ask(const Question& question) {
    // An answer given after the teardown began changes nothing.
    if (StoppedForGood()) return {Decision::Leave};
    if (options_.ask) return {options_.ask(question.text)};
    if (!prompt_) return {Decision::Leave};
    if (const std::optional<QuestionQueue::Answer> answer = questions_.Take(question)) return *answer;
    ShowNextQuestion();
    return {Decision::Later};
}

void MainWindow::ShowNextQuestion() {
    if (!prompt_ || StoppedForGood()) return;
    if (const std::optional<Question> next = questions_.Next()) prompt_->Show(*next);
}

void MainWindow::OnAnswered(Decision decision) noexcept {
    try {
        if (const std::optional<Question> answered = questions_.TakeShowing()) Act(*answered, {decision});
        ShowNextQuestion();
    } catch (...) {
        ReportCurrentException();
    }
}

void MainWindow::FollowPolicies(Policy startup, Policy startPages) {
    watcher_->SetPolicies(startup, startPages);
    // A logon value is asked about under the startup policy, a start page
    // under its own.
    const bool entries = startup != Policy::Ask, values = entries && startPages != Policy::Ask;
    if (!entries) return;
    const QuestionQueue::Withdrawn withdrawn = questions_.Withdraw(entries, values);
    if (!withdrawn.any) return;
    if (withdrawn.shown && prompt_) prompt_->Withdraw();
    ShowNextQuestion();
    watcher_->CheckEverythingSoon();
}

void MainWindow::Act(const Question& question, QuestionQueue::Answer answer) {
    if (StoppedForGood()) return;
    if (question.putBack) {
        if (answer.decision == Decision::Allow) PutBack(*question.entry);
        return;
    }
    // A new entry's answer is acted on at once, unless a check or move
    // runs: a Quit right after it does not lose it.
    if (question.entry && !watcher_->Busy()) {
        const Watcher::Hold hold = watcher_->HoldChecks();
        heldAtSessionEnd_ = answer.held;
        guard_->Answer(*question.entry, answer.decision, [this](const StartupEntry& e) { listTab_->Append(e); });
        heldAtSessionEnd_ = false;
        watcher_->TellWhatWasFound();
        return;
    }
    // Else the next full check acts on it where it meets the change again;
    // one under way may have passed it already.
    questions_.Keep(question, answer, watcher_->Count().fullChecks + 1);
    watcher_->CheckEverything();
}

void MainWindow::HoldQuestionsForSessionEnd() noexcept {
    // Each question still waiting, answered Disable: no rights are asked
    // for, nobody is there to give them. Each new entry is asked about
    // again at the next start, where Enable puts it back.
    std::vector<EntryText> held;
    for (const Question& question : questions_.TakeAll()) {
        try {
            Act(question, {Decision::Disable, true});
            if (question.entry && !question.putBack) held.push_back(TextOf(*question.entry));
        } catch (...) {
            ReportCurrentException();
        }
    }
    if (prompt_) prompt_->Withdraw();
    if (!held.empty() && !NoteHeldAtSessionEnd(held))
        ShowNotice(L"Keepboot could not note what it held aside as the session ended; the History page lists it.");
}

void MainWindow::AskAgainAboutWhatWasHeld() {
    for (const EntryText& text : TakeHeldAtSessionEnd()) {
        // Only what this program holds aside: any program of the user can
        // write the record.
        const std::optional<StartupEntry> aside = FindPutAside(guard_->Listed(), text);
        if (!aside || !WasDisabledHere(text.location, text.item, text.command)) continue;
        const ProgramAndArguments starts = SplitCommandLine(text.command);
        questions_.Add({.text = L"\"" + text.item + L"\" was held aside when the last session ended, before "
                                L"you answered. Do you want to keep it disabled?",
                        .details = {starts.program, starts.arguments, text.location, L""},
                        .entry = *aside,
                        .putBack = true});
    }
    ShowNextQuestion();
}

void MainWindow::PutBack(const StartupEntry& entry) {
    // Not in the middle of a check or another move: right after it.
    if (watcher_->Busy()) {
        putBackPending_.push_back(entry);
        return;
    }
    const std::wstring report = ReportOf(MoveForUser(*bench_, {entry}, MoveSource::History));
    listTab_->Reload();
    if (!report.empty()) throw Error(report);
}

bool MainWindow::NeedsElevation(const StartupEntry& entry) const {
    return !elevated_ && WritesMachinePlaces(entry);
}

void MainWindow::Tell(const WatchEvent& event) {
    // Every kind of event is handled: one left out does not compile.
    std::visit(Overloaded{
                   [this](const CheckOutcome& outcome) {
                       CheckOutcome said = outcome;
                       said.unanswered = said.asked && std::exchange(heldAtSessionEnd_, false);
                       history_.RecordOutcome(said);
                   },
                   [this](const StartPageChange& change) { history_.RecordStartPage(change); },
                   [this](const LogonValueChange& change) {
                       history_.RecordLogonValue(change);
                       // Found so as the watch started: said like a notice.
                       if (change.kind == LogonValueChange::Kind::NotWindowsOwn && trayIcon_) {
                           const LogonValue& value = LogonValues().at(change.index);
                           trayIcon_->ShowBalloon(kAppTitle, L"'" + std::wstring(value.name) + L"' (" +
                                                                 value.Location() + L") " +
                                                                 HowItDiffers(value, change.found) + L".");
                       }
                   },
                   [this](const Finding& finding) { ShowNotice(WordsOf(finding)); },
               },
               event);
}

void MainWindow::ShowNotice(const std::wstring& text) {
    history_.RecordNotice(text);
    if (trayIcon_) trayIcon_->ShowBalloon(kAppTitle, text);
}

}  // namespace kb
