#include "app/services/QuestionQueue.h"

#include <algorithm>
#include <utility>

#include "app/services/FindingWords.h"

namespace kb {

std::wstring QuestionQueue::KeyOf(const Question& question) {
    // Everything the user reads: a change that starts something else is
    // another question.
    const EntryDetails& d = question.details;
    return question.text + L'\x1F' + d.program + L'\x1F' + d.arguments + L'\x1F' + d.from + L'\x1F' + BeforeLine(d);
}

std::optional<QuestionQueue::Answer> QuestionQueue::Take(const Question& question) {
    const std::wstring key = KeyOf(question);
    if (const auto given = answers_.find(key); given != answers_.end()) {
        const Answer answer = given->second.answer;
        answers_.erase(given);
        return answer;
    }
    if (asked_.insert(key).second) waiting_.push_back(question);
    return std::nullopt;
}

void QuestionQueue::Add(const Question& question) {
    if (asked_.insert(KeyOf(question)).second) waiting_.push_back(question);
}

bool QuestionQueue::AskingAboutAValue() const noexcept {
    const auto aboutAValue = [](const Question& q) { return !q.entry; };
    return (showing_ && aboutAValue(*showing_)) || std::any_of(waiting_.begin(), waiting_.end(), aboutAValue);
}

std::optional<Question> QuestionQueue::Next() {
    if (showing_ || waiting_.empty()) return std::nullopt;
    showing_ = std::move(waiting_.front());
    waiting_.pop_front();
    return showing_;
}

QuestionQueue::Withdrawn QuestionQueue::Withdraw(bool entries, bool values) {
    // What the next start asks about is no policy's.
    const auto withdrawn = [&](const Question& q) {
        if (q.putBack || !(q.entry ? entries : values)) return false;
        asked_.erase(KeyOf(q));
        return true;
    };
    Withdrawn result;
    result.any = std::erase_if(waiting_, withdrawn) > 0;
    if (showing_ && withdrawn(*showing_)) {
        showing_.reset();
        result.any = result.shown = true;
    }
    return result;
}

std::optional<Question> QuestionQueue::TakeShowing() {
    if (showing_) asked_.erase(KeyOf(*showing_));
    return std::exchange(showing_, std::nullopt);
}

void QuestionQueue::Keep(const Question& question, Answer answer, unsigned long round) {
    answers_.insert_or_assign(KeyOf(question), Given{answer, round});
}

std::vector<Question> QuestionQueue::TakeAll() {
    std::vector<Question> all;
    if (showing_) all.push_back(std::move(*std::exchange(showing_, std::nullopt)));
    for (Question& question : waiting_) all.push_back(std::move(question));
    waiting_.clear();
    asked_.clear();
    return all;
}

void QuestionQueue::Forget(unsigned long round) {
    std::erase_if(answers_, [&](const auto& given) { return given.second.round <= round; });
}

}  // namespace kb
