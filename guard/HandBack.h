#pragma once
// Handing what this program disabled into the store back to Windows' own
// switches. From Windows 8 on, Task Manager and Settings list only the live
// places and their switches below StartupApproved, never the System
// Configuration utility's store: an entry held there vanishes from Windows'
// own lists, and once Keepboot is gone no Windows tool brings it back. Such
// an entry, where a switch can say it is off (the machine's Run and Run32,
// the user's Run, both Startup folders), goes back to its place whole, its
// switch set off first in the form Task Manager writes: Windows then lists
// it disabled and can enable it. Any other entry stays stored.
#include <string>
#include <vector>

#include "places/Entries.h"
#include "places/MoveResult.h"
#include "places/StartupPlaces.h"

namespace kb {

struct HandedBack {
    std::wstring item, location;  // as the list names them
    enum class Outcome {
        HandedBack,  // live again, switched off
        NoSwitch,    // its place has no switch (or this Windows reads none): it stays stored
        NameTaken,   // its place holds a live entry of its name, which is left alone
        NotTheirs,   // another user's, or a user's where this process is the system
        NotMoved,    // the move or the switch was refused, or did not read back: it stays stored
        NotReadBack, // out of the store, but not read back in its place switched off
    };
    Outcome outcome = Outcome::HandedBack;
    MoveResult why = MoveResult::Moved;  // of NotMoved
};

// Every stored entry of the shared store and this user's own, each handed
// back or left stored whole. machineOnly: only the machine's places (the
// system's own keys and folder, where the installer runs it, are no user's).
std::vector<HandedBack> HandBackToWindows(const StartupFolders& folders, bool machineOnly);

}  // namespace kb
