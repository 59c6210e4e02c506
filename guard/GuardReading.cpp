// What the guard reads: every place whole, at start beside the last run's
// records, and at a check only those that changed since the last reading,
// once what is being written there settles.
#include "guard/Guard.h"

#include <windows.h>

#include <algorithm>
#include <unordered_map>

#include "platform/TextCompare.h"
#include "guard/EntryKinds.h"
#include "reading/Inventory.h"
#include "store/Store.h"

namespace kb {

void StartupGuard::Reload() {
    if (shutDown_) return;
    if (!loaded_) {
        ReadEverything();
        // The very first reading is what is known.
        known_.MarkUnkept(true);
        Keep();
        return;
    }
    // The list shows what the places hold now; what is known changes only
    // by a check or a move: what came since the last check, while the user
    // looked at the list or an Apply ran, is handled by its policy at the
    // next check, and recorded.
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    Inventory now = ReadAll(liveSkipped, storeSkipped);
    known_.TakeOthers(now);
    known_.ListAs(known_.With(PlaceSelection{}.ReadWhole(Folders(), liveSkipped), std::move(now.live)));
    NoteSkipped(SkippedPlaces::Reading::Live, liveSkipped, true);
    NoteSkipped(SkippedPlaces::Reading::Store, storeSkipped, true);
}

void StartupGuard::Restore() {
    if (shutDown_) return;
    ReadEverything();  // what starts nothing, the store, the logon values: as they are
    std::vector<RecordNote> notes = records_.Restore(known_);
    // Nothing was read whole as known since: the first check reads every
    // place, and what it finds new came while Keepboot was not running.
    stamps_.ForgetAll();
    new_.StartOfRun();
    Keep();
    records_.Say(std::move(notes));
}

Inventory StartupGuard::ReadAll(std::vector<SkippedValue>& liveSkipped, std::vector<SkippedValue>& storeSkipped) {
    // Read in one go: the list's reading is the user's own wait.
    Inventory now;
    now.live = ReadLiveEntries(Folders(), liveSkipped, {}, &shortcuts_);
    now.stored = ReadStoredEntries(storeSkipped);
    now.logonValues = ReadLogonValueEntries();
    return now;
}

Inventory StartupGuard::ReadPlacesNow() {
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    return ReadAll(liveSkipped, storeSkipped);
}

void StartupGuard::ReadEverything() {
    known_.ListKnown();  // what is known is this reading from now on
    // What a move cut short by the end of an earlier process left is made
    // whole before anything is read: one copy, never two.
    if (!loaded_)
        for (const auto& [root, view] : {std::pair{HKEY_LOCAL_MACHINE, MachineView()},
                                         std::pair{HKEY_CURRENT_USER, REGSAM{0}}})
            for (const FinishedMove& move : FinishInterruptedMoves(root, view)) Tell(move);
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    const PlaceStamps stamps = KeyStamps::Take(PlaceSelection{});
    Inventory now = ReadAll(liveSkipped, storeSkipped);
    // A place that could not be read keeps its last reading.
    const PlaceSelection whole = PlaceSelection{}.ReadWhole(Folders(), liveSkipped);
    known_.Replace(whole, std::move(now.live));
    stamps_.Note(whole, stamps);
    known_.TakeOthers(now);
    loaded_ = true;
    NoteSkipped(SkippedPlaces::Reading::Live, liveSkipped, true);
    NoteSkipped(SkippedPlaces::Reading::Store, storeSkipped, true);
}

PlaceSelection StartupGuard::PassOverUnchanged(const PlaceSelection& places, const PlaceStamps& stamps,
                                               CheckRound& round) const {
    // The interval's check passes over a key unchanged since its last whole
    // reading: with thousands of values allowed, reading them all every few
    // seconds would keep a core busy.
    PlaceSelection toRead = places;
    if (!places.All()) return toRead;
    const std::vector<LivePlace>& live = LivePlaces();
    for (PlaceId id = 0; id < live.size(); ++id) {
        if (!stamps_.Unchanged(id, stamps)) continue;
        toRead.Drop(id);
        // What was noted of it stays noted.
        const std::wstring location = LocationOf(live[id], Folders());
        for (const SkippedValue& v : skipped_.Live())
            if (v.key == location) round.skipped.push_back(v);
        new_.PassOver(location, round);
    }
    return toRead;
}

PlaceSelection StartupGuard::Settled(const PlaceSelection& whole, const LiveEntries& scan,
                                     const LiveEntries& now, const CheckRound& round) {
    // A key holding an entry left as it is (Cancel) is read again at the
    // next check, which asks again; one holding an entry whose question
    // waits, which may bring the answer.
    // One pass over each reading, by where each entry was read: what the
    // check read less what it kept, so a machine full of entries costs no
    // pass per place.
    std::unordered_map<std::wstring, long> unkept;
    ForEachLiveKind([&]<typename Entry>() {
        for (const Entry& e : scan.Of<Entry>()) ++unkept[FoldCase(PlaceReadOf(e, Folders()))];
        for (const Entry& e : now.Of<Entry>()) --unkept[FoldCase(PlaceReadOf(e, Folders()))];
    });
    PlaceSelection settled = whole;
    const std::vector<LivePlace>& live = LivePlaces();
    for (PlaceId id = 0; id < live.size(); ++id) {
        if (!whole.Has(id)) continue;
        const std::wstring location = FoldCase(LocationOf(live[id], Folders()));
        const auto left = unkept.find(location);
        if (round.waiting.contains(location) || (left != unkept.end() && left->second != 0)) {
            settled.Drop(id);
            stamps_.Forget(id);
        }
    }
    return settled;
}

}  // namespace kb
