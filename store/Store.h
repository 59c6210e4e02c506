#pragma once
// The disabled-entry store, shared with the System Configuration utility:
// registry entries under startupreg, shortcuts under startupfolder with a
// backup copy in WindowsDir\pss.
//
// No entry is ever lost: an entry leaves its live place only after its
// store subkey has been written in full, and leaves the store only after
// its live value or shortcut is in place and reads back. An entry is
// moved only while it is still what was listed.
//
// A store subkey's name is only a handle: the entry is what its values
// say. An entry whose natural subkey name is taken by another entry, or
// cannot be a key name, is written under a free one.
#include <string>
#include <vector>

#include "places/Entries.h"
#include "places/EntryRecords.h"
#include "places/MoveResult.h"
#include "store/StoreReading.h"

namespace kb {

MoveResult DisableRunValue(const RunValueEntry& entry);
MoveResult EnableRunValue(const StoredRunEntry& entry);
MoveResult DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders);
MoveResult EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders);

// The shortcut a stored entry comes back as, when no backup copy serves:
// what was kept of it here, or one rebuilt from its command.
ShellLinkData LinkToRestore(const StoredShortcutEntry& entry);

}  // namespace kb
