#include "guard/Guard.h"

#include <windows.h>

#include <algorithm>

#include "platform/ScopeExit.h"
#include "platform/TextCompare.h"
#include "guard/DisabledLedger.h"
#include "guard/EntryKinds.h"
#include "reading/Inventory.h"
#include "store/Items.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"

namespace kb {

void StartupGuard::Check(Policy policy, const Ask& ask, const Allowed& allowed,
                         const PlaceSelection& places) {
    if (checking_ || shutDown_) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    if (!loaded_) return Reload();

    const bool everyPlace = places.All();
    const PlaceStamps stamps = KeyStamps::Take(places);
    CheckRound round{policy, ask, allowed};
    const PlaceSelection toRead = PassOverUnchanged(places, stamps, round);
    LiveEntries scan;
    try {
        scan = ReadLiveEntries(Folders(), round.skipped, toRead, &shortcuts_, [this] { return Breathe(); });
    } catch (const ReadingStopped&) {
        return;
    }
    // A check of some places only adds to what was seen; what went away is
    // known after a check of them all.
    NoteSkipped(SkippedPlaces::Reading::Live, round.skipped, everyPlace);

    // What the places read now hold replaces what was known of them, so an
    // entry that went (a RunOnce value Windows ran) is new when it comes
    // back. A place that could not be read keeps what was known of it.
    LiveEntries now;
    bool answered = true;  // false: the check ended part-way
    ForEachLiveKind([&]<typename Entry>() { answered = answered && Sweep(ListOf<Entry>(scan), now, round); });
    if (!answered) {
        Keep();  // what was answered before the end
        return;
    }
    settling_.JoinLeftovers(toRead, scan);
    const PlaceSelection whole = toRead.ReadWhole(Folders(), round.skipped);
    stamps_.Note(Settled(whole, scan, now, round), stamps);
    known_.Replace(whole, std::move(now));
    new_.EndRound(round, everyPlace);
    if (everyPlace) known_.ListKnown();
    Keep();
}

void StartupGuard::Answer(const StartupEntry& entry, Decision decision, const Allowed& allowed) {
    if (checking_ || shutDown_ || !loaded_ || decision == Decision::Later) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    const Ask answer = [decision](const StartupEntry&) { return decision; };
    CheckRound round{Policy::Ask, answer, allowed};
    LiveEntries kept;
    new_.Handle(entry, kept, round);
    new_.EndRound(round, false);
    Keep();
}

template <typename Entry>
bool StartupGuard::Sweep(const std::vector<Entry>& scanned, LiveEntries& kept, CheckRound& round) {
    for (const Entry& entry : scanned) {
        if (known_.Knows(entry))
            ListOf<Entry>(kept).push_back(entry);
        else if (settling_.Ready(entry))  // an entry of several values waits until its writer is done
            new_.Handle(entry, kept, round);
        // Else it waits for its writer, new still at the next check.
        if (!Breathe()) return false;
    }
    return true;
}

bool StartupGuard::Breathe() {
    if (pause_ && !shutDown_) pause_();
    return !shutDown_;
}

void StartupGuard::NoteMovedElsewhere(const StartupEntry& entry) {
    known_.NoteMoved(entry);
    Keep();
}

MoveResult StartupGuard::Move(const StartupEntry& entry) {
    const MoveResult result = MoveEntry(entry, Folders());
    if (result != MoveResult::Moved) return result;
    // What the History page may bring back is what this program disabled.
    const EntryText text = TextOf(entry);
    if (text.enabled)
        NoteDisabledHere(text);
    else
        NoteEnabledHere(text);
    known_.NoteMoved(entry);
    Keep();
    return result;
}

}  // namespace kb
