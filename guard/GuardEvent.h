#pragma once
// What the guard has to tell, as it happens: each outcome, finding and
// note leaves it as one typed event, to the one sink its owner set.
#include <windows.h>

#include <string>
#include <variant>
#include <vector>

#include "places/Entries.h"
#include "places/Records.h"
#include "store/Items.h"
#include "places/MoveResult.h"

namespace kb {

// What a check did with one new entry, for the record.
struct CheckOutcome {
    enum Action { Disabled, Allowed, Left, NotMoved, WaitsForAdministrator } action;
    EntryText entry;
    bool asked = false;      // the user answered; else the policy decided
    std::wstring previously;  // what a known entry of its name started before
    bool atStart = false;     // found at start: it came while Keepboot was not running
    // Held aside because the session ended while its question waited.
    bool unanswered = false;
};

// A known entry that came to start something else and was disabled.
struct ChangedEntry {
    EntryText entry;          // as it is now
    std::wstring previously;  // what it started before
};

// A new entry a check could not disable, with why: told once, and not
// asked about again until it changes.
struct NotDisabled {
    EntryText entry;
    MoveResult why;
};

// A new entry that needs administrator rights to be disabled: it stays,
// told once while it stays, never disabled behind the user's back with a
// prompt for rights.
struct NeedsAdministrator {
    EntryText entry;
};

// What the start found of one record.
struct RecordNote {
    bool machine;
    RecordState state;  // Missing (a first start), Broken, Forged or Vanished
    // Of the machine's, at the user's first start: this guard may not keep
    // it, so its places are taken as they are at every start.
    bool needsAdministrator = false;
};
// Every record's note of one start, told together.
struct RecordsNoted {
    std::vector<RecordNote> notes;
};

// What is known could not be kept (Windows' error code): told once while
// it lasts, and written again at each check until it is.
struct RecordNotKept {
    LONG error;
};

// A value found not to be text, or a place that could not be read, is told
// as its SkippedValue, once for as long as it stays; a move an earlier
// process cut short, made whole at the first reading, as its FinishedMove.
using GuardEvent = std::variant<CheckOutcome, ChangedEntry, NotDisabled, NeedsAdministrator, SkippedValue,
                                FinishedMove, RecordsNoted, RecordNotKept>;

}  // namespace kb
