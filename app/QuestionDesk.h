#pragma once
// The window's side of the questions: the queue they wait in, the prompt
// that asks them one at a time, and what each answer does, also when the
// session ends or the policy stops asking. Nothing here waits for the user.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/services/QuestionQueue.h"
#include "app/services/Workbench.h"
#include "reading/Inventory.h"
#include "policy/Policy.h"

namespace kb {

class PromptDialog;

class QuestionDesk {
public:
    // What the desk works with, besides the guard and the watch.
    struct Needs {
        Workbench& bench;
        // The list page: an entry allowed is shown at the end; after a put
        // back the list is read again.
        std::function<void(const StartupEntry&)> listed;
        std::function<void()> relisted;
        // A notice that pauses nothing.
        std::function<void(const std::wstring&)> notice;
        // Stops a running service the user disabled and asked to stop too,
        // without waiting for it.
        std::function<void(const std::wstring& service)> stop;
        // Answers in the prompt's place (tests); none for the prompt.
        std::function<Decision(const std::wstring& question)> answer;
    };
    explicit QuestionDesk(Needs needs) : needs_(std::move(needs)) {}
    QuestionDesk(const QuestionDesk&) = delete;
    QuestionDesk& operator=(const QuestionDesk&) = delete;

    void SetPrompt(PromptDialog* prompt);
    // The answer to the question, once the user gave it; until then Later:
    // the question waits its turn and the check goes on without it.
    QuestionQueue::Answer Ask(const Question& question);
    // The question about a new entry, its Disable shielded where it needs
    // rights this process has not.
    QuestionQueue::Answer AskAbout(const StartupEntry& entry, const std::wstring& text, EntryDetails details);
    // The policies the user or the administrator chose, from the next
    // check on. A question no policy asks any more is withdrawn: the check
    // that follows handles its change by the policy.
    void FollowPolicies(Policy startup, Policy startPages);
    // After each check: answers no check took are forgotten; after the
    // first, what the last session's end held aside is asked about again.
    void AfterCheck();
    // The session ends: every question still waiting is answered Disable
    // and acted on now.
    void HoldForSessionEnd() noexcept;
    // The put-backs asked for while a check or move ran.
    void RunPutOffWork();
    // Whether a question about a single value waits (its change is not
    // the user's).
    bool AskingAboutAValue() const { return queue_.AskingAboutAValue(); }
    // Whether the outcome now told was the session's end's answer; asked
    // once.
    bool TakeAnsweredBySessionEnd() noexcept { return std::exchange(heldAtSessionEnd_, false); }
    // No rights are asked for while the session ends: nobody is there.
    bool SessionEnding() const noexcept { return heldAtSessionEnd_; }
    // The prompt's keys: Enter answers Disable, Esc Cancel.
    bool FilterMessage(MSG& msg);

private:
    void OnAnswered(Decision decision, bool stop) noexcept;
    // Has the service asked about stopped, where the answer asks it to.
    void StopIfAsked(const Question& question, QuestionQueue::Answer answer);
    // Acts on the answer to the question now, or has the next check do it.
    void Act(const Question& question, QuestionQueue::Answer answer);
    // Asks once more about each entry the end of the last session held
    // aside unanswered, and still held aside.
    void AskAgainAboutWhatWasHeld();
    // Puts an entry held aside back, now or after the check or move under way.
    void PutBack(const StartupEntry& entry);
    void ShowNext();
    bool NeedsElevation(const StartupEntry& entry) const;

    Needs needs_;
    PromptDialog* prompt_ = nullptr;
    QuestionQueue queue_;
    bool askedAboutHeld_ = false;
    std::vector<StartupEntry> putBackPending_;
    // Services to stop once the check that takes their answer disabled them.
    std::vector<Question> stopPending_;
    // The session's end answered the question the check acts on: its
    // outcome is recorded as held aside, and no rights are asked for it.
    bool heldAtSessionEnd_ = false;
};

}  // namespace kb
