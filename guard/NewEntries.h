#pragma once
// What becomes of a new entry: disabled, asked about or allowed, by the
// policy, and on record. An entry that could not be disabled is not asked
// about again until it changes; one whose question waits stays new.
#include <functional>
#include <set>
#include <string>

#include "guard/GuardEvent.h"
#include "guard/ItemSettling.h"
#include "guard/KnownEntries.h"
#include "policy/Policy.h"

namespace kb {

// Asked about each new entry under the ask policy; may run a nested
// message loop.
using AskAbout = std::function<Decision(const StartupEntry& entry)>;
// Told of each new entry that the answer allowed.
using ToldAllowed = std::function<void(const StartupEntry& entry)>;

// What one check gathers as it goes. It lives no longer than the check
// that makes it: it holds that check's questions and telling by reference.
struct CheckRound {
    Policy policy;
    const AskAbout& ask;
    const ToldAllowed& allowed;
    std::vector<SkippedValue> skipped = {};
    // The new entries that could not be disabled, by what they are now.
    std::set<std::wstring> unmovable = {};
    // The places, folded, of new entries whose question waits.
    std::set<std::wstring> waiting = {};
};

class NewEntries {
public:
    // Does one move with administrator rights (through an elevated instance),
    // for an entry whose disabling the user asked for.
    using Elevate = std::function<MoveResult(const StartupEntry& entry)>;
    using Tell = std::function<void(const GuardEvent&)>;
    // Stopped: the guard was shut down (meanwhile a question waited, say):
    // nothing more is done.
    NewEntries(KnownEntries& known, ItemSettling& settling, Tell tell, std::function<bool()> stopped)
        : known_(known), settling_(settling), tell_(std::move(tell)), stopped_(std::move(stopped)) {}
    NewEntries(const NewEntries&) = delete;
    NewEntries& operator=(const NewEntries&) = delete;
    // Without it, an entry that needs administrator rights stays where it is
    // and is reported.
    void SetElevation(Elevate elevate) { elevate_ = std::move(elevate); }

    // Handles a live entry that is not known; what of its place is kept as
    // known goes to kept.
    void Handle(const StartupEntry& entry, LiveEntries& kept, CheckRound& round);

    // The check after a Restore finds what came while Keepboot was not
    // running, until a check of every place.
    void StartOfRun() noexcept { atStart_ = true; }
    // A place passed over, unchanged: what could not be disabled there
    // stays so.
    void PassOver(const std::wstring& location, CheckRound& round) const;
    // After a round: what could not be disabled, of the places it read.
    void EndRound(CheckRound& round, bool everyPlace);

private:
    template <typename Entry>
    void HandleNew(const Entry& entry, std::vector<Entry>& kept, CheckRound& round);
    template <typename Entry>
    void NoteDisabling(const Entry& entry, MoveResult result, bool asked, CheckRound& round);
    void Record(CheckOutcome::Action action, const StartupEntry& entry, bool asked);

    KnownEntries& known_;
    ItemSettling& settling_;
    Tell tell_;
    std::function<bool()> stopped_;
    Elevate elevate_;
    // New entries that could not be disabled, by what they are now.
    std::set<std::wstring> unmovable_;
    bool atStart_ = false;  // the next check is the first since Restore
    // New entries met at the first check since Restore whose question
    // still waits, by what they are: found at start when answered.
    std::set<std::wstring> waitingSinceStart_;
};

}  // namespace kb
