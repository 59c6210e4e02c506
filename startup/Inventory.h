#pragma once
// Reading the Run-type keys and the Startup folders; the store's own
// reading lives beside its layout. A reading is whole or it raises: a key
// that opened but could not be listed to its end makes no partial snapshot.
#include <vector>

#include "startup/Entries.h"

namespace kb {

// The seven keys and both folders. Keys that do not open and folders that
// do not exist contribute nothing; values that are not text are skipped
// and noted; a shortcut that cannot be read is still an entry.
LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped);

// One shortcut as the folder scan reads it.
ShortcutEntry ReadShortcut(const std::wstring& location, const std::wstring& folder,
                           const std::wstring& fileName);

}  // namespace kb
