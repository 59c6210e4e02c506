// Moving the files of the Startup folders into the store and back, each
// with a copy of its very bytes in a backup folder.
#include "store/Store.h"


#include "platform/CurrentUser.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "shelllink/ShellLink.h"
#include "places/ShortcutFiles.h"
#include "store/Backups.h"
#include "store/StoreLayout.h"
#include "places/TaskManager.h"

namespace kb {

using namespace store;

namespace {

// How a shortcut is rebuilt from a stored command alone: the target, working
// in the target's folder (up to and including its last "\" or ":").
ShellLinkData RebuiltFromCommand(const std::wstring& command) {
    ShellLinkData link;
    link.Target = Unquoted(command);
    const auto last = link.Target.find_last_of(L"\\:");
    if (last != std::wstring::npos) link.WorkingDirectory = link.Target.substr(0, last + 1);
    return link;
}

// Whether the file is the stored entry's shortcut: its target, and every
// field this program kept of it.
bool IsShortcutOf(const std::wstring& file, const StoredShortcutEntry& entry) {
    const std::optional<ShellLinkData> link = TryReadShellLink(file);
    return link && (entry.saved ? *link == *entry.saved : link->Target == Unquoted(entry.command));
}

bool IsShortcutFile(const std::wstring& fileName) {
    const auto dot = fileName.rfind(L'.');
    return dot != std::wstring::npos && EqualIgnoringCase(fileName.substr(dot), L".lnk");
}

// The store entry of the file, in the form the other utility of the
// running Windows writes.
StoredShortcutEntry StoredFormOf(StoreKind store, const ShortcutEntry& entry, const std::wstring& file,
                                 DWORD attributes, const StartupFolders& folders) {
    StoredShortcutEntry stored;
    stored.item = entry.name;
    // The form the other utility writes: a shortcut's quoted target, else
    // what it starts as shown (a file's own path).
    stored.command = entry.link && !entry.link->Target.empty() ? QuoteCommandLine(entry.link->Target)
                     : entry.command == file                   ? QuoteCommandLine(file)
                                                               : entry.command;
    // The form the running Windows's utility writes: XP names the folder
    // ("Startup"), later ones give its path, and the backup's ending apart.
    const bool usersOwn = folders.FolderOf(entry.location) == folders.userStartup;
    if (IsVistaOrLater()) {
        stored.location = folders.FolderOf(entry.location);
        stored.backupExtension = BackupEnding(entry.location, folders);
        stored.locationName = usersOwn ? kStartupLocation : kCommonStartupLocation;
    } else {
        stored.location = entry.location;
    }
    // A file of the user's own folder goes back only to that user.
    if (usersOwn) stored.user = CurrentUserSid();
    stored.path = file;
    stored.fileName = entry.fileName;
    stored.attributes = attributes & kKeptAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE};
    stored.byteCopy = true;
    stored.storeView = ViewOf(store);
    stored.store = store;
    return stored;
}

// A subkey for the entry: its natural name, or another when that holds a
// different entry. Empty when there is none.
std::wstring SubkeyFor(StoreKind store, const StoredShortcutEntry& stored, const std::wstring& file) {
    std::wstring natural = file;
    std::replace(natural.begin(), natural.end(), L'\\', L'^');
    return ChooseSubkey(store, KeysOf(store).folderKey, natural, [&](SubkeyReader& read, const std::wstring& name) {
        StoredShortcutEntry there = ReadShortcutSubkey(read, store, name, ViewOf(store));
        if (there.item.empty() && there.command.empty()) return true;
        there.backup.clear();  // a copy of the same file
        there.digest.clear();
        StoredShortcutEntry wanted = stored;
        wanted.subkey = name;
        return there == wanted;
    });
}

Written WriteShortcutSubkey(const StoredShortcutEntry& stored) {
    return WriteStoreSubkey(stored.store, stored.StoreKeyPath(), [&](RegKey& key) {
        key.WriteString(L"item", stored.item);
        key.WriteString(L"command", stored.command);
        key.WriteString(L"backup", stored.backup);
        key.WriteString(L"location", stored.location);
        WriteOwnValue(key, L"backupExtension", stored.backupExtension);
        WriteOwnValue(key, kLocationName, stored.locationName);
        key.WriteString(L"path", stored.path);
        key.WriteString(kOwnCommand, stored.command);
        key.WriteString(kFileName, stored.fileName);
        key.WriteString(kDigest, stored.digest);
        WriteOwnValue(key, kAttributes, stored.attributes ? std::to_wstring(stored.attributes) : L"");
        WriteOwnValue(key, kUser, stored.user);
    });
}

// A copy of the file's very bytes, made in the backup folder unless the
// backup there holds them already; the entry takes their digest. A failure
// leaves no copy of this move's behind (NeedsAdministrator: the folder
// refused this process).
struct ByteCopy {
    MoveResult failure = MoveResult::Moved;  // Moved: the copy is whole
    bool made = false;                       // by this move: to remove if it ends undone
};

ByteCopy CopyBytes(StoredShortcutEntry& stored, const std::wstring& file) {
    ByteCopy copy;
    if (!FileExists(stored.backup)) {
        if (const FileResult copied = CopyFileTo(file, stored.backup); !copied.Done())
            return {copied.Refused() ? MoveResult::NeedsAdministrator : MoveResult::CannotMove};
        copy.made = true;
        // The copy carries the file's attributes: kept in the store instead,
        // so the copy can always be removed.
        SetAttributesOf(stored.backup, FILE_ATTRIBUTE_NORMAL);
    }
    // The copy holds the file's bytes when both hash alike: each is read once.
    stored.digest = DigestOf(file);
    if (stored.digest != DigestOf(stored.backup)) stored.digest.clear();
    if (stored.digest.empty()) {
        if (copy.made) DeleteFileAt(stored.backup);
        return {MoveResult::CannotMove};
    }
    return copy;
}

// Writes the file's store entry into one store, with a copy of its very
// bytes in that store's backup folder, then removes the file. None when
// that store refuses this process writing.
std::optional<MoveResult> StoreShortcut(StoreKind store, const ShortcutEntry& entry,
                                        const std::wstring& file, const StartupFolders& folders) {
    const DWORD attributes = AttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MoveResult::Changed;
    // Nothing is copied for a store this process may not write: a folder
    // of the machine's is made and written only by who may write the store.
    if (!RegKey::MayCreate(KeysOf(store).root, KeysOf(store).folderKey, ViewOf(store)))
        return std::nullopt;
    StoredShortcutEntry stored = StoredFormOf(store, entry, file, attributes, folders);
    stored.subkey = SubkeyFor(store, stored, file);
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // The copy of its bytes comes first: a file that cannot be kept whole
    // stays where it is. A backup that already holds the same bytes serves.
    const std::wstring backupFolder = BackupFolderFor(store, folders);
    if (backupFolder.empty()) return MoveResult::CannotMove;
    // Its bytes are taken only once its writer is done: a file still being
    // written (a shortcut being saved) is not whole yet, and its last write
    // signals the folder again. Held till it is gone, nobody changes it
    // between the copy and its removal.
    const HeldFile held = HoldAgainstWriters(file);
    if (!held.result.Done())
        return held.result.Code() == ERROR_SHARING_VIOLATION ? MoveResult::Changed : MoveResult::CannotMove;
    stored.backup = ChooseBackup(backupFolder, entry, file, folders);
    const ByteCopy copy = CopyBytes(stored, file);
    if (copy.failure == MoveResult::NeedsAdministrator) return std::nullopt;
    if (copy.failure != MoveResult::Moved) return copy.failure;
    const auto dropCopy = [&] {
        if (copy.made) DeleteFileAt(stored.backup);
    };

    Written written = Written::No;
    try {
        written = WriteShortcutSubkey(stored);
    } catch (...) {
        dropCopy();
        throw;
    }
    if (written == Written::Refused || written == Written::No) {
        dropCopy();
        if (written == Written::Refused) return std::nullopt;
        return MoveResult::CannotMove;
    }
    // A read-only file is removed like any other; what it was is kept.
    const DWORD locked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const bool unlocked = (attributes & locked) && SetAttributesOf(file, attributes & ~locked).Done();
    const FileResult removed = DeleteFileAt(file);
    if (removed.Done()) return MoveResult::Moved;
    const bool refused = removed.Refused();
    if (unlocked) SetAttributesOf(file, attributes);
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(KeysOf(store).root, stored.StoreKeyPath(), ViewOf(store));
    dropCopy();
    return refused ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
}

}  // namespace

MoveResult DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    if (folder.empty() || entry.fileName.empty() || !IsPlainItem(entry.fileName))
        return MoveResult::CannotMove;
    const std::wstring file = folder + L"\\" + entry.fileName;
    // What is stored must be what is there now, not what was listed.
    if (!FileExists(file)) return MoveResult::Changed;
    // A link's bytes are another file's: it is never followed.
    if (IsLink(folder) || IsLink(file)) return MoveResult::Link;
    const ShortcutEntry now = StartupFileEntry(entry.location, file, ReadLinkOf(file));
    if (now.link != entry.link || now.command != entry.command) return MoveResult::Changed;

    if (const auto moved = StoreShortcut(StoreKind::Shared, entry, file, folders)) return *moved;
    // As for values: the all-users folder waits for administrator rights,
    // the user's own folder is the user's.
    if (TaskManagerRootOf(entry.location) == HKEY_LOCAL_MACHINE)
        return MoveResult::NeedsAdministrator;
    if (TaskManagerSwitchesAvailable())
        return FromError(
            DisableInTaskManager(HKEY_CURRENT_USER, kTaskManagerFolderKey, entry.fileName));
    return StoreShortcut(StoreKind::User, entry, file, folders).value_or(MoveResult::CannotMove);
}

ShellLinkData LinkToRestore(const StoredShortcutEntry& entry) {
    return entry.saved ? *entry.saved : RebuiltFromCommand(entry.command);
}

MoveResult EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders) {
    // Another user's file never goes into this user's folder (their folder's
    // path, in the later form, is not one of this user's).
    if (!entry.user.empty() && entry.user != CurrentUserSid()) return MoveResult::AnotherUsers;
    const std::wstring& folder = folders.FolderOf(entry.location);
    // A name with a folder part would write outside the Startup folder; the
    // user's store, which every program of the user can write, goes back
    // only into the user's own folder.
    if (folder.empty() || (entry.store == StoreKind::User && folder != folders.userStartup) ||
        !IsPlainItem(entry.item) || entry.fileName.empty() ||
        !IsPlainItem(entry.fileName) || entry.command.empty() || entry.subkey.empty())
        return MoveResult::CannotMove;
    if (!StillHolds(entry.StoreKeyPath(), entry, ReadShortcutSubkey)) return MoveResult::Changed;
    if (const auto cannot = CannotLeaveStore(entry.store, entry.StoreKeyPath(), entry.storeView))
        return *cannot;
    const std::wstring file = folder + L"\\" + entry.fileName;
    if (WriteRefused(file)) return MoveResult::NeedsAdministrator;

    // The backup copy serves when it is this entry's: one written here
    // holds the very bytes it held then; a shortcut of the other utility's
    // must still point where the store says (its name may hold an older one).
    const std::wstring backup = BackupOf(entry, folders);
    const bool lnk = IsShortcutFile(entry.fileName);
    const bool fromBackup =
        !backup.empty() && FileExists(backup) &&
        (entry.byteCopy ? DigestOf(backup) == entry.digest : !lnk || IsShortcutOf(backup, entry));
    if (FileExists(file) || DirectoryExists(file)) {
        // The same file already back: only its store entry goes. Another
        // one of its name: both are kept.
        const bool same = (fromBackup && SameContents(file, backup)) ||
                          (lnk && !entry.byteCopy && IsShortcutOf(file, entry));
        if (!same) return MoveResult::CannotMove;
    } else if (fromBackup) {
        if (!PlaceWhole(
                file, [&](const std::wstring& at) { return CopyFileTo(backup, at).Done(); },
                [&](const std::wstring& at) { return SameContents(backup, at); }))
            return MoveResult::CannotMove;
        if (entry.attributes) SetAttributesOf(file, entry.attributes);
    } else if (lnk && !entry.byteCopy) {
        // Rebuilt only for an entry that has nothing better: what an
        // earlier version kept of it, or the other utility's command. A
        // shortcut that does not read back is none: the entry stays stored.
        if (!PlaceWhole(
                file,
                [&](const std::wstring& at) {
                    WriteShellLink(at, LinkToRestore(entry));
                    return true;
                },
                [](const std::wstring& at) { return TryReadShellLink(at).has_value(); }))
            return MoveResult::CannotMove;
    } else {
        return MoveResult::CannotMove;  // its copy is gone: nothing faithful to write
    }
    if (!backup.empty() && FileExists(backup)) DeleteFileAt(backup);
    RegKey::DeleteTree(KeysOf(entry.store).root, entry.StoreKeyPath(), entry.storeView);
    return MoveResult::Moved;
}

}  // namespace kb
