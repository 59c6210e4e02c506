#pragma once
// What the watch decides or finds, as data: one event, sent once to its
// owner at the moment of the decision. The owner words it; nothing here is
// text meant for the user.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "guard/Guard.h"
#include "logon/LogonValues.h"
#include "places/MoveResult.h"
#include "store/OwnFolder.h"
#include "startpage/StartPages.h"

namespace kb {

// Something the watch found that stops nothing: the user is told of it,
// once while it lasts. The fields a kind does not use stay empty.
struct Finding {
    enum class Kind {
        StartupFolderMoved,      // whose: which folder; location: where it is now
        StartPageNotPutBack,     // item: the page; found: what it holds now
        LogonValueRefused,       // item, location, found: putting it back needs administrator rights
        LogonValueNamesMissing,  // item, location, found; names: what the value held before names, not there
        NeedsAdministrator,      // item, location: a new entry stays where it is
        ChangedAndDisabled,      // item, location, found: what it starts now; before: what it started
        PlaceUnreadable,         // location, unreadable, code: what it held before stays guarded
        NotText,                 // item: a value that does not hold text
        CouldNotDisable,         // item, location, result
        OwnFolderRefused,        // location: the folder, ownFolder: why it is not Keepboot's own
        RecordBroken,            // whose: the record of what was known could not be read whole
        FirstStart,              // whose: the places known from now on, with nothing kept before
        RecordNotKept,           // reason: what is known could not be written, and is tried again
        LogonValueNotPutBack,    // item, location, found, reason: the write of the put-back failed
        StartPageNotWrittenBack,  // item: the page; found: what was allowed; it could not be written back
        MoveNotMadeWhole,        // item, location, result: a move cut short that cannot be finished now
        MoveFinished,            // item, location: a move cut short, finished
        MoveUndone,              // item, location: a move cut short, undone; the entry stays disabled
        MachineUnrecorded,       // the machine's places cannot be kept on record without administrator rights
        ForeignKey,              // location: a key in Keepboot's own that it did not write, left alone
        StartupFolderUnreachable,  // whose: which folder; location: Windows' setting for it, as written
        RecordForged,            // the user's record failed its seal: another program changed it
        RecordVanished,          // the user's record, sealed before, is gone
    };
    // Whose places or folder: the machine's (all users'), the user's, or both.
    enum class Whose { Machine, User, Both };

    // Each member has its default, so a finding names only what it uses.
    Kind kind = Kind::NotText;
    std::wstring item = {}, location = {}, found = {}, before = {}, reason = {};
    std::vector<std::wstring> names = {};
    std::optional<MoveResult> result = {};
    // Windows' code for why, where the finding is a failure Windows gave
    // one for: worded by whoever shows it.
    DWORD code = ERROR_SUCCESS;
    Whose whose = Whose::User;
    WhyUnreadable unreadable = WhyUnreadable::Denied;
    OwnFolderRefusal::Why ownFolder = OwnFolderRefusal::Why::NoPlace;
};
inline constexpr int kFindingKinds = static_cast<int>(Finding::Kind::RecordVanished) + 1;

// Each kind of event the watch sends: a new entry's outcome, a start page's
// or a logon value's change and what became of it, or a finding.
using WatchEvent = std::variant<CheckOutcome, StartPageChange, LogonValueChange, Finding>;

}  // namespace kb
