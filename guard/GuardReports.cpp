// What the guard has to tell: each outcome as it is decided, and what its
// checks found, each reported once.
#include <algorithm>
#include <iterator>
#include <utility>

#include "guard/Guard.h"
#include "guard/EntryKinds.h"

namespace kb {

std::vector<SkippedValue> StartupGuard::UnreadablePlaces() const {
    std::vector<SkippedValue> places;
    std::copy_if(liveSkipped_.begin(), liveSkipped_.end(), std::back_inserter(places),
                 [](const SkippedValue& v) { return v.unreadable; });
    return places;
}

void StartupGuard::Record(CheckOutcome::Action action, const StartupEntry& entry, bool asked) {
    if (!sink_) return;
    const bool waitedSinceStart = std::visit(
        [&](const auto& e) {
            if constexpr (requires { IdentityOf(e); }) return waitingSinceStart_.erase(IdentityOf(e)) > 0;
            return false;
        },
        entry);
    const bool atStart = atStart_ || waitedSinceStart;
    CheckOutcome outcome{action, TextOf(entry), asked, PreviousCommand(entry).value_or(L""), atStart};
    Tell(outcome);
}

void StartupGuard::NoteSkipped(std::set<SkippedValue>& lastSeen,
                               const std::vector<SkippedValue>& now, bool whole) {
    std::set<SkippedValue> seen(now.begin(), now.end());
    for (const SkippedValue& value : seen)
        if (!lastSeen.contains(value)) Tell(value);
    if (whole)
        lastSeen = std::move(seen);
    else
        lastSeen.merge(seen);
}

}  // namespace kb
