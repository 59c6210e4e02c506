#pragma once
// Reading the Run-type keys, the Startup folders and the store. A reading
// is whole or it raises: a key that opened but could not be listed to its
// end makes no partial snapshot.
#include <vector>

#include "startup/Entries.h"

namespace kb {

// The seven keys and both folders. Keys that do not open and folders that
// do not exist contribute nothing; values that are not text are skipped
// and noted; a shortcut that cannot be read is still an entry.
LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped);

// The store's two keys. A registry entry needs "item", "command", "key"
// and "hkey"; a shortcut entry "item" and "command". A subkey with one of
// those values not text is skipped and noted.
StoredEntries ReadStoredEntries(std::vector<SkippedValue>& skipped);

// One shortcut as the folder scan reads it.
ShortcutEntry ReadShortcut(const std::wstring& location, const std::wstring& folder,
                           const std::wstring& fileName);

}  // namespace kb
