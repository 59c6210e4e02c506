// What the guard has to tell: each outcome as it is decided, and what its
// checks found, each reported once.
#include <utility>

#include "guard/Guard.h"
#include "guard/EntryKinds.h"

namespace kb {

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

}  // namespace kb
