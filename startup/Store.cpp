#include "startup/Store.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/IntText.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "startup/Inventory.h"
#include "startup/TaskManager.h"

namespace kb {

namespace {

// Values of our own, beside the shared ones, which the other utility
// leaves alone. They hold what the shared values cannot, and apply only
// while "command" is still the one they were written for (kOwnCommand):
// if the other utility rewrites the subkey, they are ignored.
constexpr wchar_t kOwnCommand[] = L"KeepbootCommand";
constexpr wchar_t kValueType[] = L"KeepbootValueType";  // "REG_EXPAND_SZ"
constexpr wchar_t kExpandType[] = L"REG_EXPAND_SZ";
constexpr wchar_t kArguments[] = L"KeepbootArguments";
constexpr wchar_t kWorkingDirectory[] = L"KeepbootWorkingDirectory";
constexpr wchar_t kIconLocation[] = L"KeepbootIconLocation";
constexpr wchar_t kIconIndex[] = L"KeepbootIconIndex";
constexpr wchar_t kShowCommand[] = L"KeepbootShowCommand";
constexpr wchar_t kHotKey[] = L"KeepbootHotKey";
constexpr wchar_t kDescription[] = L"KeepbootDescription";
// The value's real name, where its subkey (and so "item") could not be it.
constexpr wchar_t kRealName[] = L"KeepbootName";
// The value's exact bytes, where its text does not hold them all.
constexpr wchar_t kRawData[] = L"KeepbootData";
// A file written here with a copy of its very bytes: its own name in the
// Startup folder, and its attributes.
constexpr wchar_t kFileName[] = L"KeepbootFileName";
constexpr wchar_t kAttributes[] = L"KeepbootAttributes";
// The SHA-256 of the copy's bytes: a copy changed in its folder (one made
// by another user before Keepboot's own) is never put back.
constexpr wchar_t kDigest[] = L"KeepbootDigest";
// What a file's attributes may be set back to.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A key name may have 255 characters; room is kept for " (n)".
constexpr std::size_t kMaxSubkeyBase = 240;
// How often an entry was disabled into the same subkey (a program that
// puts itself back each time), from the second time on.
constexpr wchar_t kDisabledCount[] = L"KeepbootDisabledCount";

HKEY RootFromName(const std::wstring& name) {
    if (EqualIgnoringCase(name, L"HKLM")) return HKEY_LOCAL_MACHINE;
    if (EqualIgnoringCase(name, L"HKCU")) return HKEY_CURRENT_USER;
    return nullptr;
}

// A stored shortcut target may carry the quotes the store puts round paths
// with blanks; the shell wants the bare path.
std::wstring Unquoted(const std::wstring& command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        return command.substr(1, command.size() - 2);
    return command;
}

std::wstring RunStorePath(StoreKind store, const std::wstring& subkey) {
    return std::wstring(KeysOf(store).runKey) + L"\\" + subkey;
}

// The view a store is opened in: the machine's for the shared one.
REGSAM ViewOf(StoreKind store) {
    return store == StoreKind::Shared ? MachineView() : 0;
}

bool IsMachineRoot(HKEY root) {
    return root == HKEY_LOCAL_MACHINE;
}

// --- reading a subkey --------------------------------------------------------

// Reads text values of one subkey, noting the first shared value that is
// not text; our own values that are not text count as absent.
class SubkeyReader {
public:
    explicit SubkeyReader(const RegKey& key) : key_(key) {}
    std::wstring Shared(const wchar_t* name) {
        const std::optional<RegValue> value = key_.Query(name);
        if (!value) return {};
        if (!value->IsText()) {
            if (!notText_) notText_ = name;
            return {};
        }
        return value->Text();
    }
    std::optional<std::wstring> Own(const wchar_t* name) const {
        const std::optional<RegValue> value = key_.Query(name);
        if (!value || !value->IsText()) return std::nullopt;
        return value->Text();
    }
    int OwnNumber(const wchar_t* name) const { return StrToIntDef(Own(name).value_or(L""), 0); }
    std::vector<BYTE> OwnBytes(const wchar_t* name) const {
        const std::optional<RegValue> value = key_.Query(name);
        return value && value->type == REG_BINARY ? value->data : std::vector<BYTE>();
    }
    // Whether our own values were written for this command.
    bool Ours(const std::wstring& command) const { return Own(kOwnCommand) == command; }
    const wchar_t* NotText() const noexcept { return notText_; }

private:
    const RegKey& key_;
    const wchar_t* notText_ = nullptr;
};

StoredRunEntry ReadRunSubkey(SubkeyReader& read, StoreKind store, const std::wstring& subkey,
                             REGSAM view) {
    StoredRunEntry e;
    e.subkey = subkey;
    e.storeView = view;
    e.store = store;
    e.item = read.Shared(L"item");
    e.command = read.Shared(L"command");
    e.key = read.Shared(L"key");
    e.hkey = read.Shared(L"hkey");
    // The other utility names the subkey after the Run value and keeps the
    // program's base name in "item" ("Sound Helper", item "sndhlp"): its
    // entries go back under the subkey's name, as it would put them back.
    // Ours (tied to their command) have "item" = the subkey's name, with
    // the real name beside it where that differs; those stored by an
    // earlier version have the real name in "item".
    const bool ours = read.Ours(e.command);
    if (!ours && !subkey.empty()) e.item = subkey;
    if (ours) {
        if (std::optional<std::wstring> real = read.Own(kRealName)) e.item = std::move(*real);
        e.raw = read.OwnBytes(kRawData);
    }
    // Entries stored before the marker was tied to its command keep it too.
    const std::optional<std::wstring> own = read.Own(kOwnCommand);
    e.expandable = read.Own(kValueType) == kExpandType && (!own || *own == e.command);
    return e;
}

// The file an entry without a name of our own goes back as: the stored
// path's, when that is the item's file (the other utility stores any kind
// of file), else item.lnk.
std::wstring FileNameOf(const std::wstring& path, const std::wstring& item) {
    const std::wstring last = path.substr(path.find_last_of(L"\\/") + 1);
    if (!last.empty() && IsPlainItem(last) &&
        EqualIgnoringCase(last.substr(0, last.rfind(L'.')), item))
        return last;
    return item + L".lnk";
}

StoredShortcutEntry ReadShortcutSubkey(SubkeyReader& read, StoreKind store,
                                       const std::wstring& subkey, REGSAM view) {
    StoredShortcutEntry e;
    e.subkey = subkey;
    e.storeView = view;
    e.store = store;
    e.item = read.Shared(L"item");
    e.command = read.Shared(L"command");
    e.location = read.Shared(L"location");
    e.backup = read.Shared(L"backup");
    e.path = read.Shared(L"path");
    e.backupExtension = read.Own(L"backupExtension").value_or(L"");
    const bool ours = read.Ours(e.command);
    if (std::optional<std::wstring> fileName = read.Own(kFileName); ours && fileName) {
        e.fileName = std::move(*fileName);
        e.attributes = static_cast<DWORD>(read.OwnNumber(kAttributes)) & kKeptAttributes;
        e.digest = read.Own(kDigest).value_or(L"");
        e.byteCopy = true;
    } else {
        e.fileName = FileNameOf(e.path, e.item);
    }
    if (ours && !e.byteCopy) {
        ShellLinkData link;
        link.Target = Unquoted(e.command);
        link.Arguments = read.Own(kArguments).value_or(L"");
        link.Description = read.Own(kDescription).value_or(L"");
        link.WorkingDirectory = read.Own(kWorkingDirectory).value_or(L"");
        link.IconLocation = read.Own(kIconLocation).value_or(L"");
        link.IconIndex = read.OwnNumber(kIconIndex);
        link.ShowCmd = read.OwnNumber(kShowCommand);
        link.HotKey = static_cast<std::uint16_t>(read.OwnNumber(kHotKey));
        e.saved = std::move(link);
    }
    return e;
}

// Whether the subkey still holds exactly this entry.
template <typename Entry, typename Read>
bool StillHolds(const std::wstring& path, const Entry& entry, Read read) {
    const OpenedKey key = RegKey::OpenForReading(KeysOf(entry.store).root, path, entry.storeView);
    if (!key) return false;
    SubkeyReader reader(*key);
    return read(reader, entry.store, entry.subkey, entry.storeView) == entry;
}

// --- writing a subkey --------------------------------------------------------

// The subkey of a store key for a new entry: its natural name when that is
// free, holds this very entry already (a pass run again) or holds no entry
// (left half-made); otherwise the first such "name (n)". A name that can
// be no key name is made one: "\" becomes "^", empty becomes "(Default)",
// too long is cut. There is always one: the store has only so many subkeys.
template <typename HoldsThisOrNone>
std::wstring ChooseSubkey(StoreKind store, const std::wstring& storeKey,
                          const std::wstring& natural, HoldsThisOrNone holdsThisOrNone) {
    std::wstring base = natural.empty() ? L"(Default)" : natural;
    std::replace(base.begin(), base.end(), L'\\', L'^');
    if (base.size() > kMaxSubkeyBase) base.resize(kMaxSubkeyBase);
    for (unsigned long n = 1;; ++n) {
        const std::wstring name = n == 1 ? base : base + L" (" + std::to_wstring(n) + L")";
        const OpenedKey existing =
            RegKey::OpenForReading(KeysOf(store).root, storeKey + L"\\" + name, ViewOf(store));
        if (!existing) return name;
        SubkeyReader reader(*existing);
        if (holdsThisOrNone(reader, name)) return name;
    }
}

enum class Written { No, Refused, Created, Reused };

// When the entry was disabled, as the later form of the store has it;
// harmless to readers of the older one.
void WriteDisabledDate(RegKey& key) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    key.WriteNumber(L"YEAR", now.wYear);
    key.WriteNumber(L"MONTH", now.wMonth);
    key.WriteNumber(L"DAY", now.wDay);
    key.WriteNumber(L"HOUR", now.wHour);
    key.WriteNumber(L"MINUTE", now.wMinute);
    key.WriteNumber(L"SECOND", now.wSecond);
}

// Writes a store subkey in full, in the store's view, with the date. A
// subkey this call created is removed again when a write fails, so no
// half entry is left; the error goes on.
template <typename WriteValues>
Written WriteStoreSubkey(StoreKind store, const std::wstring& path, WriteValues writeValues) {
    const HKEY root = KeysOf(store).root;
    const bool existed = RegKey::Exists(root, path, ViewOf(store));
    std::optional<RegKey> key;
    {
        OpenedKey created = RegKey::Create(root, path, ViewOf(store));
        if (created.Refused()) return Written::Refused;
        key = std::move(created).Take();
    }
    if (!key) return Written::No;
    try {
        writeValues(*key);
        WriteDisabledDate(*key);
        if (existed) {
            const std::optional<RegValue> count = key->Query(kDisabledCount);
            const int before = count ? StrToIntDef(count->Text(), 1) : 1;
            key->WriteString(kDisabledCount, std::to_wstring(before + 1));
        }
    } catch (...) {
        key.reset();
        if (!existed) RegKey::DeleteTree(root, path, ViewOf(store));
        throw;
    }
    return existed ? Written::Reused : Written::Created;
}

void WriteOwnValue(RegKey& key, const wchar_t* name, const std::wstring& text) {
    // An empty text is the same as none: no value where there is nothing to keep.
    if (!text.empty())
        key.WriteString(name, text);
    else if (key.HasValue(name))
        key.DeleteValue(name);
}

// --- shortcuts -----------------------------------------------------------------

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

// The backup folders a store's entries may name: the shared store's is
// WindowsDir\pss, or Keepboot's own where pss is not there.
std::vector<std::wstring> BackupFoldersOf(StoreKind store, const StartupFolders& folders) {
    if (store == StoreKind::User) return {folders.userBackup};
    return {folders.BackupFolder(), folders.machineBackup};
}

// The folder a new backup copy goes into: pss where it exists (this
// program never makes it), else the store's folder of Keepboot's own,
// made now. Empty when there is none.
std::wstring BackupFolderFor(StoreKind store, const StartupFolders& folders) {
    if (store == StoreKind::Shared && DirectoryExists(folders.BackupFolder()))
        return folders.BackupFolder();
    const std::wstring& own = store == StoreKind::Shared ? folders.machineBackup : folders.userBackup;
    if (own.empty() || !MakeFolder(own)) return {};
    // Never one that leads elsewhere (a link another user left in its place).
    return AttributesOf(own) & FILE_ATTRIBUTE_REPARSE_POINT ? std::wstring() : own;
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

// A backup file name for the file in the backup folder: its name +
// location (Foo.lnkStartup), or "Foo (n).lnk" + location when that holds
// another file.
std::wstring ChooseBackup(const std::wstring& backupFolder, const ShortcutEntry& entry,
                          const std::wstring& file) {
    const std::wstring extension = entry.fileName.substr(entry.name.size());
    for (unsigned long n = 1;; ++n) {
        const std::wstring name =
            n == 1 ? entry.name : entry.name + L" (" + std::to_wstring(n) + L")";
        const std::wstring backup = backupFolder + L"\\" + name + extension + entry.location;
        if (!FileExists(backup) || SameContents(backup, file)) return backup;
    }
}

bool IsShortcutFile(const std::wstring& fileName) {
    const auto dot = fileName.rfind(L'.');
    return dot != std::wstring::npos && EqualIgnoringCase(fileName.substr(dot), L".lnk");
}

// Where both views of the store are one key (a key the system shares
// between them), each entry is read twice: listed once.
template <typename Entry>
bool SeenInAnotherView(const std::vector<Entry>& listed, Entry entry) {
    for (const Entry& other : listed) {
        entry.storeView = other.storeView;
        if (other == entry) return true;
    }
    return false;
}

}  // namespace

std::wstring QuoteCommandLine(const std::wstring& command) {
    if (!command.empty() && command.front() != L'"' && command.find(L' ') != std::wstring::npos)
        return L"\"" + command + L"\"";
    return command;
}

bool IsPlainItem(const std::wstring& item) {
    return item.find_first_of(L"\\/:") == std::wstring::npos && item != L"." && item != L"..";
}

namespace {

// Writes the value's store entry into one store and then removes the live
// value. None when that store refuses this process writing.
std::optional<MoveResult> StoreRunValue(StoreKind store, const RunValueEntry& entry,
                                        RegKey& live) {
    StoredRunEntry stored;
    stored.item = entry.name;
    stored.command = entry.command;
    stored.hkey = entry.place.rootName;
    stored.key = entry.place.keyPath;
    stored.expandable = entry.type == REG_EXPAND_SZ;
    stored.raw = entry.raw;
    stored.storeView = ViewOf(store);
    stored.store = store;
    stored.subkey = ChooseSubkey(store, KeysOf(store).runKey, entry.name,
                                 [&](SubkeyReader& read, const std::wstring& name) {
                                     const StoredRunEntry there =
                                         ReadRunSubkey(read, store, name, ViewOf(store));
                                     StoredRunEntry wanted = stored;
                                     wanted.subkey = name;
                                     return (there.item.empty() && there.command.empty()) ||
                                            there == wanted;
                                 });
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // A command line is stored as it stands: wrapping it whole in quotes
    // would make its arguments part of the program's path. "item" is the
    // subkey's name, so a program finding the subkey by "item" and one
    // going by the subkey's name take the same entry; the real name, where
    // the subkey could not be it, is ours to keep.
    const std::wstring path = RunStorePath(store, stored.subkey);
    const Written written = WriteStoreSubkey(store, path, [&](RegKey& key) {
        key.WriteString(L"command", stored.command);
        key.WriteString(L"hkey", stored.hkey);
        key.WriteString(L"inimapping", L"0");
        key.WriteString(L"item", stored.subkey);
        key.WriteString(L"key", stored.key);
        key.WriteString(kOwnCommand, stored.command);
        WriteOwnValue(key, kValueType, stored.expandable ? kExpandType : L"");
        if (stored.item != stored.subkey)
            key.WriteString(kRealName, stored.item);  // also the empty name of the default value
        else if (key.HasValue(kRealName))
            key.DeleteValue(kRealName);
        if (!stored.raw.empty())
            key.WriteBytes(kRawData, REG_BINARY, stored.raw);
        else if (key.HasValue(kRawData))
            key.DeleteValue(kRawData);
    });
    if (written == Written::Refused) return std::nullopt;
    if (written == Written::No) return MoveResult::CannotMove;
    if (live.DeleteValue(entry.name)) return MoveResult::Moved;
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(KeysOf(store).root, path, ViewOf(store));
    return MoveResult::CannotMove;
}

// Whether a store entry may leave its store: its subkey opens for writing.
std::optional<MoveResult> CannotLeaveStore(StoreKind store, const std::wstring& path,
                                           REGSAM view) {
    const OpenedKey key = RegKey::OpenForWriting(KeysOf(store).root, path, view);
    if (key.Refused()) return MoveResult::NeedsAdministrator;
    if (!key) return MoveResult::CannotMove;
    return std::nullopt;
}

MoveResult FromError(LONG error) {
    return error == ERROR_SUCCESS         ? MoveResult::Moved
           : error == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator
                                          : MoveResult::CannotMove;
}

}  // namespace

MoveResult DisableRunValue(const RunValueEntry& entry) {
    // An empty command starts nothing, and the shared layout has no room for it.
    if (entry.command.empty()) return MoveResult::CannotMove;
    OpenedKey live =
        RegKey::OpenForWriting(entry.place.root, entry.place.keyPath, entry.place.view);
    if (live.Refused()) return MoveResult::NeedsAdministrator;
    if (!live) return MoveResult::CannotMove;
    // What is stored must be what is live now, not what was listed.
    const std::optional<RegValue> now = live->Query(entry.name);
    if (!now || !now->IsText() || now->Text() != entry.command ||
        (now->type == REG_EXPAND_SZ) != (entry.type == REG_EXPAND_SZ) ||
        (entry.raw.empty() ? !now->HoldsOnlyText() : now->data != entry.raw))
        return MoveResult::Changed;

    if (const auto moved = StoreRunValue(StoreKind::Shared, entry, *live)) return *moved;
    // The shared store needs administrator rights. A machine entry waits for
    // them; the user's own is the user's to disable: with Task Manager's
    // switch where Windows reads one, else in the user's store.
    if (IsMachineRoot(entry.place.root)) return MoveResult::NeedsAdministrator;
    if (!entry.place.approvedKey.empty() && TaskManagerSwitchesAvailable())
        return FromError(
            DisableInTaskManager(entry.place.root, entry.place.approvedKey, entry.name));
    return StoreRunValue(StoreKind::User, entry, *live).value_or(MoveResult::CannotMove);
}

MoveResult EnableRunValue(const StoredRunEntry& entry) {
    const HKEY root = RootFromName(entry.hkey);
    if (!root || entry.command.empty() || entry.subkey.empty()) return MoveResult::CannotMove;
    // Only ever back into a place that is guarded: a store entry naming
    // another key (the store is writable by administrators' programs) would
    // make enabling write anywhere.
    if (!IsGuardedRunKey(entry.hkey, entry.key)) return MoveResult::CannotMove;
    // The subkey it was listed from, and only while it still holds this entry.
    const std::wstring path = RunStorePath(entry.store, entry.subkey);
    if (!StillHolds(path, entry, ReadRunSubkey)) return MoveResult::Changed;
    // Nothing goes live that could not then leave the store.
    if (const auto cannot = CannotLeaveStore(entry.store, path, entry.storeView)) return *cannot;

    // A machine key goes back into the view its store was in: the 64-bit one
    // names the 32-bit keys by their WOW6432Node path; an entry this program
    // stored in the 32-bit view before named them plainly.
    const REGSAM liveView =
        root != HKEY_LOCAL_MACHINE ? 0 : entry.storeView == KEY_WOW64_32KEY ? KEY_WOW64_32KEY
                                                                            : MachineView();
    std::optional<RegKey> live;
    {
        OpenedKey created = RegKey::Create(root, entry.key, liveView);
        if (created.Refused()) return MoveResult::NeedsAdministrator;  // stays stored
        live = std::move(created).Take();
    }
    if (!live) return MoveResult::CannotMove;  // stays stored
    const DWORD type = entry.expandable ? REG_EXPAND_SZ : REG_SZ;
    if (const std::optional<RegValue> now = live->Query(entry.item)) {
        // Another entry of that name went live meanwhile: keep both. The same
        // one: only its store entry goes.
        if (!now->IsText() || now->Text() != entry.command ||
            (!entry.raw.empty() && now->data != entry.raw))
            return MoveResult::CannotMove;
    } else if (!entry.raw.empty()) {
        live->WriteBytes(entry.item, type, entry.raw);  // every byte, as it was
    } else {
        live->WriteString(entry.item, entry.command, type);
    }
    live.reset();
    RegKey::DeleteTree(KeysOf(entry.store).root, path, entry.storeView);
    return MoveResult::Moved;
}

namespace {

// Writes the file's store entry into one store, with a copy of its very
// bytes in that store's backup folder, then removes the file. None when
// that store refuses this process writing.
std::optional<MoveResult> StoreShortcut(StoreKind store, const ShortcutEntry& entry,
                                        const std::wstring& file, const StartupFolders& folders) {
    const DWORD attributes = AttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MoveResult::Changed;
    // Nothing is copied for a store this process may not write: a folder
    // of the machine's is made and written only by who may write the store.
    if (RegKey::Create(KeysOf(store).root, KeysOf(store).folderKey, ViewOf(store)).Refused())
        return std::nullopt;
    StoredShortcutEntry stored;
    stored.item = entry.name;
    // The form the other utility writes: a shortcut's quoted target, else
    // what it starts as shown (a file's own path).
    stored.command = entry.link && !entry.link->Target.empty() ? QuoteCommandLine(entry.link->Target)
                     : entry.command == file                   ? QuoteCommandLine(file)
                                                               : entry.command;
    stored.location = entry.location;
    stored.path = file;
    stored.fileName = entry.fileName;
    stored.attributes = attributes & kKeptAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE};
    stored.byteCopy = true;
    stored.storeView = ViewOf(store);
    stored.store = store;
    std::wstring natural = file;
    std::replace(natural.begin(), natural.end(), L'\\', L'^');
    stored.subkey = ChooseSubkey(store, KeysOf(store).folderKey, natural,
                                 [&](SubkeyReader& read, const std::wstring& name) {
                                     StoredShortcutEntry there =
                                         ReadShortcutSubkey(read, store, name, ViewOf(store));
                                     if (there.item.empty() && there.command.empty()) return true;
                                     there.backup.clear();  // a copy of the same file
                                     there.digest.clear();
                                     StoredShortcutEntry wanted = stored;
                                     wanted.subkey = name;
                                     return there == wanted;
                                 });
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // The copy of its bytes comes first: a file that cannot be kept whole
    // stays where it is. A backup that already holds the same bytes serves.
    const std::wstring backupFolder = BackupFolderFor(store, folders);
    if (backupFolder.empty()) return MoveResult::CannotMove;
    // Its bytes are taken only once its writer is done: a file still being
    // written (a shortcut being saved) is not whole yet, and its last write
    // signals the folder again. Held till it is gone, nobody changes it
    // between the copy and its removal.
    UniqueFile held = HoldAgainstWriters(file);
    if (!held)
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? MoveResult::Changed
                                                           : MoveResult::CannotMove;
    stored.backup = ChooseBackup(backupFolder, entry, file);
    bool copied = false;
    if (!FileExists(stored.backup)) {
        if (!CopyFileTo(file, stored.backup)) {
            if (::GetLastError() == ERROR_ACCESS_DENIED) return std::nullopt;
            return MoveResult::CannotMove;
        }
        copied = true;
        // The copy carries the file's attributes: kept in the store instead,
        // so the copy can always be removed.
        SetAttributesOf(stored.backup, FILE_ATTRIBUTE_NORMAL);
    }
    const auto dropCopy = [&] {
        if (copied) DeleteFileAt(stored.backup);
    };
    stored.digest = SameContents(file, stored.backup) ? DigestOf(stored.backup) : std::wstring();
    if (stored.digest.empty()) {
        dropCopy();
        return MoveResult::CannotMove;
    }

    const std::wstring path = stored.StoreKeyPath();
    Written written = Written::No;
    try {
        written = WriteStoreSubkey(store, path, [&](RegKey& key) {
            key.WriteString(L"item", stored.item);
            key.WriteString(L"command", stored.command);
            key.WriteString(L"backup", stored.backup);
            key.WriteString(L"location", stored.location);
            key.WriteString(L"path", stored.path);
            key.WriteString(kOwnCommand, stored.command);
            key.WriteString(kFileName, stored.fileName);
            key.WriteString(kDigest, stored.digest);
            WriteOwnValue(key, kAttributes,
                          stored.attributes ? std::to_wstring(stored.attributes) : L"");
        });
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
    const bool unlocked = (attributes & locked) && SetAttributesOf(file, attributes & ~locked);
    if (DeleteFileAt(file)) return MoveResult::Moved;
    const bool refused = ::GetLastError() == ERROR_ACCESS_DENIED;
    if (unlocked) SetAttributesOf(file, attributes);
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(KeysOf(store).root, path, ViewOf(store));
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
    const std::wstring& folder = folders.FolderOf(entry.location);
    // A name with a folder part would write outside the Startup folder.
    if (folder.empty() || !IsPlainItem(entry.item) || entry.fileName.empty() ||
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
        if (!CopyFileTo(backup, file) || !SameContents(backup, file)) {
            DeleteFileAt(file);
            return MoveResult::CannotMove;
        }
        if (entry.attributes) SetAttributesOf(file, entry.attributes);
    } else if (lnk && !entry.byteCopy) {
        // Rebuilt only for an entry that has nothing better: what an
        // earlier version kept of it, or the other utility's command.
        WriteShellLink(file, LinkToRestore(entry));
        // A shortcut that does not read back is none: the entry stays stored.
        if (!TryReadShellLink(file)) {
            DeleteFileAt(file);
            return MoveResult::CannotMove;
        }
    } else {
        return MoveResult::CannotMove;  // its copy is gone: nothing faithful to write
    }
    if (!backup.empty() && FileExists(backup)) DeleteFileAt(backup);
    RegKey::DeleteTree(KeysOf(entry.store).root, entry.StoreKeyPath(), entry.storeView);
    return MoveResult::Moved;
}

namespace {

MoveResult EnableForTaskManager(const RunValueEntry& entry) {
    return FromError(EnableInTaskManager(entry.place.root, entry.place.approvedKey, entry.name));
}

MoveResult EnableForTaskManager(const ShortcutEntry& entry) {
    return FromError(EnableInTaskManager(TaskManagerRootOf(entry.location), kTaskManagerFolderKey,
                                         entry.fileName));
}

}  // namespace

bool WritesMachinePlaces(const StartupEntry& entry) {
    struct Visitor {
        bool operator()(const RunValueEntry& e) const { return IsMachineRoot(e.place.root); }
        bool operator()(const ShortcutEntry& e) const {
            return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
        }
        bool operator()(const StoredRunEntry& e) const { return e.store == StoreKind::Shared; }
        bool operator()(const StoredShortcutEntry& e) const { return e.store == StoreKind::Shared; }
    };
    return std::visit(Visitor{}, entry);
}

MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders) {
    // A live entry Task Manager disabled is listed as disabled: moving it
    // enables it there.
    struct Visitor {
        const StartupFolders& folders;
        MoveResult operator()(const RunValueEntry& e) const {
            return e.disabledByTaskManager ? EnableForTaskManager(e) : DisableRunValue(e);
        }
        MoveResult operator()(const ShortcutEntry& e) const {
            return e.disabledByTaskManager ? EnableForTaskManager(e) : DisableShortcut(e, folders);
        }
        MoveResult operator()(const StoredRunEntry& e) const { return EnableRunValue(e); }
        MoveResult operator()(const StoredShortcutEntry& e) const {
            return EnableShortcut(e, folders);
        }
    };
    return std::visit(Visitor{folders}, entry);
}

StoredEntries ReadStoredEntries(std::vector<SkippedValue>& skipped) {
    StoredEntries stored;
    // The shared store's view, and on 64-bit Windows also the 32-bit one,
    // where this program kept its entries before it knew of views; then the
    // user's own store.
    std::vector<std::pair<StoreKind, REGSAM>> stores{{StoreKind::Shared, MachineView()}};
    if (MachineView() == KEY_WOW64_64KEY) stores.emplace_back(StoreKind::Shared, KEY_WOW64_32KEY);
    stores.emplace_back(StoreKind::User, 0);
    // Calls read(reader, store, subkey, view) for each subkey of a store key
    // that opens; a subkey with a shared value that is not text is noted
    // instead. Reading asks for no more than read rights.
    const auto forEachSubkey = [&](bool runKeys, const auto& read) {
        for (const auto& [kind, view] : stores) {
            const StoreKeys keys = KeysOf(kind);
            const wchar_t* storeKey = runKeys ? keys.runKey : keys.folderKey;
            const std::wstring rootName = kind == StoreKind::Shared ? L"HKLM\\" : L"HKCU\\";
            const OpenedKey store = RegKey::OpenForReading(keys.root, storeKey, view);
            if (!store) {
                if (store.Refused())
                    skipped.push_back(SkippedValue::Unreadable(rootName + storeKey, L"access is denied"));
                continue;
            }
            for (const std::wstring& subkey : store->SubkeyNames()) {
                const OpenedKey key = RegKey::OpenForReading(store->get(), subkey, view);
                if (!key) continue;
                SubkeyReader reader(*key);
                read(reader, kind, subkey, view);
                if (reader.NotText())
                    skipped.push_back(
                        SkippedValue::NotText(rootName + storeKey + L"\\" + subkey, reader.NotText()));
            }
        }
    };
    // An entry written here may have an empty item (a key's unnamed value,
    // a shortcut named ".lnk"); one of the other utility needs its item.
    forEachSubkey(true, [&](SubkeyReader& read, StoreKind kind, const std::wstring& subkey,
                            REGSAM view) {
        StoredRunEntry e = ReadRunSubkey(read, kind, subkey, view);
        if (read.NotText() || e.command.empty() || e.key.empty() || e.hkey.empty()) return;
        if (e.item.empty() && !read.Ours(e.command)) return;
        // The user's store is writable by every program of the user: it is
        // only ever given back to the user's own keys.
        if (kind == StoreKind::User && RootFromName(e.hkey) != HKEY_CURRENT_USER) return;
        if (!SeenInAnotherView(stored.values, e)) stored.values.push_back(std::move(e));
    });
    forEachSubkey(false, [&](SubkeyReader& read, StoreKind kind, const std::wstring& subkey,
                             REGSAM view) {
        StoredShortcutEntry e = ReadShortcutSubkey(read, kind, subkey, view);
        if (read.NotText() || e.command.empty()) return;
        if (e.item.empty() && !read.Ours(e.command)) return;
        if (kind == StoreKind::User && TaskManagerRootOf(e.location) != HKEY_CURRENT_USER) return;
        if (!SeenInAnotherView(stored.shortcuts, e)) stored.shortcuts.push_back(std::move(e));
    });
    return stored;
}

}  // namespace kb
