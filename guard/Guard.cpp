#include "guard/Guard.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "platform/ScopeExit.h"
#include "platform/TextCompare.h"
#include "guard/DisabledLedger.h"
#include "guard/EntryKinds.h"
#include "guard/KnownLookups.h"
#include "reading/Inventory.h"
#include "store/Items.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"

namespace kb {

namespace {

// What a check's move makes of a new entry, for the record.
CheckOutcome::Action OutcomeOf(MoveResult result) {
    switch (result) {
    case MoveResult::Moved: return CheckOutcome::Disabled;
    case MoveResult::NeedsAdministrator: return CheckOutcome::WaitsForAdministrator;
    default: return CheckOutcome::NotMoved;
    }
}

}  // namespace

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
        scan = ReadLiveEntries(folders_, round.skipped, toRead, &shortcuts_, [this] { return Breathe(); });
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
    // A new entry starts something, so moving it is disabling it.
    const auto disable = [this](const auto& e) { return MoveEntry(e, folders_); };
    bool answered = true;  // false: the check ended part-way
    ForEachLiveKind([&]<typename Entry>() {
        answered = answered && Sweep(ListOf<Entry>(scan), disable, ListOf<Entry>(now), round);
    });
    if (!answered) {
        Keep();  // what was answered before the end
        return;
    }
    settling_.JoinLeftovers(toRead, scan);
    const PlaceSelection whole = toRead.ReadWhole(folders_, round.skipped);
    stamps_.Note(Settled(whole, scan, now, round), stamps);
    Replace(whole, std::move(now));
    if (everyPlace)
        unmovable_ = std::move(round.unmovable);
    else
        unmovable_.merge(round.unmovable);
    if (everyPlace) {
        atStart_ = false;
        listed_.reset();
    }
    Keep();
}

void StartupGuard::Answer(const StartupEntry& entry, Decision decision, const Allowed& allowed) {
    if (checking_ || shutDown_ || !loaded_ || decision == Decision::Later) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    const Ask answer = [decision](const StartupEntry&) { return decision; };
    CheckRound round{Policy::Ask, answer, allowed};
    const auto disable = [this](const auto& e) { return MoveEntry(e, folders_); };
    std::visit(
        [&]<typename Entry>(const Entry& e) {
            // Only a live entry is asked about.
            if constexpr (requires { IdentityOf(e); }) {
                std::vector<Entry> kept;
                HandleNew(e, disable, kept, round);
            }
        },
        entry);
    unmovable_.merge(round.unmovable);
    Keep();
}

template <typename Entry, typename Disable>
bool StartupGuard::Sweep(const std::vector<Entry>& scanned, const Disable& disable, std::vector<Entry>& kept,
                         CheckRound& round) {
    for (const Entry& entry : scanned) {
        if (Knows(entry))
            kept.push_back(entry);
        else if (Ready(entry))
            HandleNew(entry, disable, kept, round);
        // Else it waits for its writer, new still at the next check.
        if (!Breathe()) return false;
    }
    return true;
}

template <typename Entry>
bool StartupGuard::Ready(const Entry& entry) {
    // An entry of several values waits until its writer is done.
    return settling_.Ready(entry);
}

// An entry is known by its place, its name and what it starts: a known name
// elsewhere, or a known entry that now starts something else, is new. An
// entry that could not be disabled is not asked about again until it
// changes.
template <typename Entry, typename Disable>
void StartupGuard::HandleNew(const Entry& entry, const Disable& disable, std::vector<Entry>& kept,
                             CheckRound& round) {
    const std::wstring identity = IdentityOf(entry);
    if (unmovable_.contains(identity)) {
        round.unmovable.insert(identity);
        return;
    }
    const bool asked = round.policy == Policy::Ask;
    const Decision decision = asked                                      ? round.ask(entry)
                              : round.policy == Policy::DisableSilently ? Decision::Disable
                                                                         : Decision::Allow;
    if (shutDown_) return;
    if (decision == Decision::Later) {
        // Unanswered yet: new still at the next check, which may bring the
        // answer. What its name started before stays known meanwhile, so
        // the question and its record can say it, and its place is read
        // again.
        for (const Entry* namesake : Namesakes(entry)) kept.push_back(*namesake);
        round.waiting.insert(FoldCase(PlaceReadOf(entry, folders_)));
        if (atStart_) waitingSinceStart_.insert(identity);
        return;
    }
    if (decision == Decision::Leave) Record(CheckOutcome::Left, entry, asked);
    if (decision == Decision::Disable) {
        MoveResult result = disable(entry);
        // The user who answered may lend the rights; nobody is asked for
        // them behind the user's back.
        if (result == MoveResult::NeedsAdministrator && round.policy == Policy::Ask && elevate_)
            result = elevate_(entry);
        if (shutDown_) return;
        NoteDisabling(entry, result, asked, round);
    }
    if (decision == Decision::Allow) {
        Record(CheckOutcome::Allowed, entry, asked);
        kept.push_back(entry);
        // Known at once, and kept even if the check ends here (Quit while
        // it runs): the user's answer outlives the process.
        NoteAllowed(entry);
        round.allowed(entry);
    }
}

template <typename Entry>
void StartupGuard::NoteDisabling(const Entry& entry, MoveResult result, bool asked, CheckRound& round) {
    // One that changed meanwhile (or is still being written) is not on
    // record: the next check sees it as it is then.
    if (result == MoveResult::Changed) return;
    Record(OutcomeOf(result), entry, asked);
    if (result == MoveResult::Moved) {
        NoteDisabledHere(TextOf(entry));
        settling_.Moved(entry);
        if (const auto before = PreviousCommand(entry)) Tell(ChangedEntry{TextOf(entry), *before});
        return;
    }
    round.unmovable.insert(IdentityOf(entry));
    if (result == MoveResult::NeedsAdministrator)
        Tell(NeedsAdministrator{TextOf(entry)});
    else
        Tell(NotDisabled{TextOf(entry), result});
}

bool StartupGuard::Breathe() {
    if (pause_ && !shutDown_) pause_();
    return !shutDown_;
}

void StartupGuard::NoteMovedElsewhere(const StartupEntry& entry) {
    NoteMoved(entry);
    Keep();
}

MoveResult StartupGuard::Move(const StartupEntry& entry) {
    const MoveResult result = MoveEntry(entry, folders_);
    if (result != MoveResult::Moved) return result;
    // What the History page may bring back is what this program disabled.
    const EntryText text = TextOf(entry);
    if (text.enabled)
        NoteDisabledHere(text);
    else
        NoteEnabledHere(text);
    NoteMoved(entry);
    Keep();
    return result;
}

}  // namespace kb
