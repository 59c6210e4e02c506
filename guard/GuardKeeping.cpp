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
    for (const bool machine : {true, false}) {
        if (keeping_ == Keeping::Nothing || (!machine && keeping_ == Keeping::MachineOnly)) continue;
        RecordLines lines, copy;
        const RecordState state = ReadRecord(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                             kEntriesRecord, lines);
        // A guard without the rights to write the machine's record kept a
        // copy of its own: what either says was known.
        const RecordState copyState = machine && keeping_ == Keeping::Everything
                                          ? ReadRecord(HKEY_CURRENT_USER, kMachineCopyRecord, copy)
                                          : RecordState::Missing;
        if (state == RecordState::Broken) unreportedRecords_.push_back({machine, RecordState::Broken});
        if (state != RecordState::Read && copyState != RecordState::Read) {
            if (state == RecordState::Missing) unreportedRecords_.push_back({machine, RecordState::Missing});
            // The first reading is the record from now on; but an instance
            // that keeps only the machine's record for a guard never makes
            // one: what the places hold now is not known to that guard.
            if (keeping_ == Keeping::MachineOnly) keeping_ = Keeping::Nothing;
            knownChanged_ = true;
            continue;
        }
        // The list shows what the places hold, not what the record says.
        if (!restoredOver_) restoredOver_ = known_;
        ForEachLiveKind([&]<typename Entry>() {
            std::erase_if(ListOf<Entry>(live),
                          [&](const Entry& e) { return OfTheMachine(e) == machine && Starts(e); });
        });
        if (state == RecordState::Read) AddEntriesOf(lines, folders_, live);
        if (copyState == RecordState::Read) AddEntriesOf(copy, folders_, live);
    }
    index_.reset();
    // Nothing was read whole as known since: the first check reads every
    // place, and what it finds new came while Keepboot was not running.
    std::fill(stampsRead_.begin(), stampsRead_.end(), std::nullopt);
    atStart_ = true;
    Keep();
}

void StartupGuard::Keep() {
    if (keeping_ == Keeping::Nothing || !knownChanged_) return;
    LONG failed = ERROR_SUCCESS;
    const LONG machine = WriteRecord(HKEY_LOCAL_MACHINE, kEntriesRecord, LinesOf(known_.live, true, folders_));
    if (keeping_ == Keeping::MachineOnly) {
        failed = machine;
    } else {
        // Only an administrator writes the machine's record: without the
        // rights, what this guard knows of the machine's places is its own copy.
        if (machine != ERROR_SUCCESS)
            if (const LONG copy = WriteRecord(HKEY_CURRENT_USER, kMachineCopyRecord,
                                              LinesOf(known_.live, true, folders_));
                copy != ERROR_SUCCESS)
                failed = copy;
        if (const LONG user = WriteRecord(HKEY_CURRENT_USER, kEntriesRecord, LinesOf(known_.live, false, folders_));
            user != ERROR_SUCCESS)
            failed = user;
    }
    // What could not be written is written again at the next check: the
    // next start must not find what was learnt meanwhile new.
    knownChanged_ = failed != ERROR_SUCCESS;
    if (!knownChanged_)
        unkeptTold_ = false;
    else if (!std::exchange(unkeptTold_, true))
        unreportedUnkept_ = failed;
}

std::vector<StartupGuard::RecordNote> StartupGuard::TakeNewlyNotedRecords() {
    return std::exchange(unreportedRecords_, {});
}

}  // namespace kb
