// What the guard knows, kept across runs: taken back at start, written
// whenever it changes.
#include "guard/RecordKeeper.h"

#include <algorithm>
#include <utility>

#include "guard/KnownKeeping.h"

namespace kb {

std::vector<RecordNote> RecordKeeper::Restore(KnownEntries& known) {
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
            known.MarkUnkept(true);
            continue;
        }
        // The list shows what the places hold, not what the record says.
        known.ListAsNow();
        known.TakeRecord(lines, machine);
    }
    return notes;
}

void RecordKeeper::Say(std::vector<RecordNote> notes) {
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
    if (!notes.empty()) tell_(RecordsNoted{std::move(notes)});
}

void RecordKeeper::Keep(KnownEntries& known) {
    if (keeping_ == Keeping::Nothing || !known.Unkept()) return;
    const LiveEntries& live = known.All().live;
    LONG failed = WriteRecord(HKEY_LOCAL_MACHINE, kEntriesRecord, LinesOf(live, true, known.Folders()));
    if (keeping_ == Keeping::Everything) {
        // Only an administrator writes the machine's record: without the
        // rights, what this guard learns of the machine's places lasts as
        // long as it runs, and that is no failure.
        if (failed == ERROR_ACCESS_DENIED) {
            failed = ERROR_SUCCESS;
            machineUnrecorded_ = true;
        }
        if (const LONG user = WriteRecord(HKEY_CURRENT_USER, kEntriesRecord, LinesOf(live, false, known.Folders()));
            user != ERROR_SUCCESS)
            failed = user;
        else
            ForgetRecord(HKEY_CURRENT_USER, kOldMachineCopyRecord);
    }
    // What could not be written is written again at the next check: the
    // next start must not find what was learnt meanwhile new.
    known.MarkUnkept(failed != ERROR_SUCCESS);
    if (!known.Unkept())
        unkeptTold_ = false;
    else if (!std::exchange(unkeptTold_, true))
        tell_(RecordNotKept{failed});
}

}  // namespace kb
