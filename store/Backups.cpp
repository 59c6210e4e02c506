#include "store/Backups.h"

#include "platform/CurrentUser.h"
#include "platform/Files.h"
#include "platform/TextCompare.h"
#include "store/OwnFolder.h"

namespace kb {

// The backup folders a store's entries may name: the shared store's is
// WindowsDir\pss, or Keepboot's own where pss is not there.
namespace {

std::vector<std::wstring> BackupFoldersOf(StoreKind store, const StartupFolders& folders) {
    if (store == StoreKind::User) return {folders.userBackup};
    return {folders.BackupFolder(), folders.machineBackup};
}

// The stored backup path when, on canonical full paths, it names a file
// directly inside one of the store's backup folders; empty otherwise.
std::wstring BackupInside(StoreKind store, const std::wstring& backup,
                          const StartupFolders& folders) {
    if (backup.empty()) return {};
    const std::wstring full = FullPath(backup);
    const auto slash = full.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == full.size()) return {};
    for (const std::wstring& folder : BackupFoldersOf(store, folders)) {
        const std::wstring canonical = folder.empty() ? std::wstring() : FullPath(folder);
        if (!canonical.empty() && EqualIgnoringCase(full.substr(0, slash), canonical)) return full;
    }
    return {};
}

}  // namespace

// The folder a new backup copy goes into: pss where it exists (this
// program never makes it), else the store's folder of Keepboot's own,
// made now. Empty when there is none.
std::wstring BackupFolderFor(StoreKind store, const StartupFolders& folders) {
    if (store == StoreKind::Shared && DirectoryExists(folders.BackupFolder()))
        return folders.BackupFolder();
    if (store == StoreKind::User) {
        const std::wstring& own = folders.userBackup;
        if (own.empty() || !MakeFolder(own).Done()) return {};
        // Never one that leads elsewhere.
        return IsLink(own) ? std::wstring() : own;
    }
    // The machine's copies go only into a folder of Keepboot's own, which
    // only administrators may change: a folder another user made first is
    // not used (and said), as when none can be made.
    if (folders.machineBackup.empty() || MakeOwnFolder(folders.machineBackup)) return {};
    return folders.machineBackup;
}

// The entry's backup copy inside the backup folder: the stored "backup"
// file, or, in the later form, item.lnk + the stored "backupExtension" in pss.
std::wstring BackupOf(const StoredShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring named = BackupInside(entry.store, entry.backup, folders);
    if (!named.empty() && FileExists(named)) return named;
    if (!entry.backupExtension.empty()) {
        const std::wstring later = BackupInside(
            entry.store,
            BackupFoldersOf(entry.store, folders).front() + L"\\" + entry.item + L".lnk" +
                entry.backupExtension,
            folders);
        if (!later.empty() && FileExists(later)) return later;
    }
    return named;
}

// The backup file's ending after the file's name, as the running Windows's
// utility writes it: the location on XP (Foo.lnkStartup), a dot and the
// location without blanks later (Foo.lnk.Startup, Foo.lnk.CommonStartup).
std::wstring BackupEnding(const std::wstring& location, const StartupFolders& folders) {
    if (!IsVistaOrLater()) return location;
    return folders.FolderOf(location) == folders.commonStartup ? L".CommonStartup" : L".Startup";
}

// A backup file name for the file in the backup folder: its name and the
// ending, or "Foo (n).lnk" and the ending when that holds another file.
std::wstring ChooseBackup(const std::wstring& backupFolder, const ShortcutEntry& entry,
                          const std::wstring& file, const StartupFolders& folders) {
    const std::wstring extension = entry.fileName.substr(entry.name.size());
    for (unsigned long n = 1;; ++n) {
        const std::wstring name =
            n == 1 ? entry.name : entry.name + L" (" + std::to_wstring(n) + L")";
        const std::wstring backup = backupFolder + L"\\" + name + extension + BackupEnding(entry.location, folders);
        if (!FileExists(backup) || SameContents(backup, file)) return backup;
    }
}

}  // namespace kb
