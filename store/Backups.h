#pragma once
// Where the byte copies of disabled Startup files are kept, and what their
// files are called: as the System Configuration utility of the running
// Windows names them, or in Keepboot's own folders where its folder is not.
#include <string>

#include "places/Entries.h"
#include "places/EntryRecords.h"

namespace kb {

// The folder a new backup copy goes into; empty when there is none.
std::wstring BackupFolderFor(StoreKind store, const StartupFolders& folders);
// The entry's backup copy inside the store's backup folders; empty when it
// names none there.
std::wstring BackupOf(const StoredShortcutEntry& entry, const StartupFolders& folders);
// The backup file's ending after the file's name.
std::wstring BackupEnding(const std::wstring& location, const StartupFolders& folders);
// A backup file name for the file in the backup folder, not one holding
// another file.
std::wstring ChooseBackup(const std::wstring& backupFolder, const ShortcutEntry& entry,
                          const std::wstring& file, const StartupFolders& folders);

}  // namespace kb
