#pragma once
// Moving any entry the list shows: a live one through its kind, a stored
// one back out of the store, a logon value back to Windows' own.
#include "kinds/Kinds.h"

namespace kb {

// Whether moving the entry writes where only an administrator may: a
// machine place, or the shared store.
bool WritesMachinePlaces(const StartupEntry& entry);

// Where the entry's kind comes in a pass of several moves: live values are
// disabled before anything comes back into their keys, shortcuts after the
// registry's entries.
int PassOrderOf(const StartupEntry& entry);

// Live entries are disabled (or enabled where they are listed disabled),
// stored ones enabled, a logon value put back to Windows' own.
MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders);

}  // namespace kb
