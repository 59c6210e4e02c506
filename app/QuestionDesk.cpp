// The window's side of the questions: the queue they wait in, the prompt
// that asks them one at a time, and what each answer does.
#include "app/QuestionDesk.h"

#include <exception>
#include <utility>

#include "app/ErrorReport.h"
#include "app/PromptDialog.h"
#include "app/services/HeldAtSessionEnd.h"
#include "app/services/UserMoves.h"
#include "guard/DisabledLedger.h"
#include "places/CommandLine.h"
#include "kinds/EntryMoves.h"
#include "kinds/Services.h"
#include "store/Store.h"
#include "app/Texts.h"

namespace kb {

void QuestionDesk::SetPrompt(PromptDialog* prompt) {
    prompt_ = prompt;
    if (prompt_) prompt_->OnAnswer([this](Decision decision, bool stop) { OnAnswered(decision, stop); });
}

QuestionQueue::Answer QuestionDesk::Ask(const Question& question) {
    // An answer given after the teardown began changes nothing.
    if (needs_.bench.watcher.Stopped()) return {Decision::Leave};
    if (needs_.answer) return {needs_.answer(question.text)};
    if (!prompt_) return {Decision::Leave};
    if (const std::optional<QuestionQueue::Answer> answer = queue_.Take(question)) {
        // The check that took it disables the service first.
        if (answer->stop) stopPending_.push_back(question);
        return *answer;
    }
    ShowNext();
    return {Decision::Later};
}

QuestionQueue::Answer QuestionDesk::AskAbout(const StartupEntry& entry, const std::wstring& text,
                                             EntryDetails details) {
    details.before = needs_.bench.guard.PreviousCommand(entry).value_or(L"");
    const QuestionQueue::Answer answer = Ask({text, details, NeedsElevation(entry), entry});
    // Told with the outcome that follows, and no rights asked for.
    heldAtSessionEnd_ = answer.held;
    return answer;
}

bool QuestionDesk::NeedsElevation(const StartupEntry& entry) const {
    return !needs_.bench.elevated && WritesMachinePlaces(entry);
}

void QuestionDesk::ShowNext() {
    if (!prompt_ || needs_.bench.watcher.Stopped()) return;
    if (const std::optional<Question> next = queue_.Next()) prompt_->Show(*next);
}

bool QuestionDesk::FilterMessage(MSG& msg) {
    return prompt_ && prompt_->Showing() && ::IsDialogMessageW(prompt_->Handle(), &msg);
}

void QuestionDesk::OnAnswered(Decision decision, bool stop) noexcept {
    try {
        if (const std::optional<Question> answered = queue_.TakeShowing())
            Act(*answered, {.decision = decision, .stop = stop});
        ShowNext();
    } catch (...) {
        ReportCurrentException();
    }
}

void QuestionDesk::FollowPolicies(Policy startup, Policy startPages) {
    Watcher& watcher = needs_.bench.watcher;
    watcher.SetPolicies(startup, startPages);
    // A logon value is asked about under the startup policy, a start page
    // under its own.
    const bool entries = startup != Policy::Ask, values = entries && startPages != Policy::Ask;
    if (!entries) return;
    const QuestionQueue::Withdrawn withdrawn = queue_.Withdraw(entries, values);
    if (!withdrawn.any) return;
    if (withdrawn.shown && prompt_) prompt_->Withdraw();
    ShowNext();
    watcher.CheckEverythingSoon();
}

void QuestionDesk::Act(const Question& question, QuestionQueue::Answer answer) {
    Watcher& watcher = needs_.bench.watcher;
    if (watcher.Stopped()) return;
    if (question.putBack) {
        if (answer.decision == Decision::Allow) PutBack(*question.entry);
        return;
    }
    // A new entry's answer is acted on at once, unless a check or move
    // runs: a Quit right after it does not lose it.
    if (question.entry && !watcher.Busy()) {
        const Watcher::Hold hold = watcher.HoldChecks();
        heldAtSessionEnd_ = answer.held;
        needs_.bench.guard.Answer(*question.entry, answer.decision, needs_.listed);
        heldAtSessionEnd_ = false;
        watcher.TellOwnFolderRefusal();
        StopIfAsked(question, answer);
        return;
    }
    // Else the next full check acts on it where it meets the change again;
    // one under way may have passed it already.
    queue_.Keep(question, answer, watcher.Count().fullChecks + 1);
    watcher.CheckEverything();
}

void QuestionDesk::StopIfAsked(const Question& question, QuestionQueue::Answer answer) {
    if (!answer.stop || answer.decision != Decision::Disable || !question.entry || !needs_.stop) return;
    // Only once it is disabled: the stopper checks that it is.
    if (const auto* service = std::get_if<ServiceEntry>(&*question.entry)) needs_.stop(service->name);
}

void QuestionDesk::HoldForSessionEnd() noexcept {
    // Each question still waiting, answered Disable: no rights are asked
    // for, nobody is there to give them. Each new entry is asked about
    // again at the next start, where Enable puts it back.
    try {
        std::vector<EntryText> held;
        for (const Question& question : queue_.TakeAll()) {
            try {
                Act(question, {Decision::Disable, true});
                if (question.entry && !question.putBack) held.push_back(TextOf(*question.entry));
            } catch (...) {
                ReportCurrentException();
            }
        }
        if (prompt_) prompt_->Withdraw();
        if (!held.empty() && !NoteHeldAtSessionEnd(held))
            needs_.notice(UiText(IDS_HELD_NOT_NOTED));
    } catch (...) {
        ReportCurrentException();
    }
}

void QuestionDesk::AfterCheck() {
    const Watcher& watcher = needs_.bench.watcher;
    // An answer the check after it did not take concerns a change gone
    // meanwhile: not kept for a namesake that comes later.
    queue_.Forget(watcher.Count().fullChecks);
    for (const Question& question : std::exchange(stopPending_, {}))
        StopIfAsked(question, {.decision = Decision::Disable, .stop = true});
    // The first check is done: what the last session's end held aside can
    // be found where it is now.
    if (!askedAboutHeld_ && watcher.Count().fullChecks > 0 && !watcher.Busy()) {
        askedAboutHeld_ = true;
        AskAgainAboutWhatWasHeld();
    }
}

void QuestionDesk::RunPutOffWork() {
    // Each is tried; the first failure is raised after them all.
    std::exception_ptr failure;
    for (const StartupEntry& entry : std::exchange(putBackPending_, {})) {
        try {
            PutBack(entry);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

void QuestionDesk::AskAgainAboutWhatWasHeld() {
    for (const EntryText& text : TakeHeldAtSessionEnd()) {
        // Only what this program holds aside: any program of the user can
        // write the record.
        const std::optional<StartupEntry> aside = FindPutAside(needs_.bench.guard.Listed(), text);
        if (!aside || !WasDisabledHere(text.location, text.item, text.command)) continue;
        const ProgramAndArguments starts = SplitCommandLine(text.command);
        queue_.Add({.text = UiText(IDS_QUESTION_HELD, {text.item}),
                    .details = {starts.program, starts.arguments, text.location, L""},
                    .entry = *aside,
                    .putBack = true});
    }
    ShowNext();
}

void QuestionDesk::PutBack(const StartupEntry& entry) {
    // Not in the middle of a check or another move: right after it.
    if (needs_.bench.watcher.Busy()) {
        putBackPending_.push_back(entry);
        return;
    }
    const std::wstring report = ReportOf(MoveForUser(needs_.bench, {entry}, MoveSource::History));
    needs_.relisted();
    if (!report.empty()) ShowErrorReport(report);
}

}  // namespace kb
