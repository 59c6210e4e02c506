// The window's side of the questions: the queue they wait in, the prompt
// that asks them one at a time, and what each answer does, also when the
// session ends or the policy stops asking.
#include <utility>

#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/services/HeldAtSessionEnd.h"
#include "app/services/UserMoves.h"
#include "guard/DisabledLedger.h"
#include "places/CommandLine.h"
#include "platform/Error.h"

namespace kb {

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
    try {
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
    } catch (...) {
        ReportCurrentException();
    }
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
    if (!report.empty()) ShowErrorReport(report);
}

}  // namespace kb
