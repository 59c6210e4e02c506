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
#include <string>
#include <utility>
#include <vector>

#include "places/Entries.h"
#include "reading/Inventory.h"
#include "guard/GuardEvent.h"
#include "guard/ItemSettling.h"
#include "guard/KeyStamps.h"
#include "guard/KnownEntries.h"
#include "guard/NewEntries.h"
#include "guard/RecordKeeper.h"
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
    using Ask = AskAbout;
    // Told of each new entry that the answer allowed.
    using Allowed = ToldAllowed;
    // Does one move with administrator rights (through an elevated instance),
    // for an entry whose disabling the user asked for.
    using Elevate = NewEntries::Elevate;

    explicit StartupGuard(StartupFolders folders) : known_(std::move(folders)) {}
    // Its parts hold it by reference: it stays where it was made.
    StartupGuard(const StartupGuard&) = delete;
    StartupGuard& operator=(const StartupGuard&) = delete;
    // Without it, an entry that needs administrator rights stays where it is
    // and is reported.
    void SetElevation(Elevate elevate) { new_.SetElevation(std::move(elevate)); }
    // Called now and then during a long reading or check: the owner may
    // handle its messages. A shutdown meanwhile ends the check.
    void SetPause(std::function<void()> pause) { pause_ = std::move(pause); }
    // Told everything the guard has to tell, as it happens (GuardEvent.h):
    // each outcome as it is decided, and each finding once.
    // Set before the first reading: what is told while none is set is not
    // kept for later.
    using Sink = std::function<void(const GuardEvent&)>;
    void SetSink(Sink sink) { sink_ = std::move(sink); }

    const StartupFolders& Folders() const noexcept { return known_.Folders(); }
    // The Startup folders moved: what was known of a folder that moved is
    // forgotten, so the shortcuts of its new place are new.
    void MoveFolders(StartupFolders folders) { known_.MoveFolders(std::move(folders)); }
    const Inventory& Known() const noexcept { return known_.All(); }
    // What the places held at the last reading, for whoever shows or moves
    // them: right after Restore the known entries are the last run's
    // record, which carries neither a shortcut's link nor a value's type
    // and may name what went meanwhile; after a Reload they may lack what
    // came since the last check.
    const Inventory& Listed() const noexcept { return known_.Listed(); }

    // Reads every place and the store again, for the list. The first
    // reading is what is known; after it, what is known changes only by a
    // check or a move, so nothing that came meanwhile slips past its
    // policy. Raises when the reading is not whole.
    void Reload();

    // What is known is kept across runs (see RecordKeeper.h) from now on.
    using Keeping = RecordKeeper::Keeping;
    void SetKeeping(Keeping keeping) noexcept { records_.SetKeeping(keeping); }
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
    std::optional<std::wstring> PreviousCommand(const StartupEntry& entry) const {
        return known_.PreviousCommand(entry);
    }

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
    // The places to read: the selected ones, less the Run-type keys whose
    // stamps say they did not change since their last whole reading.
    PlaceSelection PassOverUnchanged(const PlaceSelection& places, const PlaceStamps& stamps,
                                     CheckRound& round) const;
    // Each entry read of one kind: kept when known, else handled. False
    // once the guard is shut down meanwhile.
    template <typename Entry>
    bool Sweep(const std::vector<Entry>& scanned, LiveEntries& kept, CheckRound& round);
    // The keys read whole whose stamps may be kept: not one holding an
    // entry left as it is.
    PlaceSelection Settled(const PlaceSelection& whole, const LiveEntries& scan, const LiveEntries& now,
                           const CheckRound& round);
    // Lets the owner handle its messages; false once the guard is shut down.
    bool Breathe();
    // Every place, the store and the logon values, as they are.
    Inventory ReadAll(std::vector<SkippedValue>& liveSkipped, std::vector<SkippedValue>& storeSkipped);
    // Reads every place and the store; what the places hold is known.
    void ReadEverything();
    void Keep() { records_.Keep(known_); }
    void Tell(const GuardEvent& event) {
        if (sink_) sink_(event);
    }
    // Notes what a reading skipped, telling what was not seen before.
    void NoteSkipped(SkippedPlaces::Reading reading, const std::vector<SkippedValue>& now, bool whole) {
        for (const SkippedValue& value : skipped_.Note(reading, now, whole)) Tell(value);
    }

    KnownEntries known_;
    ShortcutCache shortcuts_;
    SkippedPlaces skipped_;
    ItemSettling settling_;
    KeyStamps stamps_;  // of the Run-type keys at their last whole reading
    std::function<void()> pause_;
    Sink sink_;
    RecordKeeper records_{[this](const GuardEvent& event) { Tell(event); }};
    NewEntries new_{known_, settling_, [this](const GuardEvent& event) { Tell(event); },
                    [this] { return shutDown_; }};
    bool loaded_ = false;  // known_ holds a whole reading
    bool checking_ = false;
    bool shutDown_ = false;
};

}  // namespace kb
