// What the guard knows, kept across runs: taken back at start, written
// whenever it changes.
#include <algorithm>
#include <utility>

#include "guard/EntryKinds.h"
#include "guard/Guard.h"
#include "guard/KnownKeeping.h"
#include "store/Store.h"

namespace kb {

void StartupGuard::Restore() {
    if (shutDown_) return;
    ReadEverything();  // what starts nothing, the store, the logon values: as they are
    LiveEntries& live = known_.live;
    std::vector<RecordNote> notes;
    for (const bool machine : {true, false}) {
        if (keeping_ == Keeping::Nothing || (!machine && keeping_ == Keeping::MachineOnly)) continue;
        // What is known of the machine's places comes only from the record
        // only administrators write: one the user's programs could write
        // never speaks for them.
        RecordLines lines;
        const RecordState state = ReadRecord(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                             kEntriesRecord, lines);
        if (state != RecordState::Read) {
            notes.push_back({machine, state});
            // The first reading is the record from now on; but an instance
            // that keeps only the machine's record for a guard never makes
            // one: what the places hold now is not known to that guard.
            if (keeping_ == Keeping::MachineOnly) keeping_ = Keeping::Nothing;
            knownChanged_ = true;
            continue;
        }
        // The list shows what the places hold, not what the record says.
        if (!listed_) listed_ = known_;
        ForEachLiveKind([&]<typename Entry>() {
            std::erase_if(ListOf<Entry>(live),
                          [&](const Entry& e) { return OfTheMachine(e) == machine && Starts(e); });
        });
        AddEntriesOf(lines, machine, folders_, live);
    }
    index_.reset();
    // Nothing was read whole as known since: the first check reads every
    // place, and what it finds new came while Keepboot was not running.
    stamps_.ForgetAll();
    atStart_ = true;
    Keep();
    // Without the rights to keep the machine's record, its places are taken
    // as they are at every start: said once, at the user's own first start,
    // not as a first start each time.
    if (machineUnrecorded_) {
        const bool usersFirst = std::any_of(notes.begin(), notes.end(), [](const RecordNote& n) {
            return !n.machine && n.state == RecordState::Missing;
        });
        std::erase_if(notes, [](const RecordNote& n) { return n.machine && n.state == RecordState::Missing; });
        if (usersFirst) notes.push_back({true, RecordState::Missing, true});
    }
    if (!notes.empty()) Tell(RecordsNoted{std::move(notes)});
}

void StartupGuard::Keep() {
    if (keeping_ == Keeping::Nothing || !knownChanged_) return;
    LONG failed = WriteRecord(HKEY_LOCAL_MACHINE, kEntriesRecord, LinesOf(known_.live, true, folders_));
    if (keeping_ == Keeping::Everything) {
        // Only an administrator writes the machine's record: without the
        // rights, what this guard learns of the machine's places lasts as
        // long as it runs, and that is no failure.
        if (failed == ERROR_ACCESS_DENIED) {
            failed = ERROR_SUCCESS;
            machineUnrecorded_ = true;
        }
        if (const LONG user = WriteRecord(HKEY_CURRENT_USER, kEntriesRecord, LinesOf(known_.live, false, folders_));
            user != ERROR_SUCCESS)
            failed = user;
        else
            ForgetRecord(HKEY_CURRENT_USER, kOldMachineCopyRecord);
    }
    // What could not be written is written again at the next check: the
    // next start must not find what was learnt meanwhile new.
    knownChanged_ = failed != ERROR_SUCCESS;
    if (!knownChanged_)
        unkeptTold_ = false;
    else if (!std::exchange(unkeptTold_, true))
        Tell(RecordNotKept{failed});
}

}  // namespace kb
