#pragma once
// The startup guard: what is known, and the watch's check against it. It
// knows nothing of windows; whoever owns it supplies the questions.
//
// The known set is the last inventory that was read whole, plus entries
// the user allowed since. A reading that fails never replaces it, and a
// place that could not be read keeps its last reading: its entries never
// look new, and every other place is still guarded.
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "places/Entries.h"
#include "reading/Inventory.h"
#include "guard/GuardEvent.h"
#include "guard/ItemSettling.h"
#include "guard/KeyStamps.h"
#include "guard/SkippedPlaces.h"
#include "store/Items.h"
#include "places/Records.h"
#include "policy/Policy.h"
#include "store/Store.h"

namespace kb {

class StartupGuard {
public:
    // Asked about each new entry under the ask policy; may run a nested
    // message loop.
    using Ask = std::function<Decision(const StartupEntry& entry)>;
    // Told of each new entry that the answer allowed.
    using Allowed = std::function<void(const StartupEntry& entry)>;

    // Does one move with administrator rights (through an elevated instance),
    // for an entry whose disabling the user asked for.
    using Elevate = std::function<MoveResult(const StartupEntry& entry)>;

    explicit StartupGuard(StartupFolders folders) : folders_(std::move(folders)) {}
    // Without it, an entry that needs administrator rights stays where it is
    // and is reported.
    void SetElevation(Elevate elevate) { elevate_ = std::move(elevate); }
    // Called now and then during a long reading or check: the owner may
    // handle its messages. A shutdown meanwhile ends the check.
    void SetPause(std::function<void()> pause) { pause_ = std::move(pause); }
    // Told everything the guard has to tell, as it happens (GuardEvent.h):
    // each outcome as it is decided, and each finding once.
    // Set before the first reading: what is told while none is set is not
    // kept for later.
    using Sink = std::function<void(const GuardEvent&)>;
    void SetSink(Sink sink) { sink_ = std::move(sink); }

    const StartupFolders& Folders() const noexcept { return folders_; }
    // The Startup folders moved: what was known of a folder that moved is
    // forgotten, so the shortcuts of its new place are new.
    void MoveFolders(StartupFolders folders);
    const Inventory& Known() const noexcept { return known_; }
    // What the places held at the last reading, for whoever shows or moves
    // them: right after Restore the known entries are the last run's
    // record, which carries neither a shortcut's link nor a value's type
    // and may name what went meanwhile; after a Reload they may lack what
    // came since the last check.
    const Inventory& Listed() const noexcept { return listed_ ? *listed_ : known_; }

    // Reads every place and the store again, for the list. The first
    // reading is what is known; after it, what is known changes only by a
    // check or a move, so nothing that came meanwhile slips past its
    // policy. Raises when the reading is not whole.
    void Reload();

    // What is known is kept across runs (see KnownKeeping.h) from now on:
    // of the machine's places and the user's, or of the machine's only (an
    // elevated instance may act for another user than its own).
    enum class Keeping { Nothing, Everything, MachineOnly };
    void SetKeeping(Keeping keeping) noexcept { keeping_ = keeping; }
    // Takes what was known at the end of the last run as known, and reads
    // the rest: the places of a root with no record (the very first start)
    // or a broken one are taken as they are now, and that is told
    // (RecordsNoted). The next
    // check handles every difference by the policy, as found at start.
    void Restore();

    // One check of the selected live places (all of them by default): each
    // entry not known (by its place, its name and what it starts) is
    // disabled, asked about or allowed, as the policy says: what the
    // "allow" policy lets through is known from then on, like an answer. What the
    // places read now hold becomes what is known of them. Does nothing
    // while a check runs or once the guard is shut down; a check whose
    // question was answered after the shutdown began acts no further. Until
    // one reading has been whole there is nothing to compare with: the
    // check then only reads.
    void Check(Policy policy, const Ask& ask, const Allowed& allowed,
               const PlaceSelection& places = {});

    // The answer to a question a check asked and went on without, acted on
    // now as the check would have: Disable moves the entry (borrowing the
    // rights where needed), Enable makes it known, Cancel leaves it; each
    // on record. A move checks that the entry is still as it was asked
    // about. Does nothing during a check or once the guard is shut down.
    void Answer(const StartupEntry& entry, Decision decision, const Allowed& allowed);

    // Moves one entry the user changed on the list. An entry enabled here
    // is known at once, so a check before the next reload leaves it alone.
    MoveResult Move(const StartupEntry& entry);
    // The same for an entry another instance (the elevated one) moved for
    // the user, once read back.
    void NoteMovedElsewhere(const StartupEntry& entry);

    // The item places to look at again after a while: an entry there waits
    // for its writer to be done. None while nothing waits.
    std::optional<ItemSettling::Recheck> TakeRecheck() { return settling_.TakeRecheck(); }

    // What a known entry of the same place and name started, when the entry
    // now starts something else.
    std::optional<std::wstring> PreviousCommand(const StartupEntry& entry) const;

    // The live places the last readings could not read; each keeps what
    // was known of it.
    std::vector<SkippedValue> UnreadablePlaces() const { return skipped_.UnreadablePlaces(); }

    // Whether one reading has been whole.
    bool Loaded() const noexcept { return loaded_; }
    // From now on nothing is checked or reloaded.
    void ShutDown() noexcept { shutDown_ = true; }
    // What the places hold now, read afresh and kept nowhere: what another
    // process moved is read back by it, also once the guard is shut down.
    Inventory ReadPlacesNow();

private:
    // The known entries' positions by place and folded name (IndexKey), by kind.
    template <typename Entry>
    using PositionsByName = std::unordered_multimap<std::wstring, std::size_t>;
    using KnownIndex = LiveLists<PositionsByName>;
    const KnownIndex& Index() const;
    // The known entries of the entry's place and name, oldest first.
    template <typename Entry>
    std::vector<const Entry*> Namesakes(const Entry& entry) const;
    template <typename Entry>
    const Entry* KnownAs(const Entry& entry) const;
    template <typename Entry>
    bool Knows(const Entry& entry) const;
    // What one check gathers as it goes.
    struct CheckRound {
        Policy policy;
        const Ask& ask;
        const Allowed& allowed;
        std::vector<SkippedValue> skipped = {};
        // The new entries that could not be disabled, by what they are now.
        std::set<std::wstring> unmovable = {};
        // The places, folded, of new entries whose question waits.
        std::set<std::wstring> waiting = {};
    };
    // The places to read: the selected ones, less the Run-type keys whose
    // stamps say they did not change since their last whole reading.
    PlaceSelection PassOverUnchanged(const PlaceSelection& places, const PlaceStamps& stamps,
                                     CheckRound& round) const;
    // Each entry read of one kind: kept when known, else handled. False
    // once the guard is shut down meanwhile.
    template <typename Entry, typename Disable>
    bool Sweep(const std::vector<Entry>& scanned, const Disable& disable, std::vector<Entry>& kept,
               CheckRound& round);
    template <typename Entry>
    bool Ready(const Entry& entry);
    // A new entry: disabled, asked about or allowed, by the policy.
    template <typename Entry, typename Disable>
    void HandleNew(const Entry& entry, const Disable& disable, std::vector<Entry>& kept, CheckRound& round);
    template <typename Entry>
    void NoteDisabling(const Entry& entry, MoveResult result, bool asked, CheckRound& round);
    // The keys read whole whose stamps may be kept: not one holding an
    // entry left as it is.
    PlaceSelection Settled(const PlaceSelection& whole, const LiveEntries& scan, const LiveEntries& now,
                           const CheckRound& round);
    // Lets the owner handle its messages; false once the guard is shut down.
    bool Breathe();
    // What the places read whole hold now replaces what was known of them.
    void Replace(const PlaceSelection& read, LiveEntries now);
    // The same for any entries; whether those of the places read differ.
    bool ReplaceIn(LiveEntries& entries, const PlaceSelection& read, LiveEntries now) const;
    // Every place, the store and the logon values, as they are.
    Inventory ReadAll(std::vector<SkippedValue>& liveSkipped, std::vector<SkippedValue>& storeSkipped);
    void Record(CheckOutcome::Action action, const StartupEntry& entry, bool asked);
    void Tell(const GuardEvent& event) {
        if (sink_) sink_(event);
    }
    // Makes what the user enabled known at once.
    void NoteMoved(const StartupEntry& entry);
    // Makes a live entry the user allowed known at once.
    template <typename Entry>
    void NoteAllowed(const Entry& entry) {
        ListOf<Entry>(known_.live).push_back(entry);
        index_.reset();
        knownChanged_ = true;
    }
    // Reads every place and the store; what the places hold is known.
    void ReadEverything();
    // Keeps what is known, when it changed since it was last kept.
    void Keep();
    // The known entries of the places read were replaced by what is there
    // now: whether they differ.
    bool Differs(const LiveEntries& before, const LiveEntries& now) const;
    // Notes what a reading skipped, telling what was not seen before.
    void NoteSkipped(SkippedPlaces::Reading reading, const std::vector<SkippedValue>& now, bool whole) {
        for (const SkippedValue& value : skipped_.Note(reading, now, whole)) Tell(value);
    }

    StartupFolders folders_;
    Inventory known_;
    mutable std::optional<KnownIndex> index_;  // of known_.live; rebuilt after a change
    ShortcutCache shortcuts_;
    SkippedPlaces skipped_;
    // New entries that could not be disabled, by what they are now.
    std::set<std::wstring> unmovable_;
    ItemSettling settling_;
    KeyStamps stamps_;  // of the Run-type keys at their last whole reading
    Elevate elevate_;
    std::function<void()> pause_;
    Sink sink_;
    bool loaded_ = false;  // known_ holds a whole reading
    Keeping keeping_ = Keeping::Nothing;
    bool knownChanged_ = false;  // since it was last kept
    bool atStart_ = false;       // the next check is the first since Restore
    bool unkeptTold_ = false;  // while the records cannot be written
    bool machineUnrecorded_ = false;  // the machine's record is refused to this guard
    // The reading the list shows where the known entries are not it (those
    // of the last run's record, or of the last check before a Reload),
    // until the next check of every place.
    std::optional<Inventory> listed_;
    // New entries met at the first check since Restore whose question
    // still waits, by what they are: found at start when answered.
    std::set<std::wstring> waitingSinceStart_;
    bool checking_ = false;
    bool shutDown_ = false;
};


}  // namespace kb
