#pragma once
// The questions waiting for the user: one shows at a time, each is asked
// once however often a check meets its change, and each answer waits for
// the check that acts on it. Nothing here waits: a check that meets a
// question without its answer goes on with everything else.
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "reading/Inventory.h"
#include "policy/Policy.h"

namespace kb {

struct Question {
    std::wstring text;
    EntryDetails details;
    bool shield = false;  // Disable needs administrator rights
    // The new entry asked about; none for a single value.
    std::optional<StartupEntry> entry = std::nullopt;
    // The entry is one the end of the last session held aside unanswered:
    // Enable puts it back, Disable and Cancel leave it aside.
    bool putBack = false;
};

class QuestionQueue {
public:
    struct Answer {
        Decision decision;
        // Given by the session's end, not by the user.
        bool held = false;
        // The user asked the running service disabled to be stopped too.
        bool stop = false;
    };

    // The answer to this question, taken once; without one the question
    // waits its turn (once) and the caller leaves its change as it is.
    std::optional<Answer> Take(const Question& question);
    // A question no check meets: it waits its turn (once).
    void Add(const Question& question);
    // The question to show now: the oldest waiting, when none shows.
    std::optional<Question> Next();
    bool Showing() const noexcept { return showing_.has_value(); }
    // Whether a question about a single value (no entry) waits.
    bool AskingAboutAValue() const noexcept;
    // Withdraws the questions waiting about new entries, or about single
    // values, and the one shown with them.
    struct Withdrawn {
        bool any = false, shown = false;
    };
    Withdrawn Withdraw(bool entries, bool values);
    // The question shown, answered: no longer shown.
    std::optional<Question> TakeShowing();
    // The answer waits for the check that acts on it: round is that check's
    // number, one that starts after the answer.
    void Keep(const Question& question, Answer answer, unsigned long round);
    // The session ends: every question not answered yet.
    std::vector<Question> TakeAll();
    // After check number round: an answer it did not take concerns a change
    // gone meanwhile, and is not kept for a namesake that comes later.
    void Forget(unsigned long round);

private:
    struct Given {
        Answer answer;
        unsigned long round;
    };
    static std::wstring KeyOf(const Question& question);

    std::optional<Question> showing_;
    std::deque<Question> waiting_;
    // The keys of the question shown and those waiting: a check that meets
    // thousands of new entries looks each up once, not through the queue.
    std::set<std::wstring> asked_;
    std::map<std::wstring, Given> answers_;
};

}  // namespace kb
