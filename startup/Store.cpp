#include "startup/Store.h"

#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IntText.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
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

// A key name may have 255 characters; room is kept for " (100)".
constexpr std::size_t kMaxSubkeyBase = 240;
constexpr int kMaxNameTries = 100;

HKEY RootFromName(const std::wstring& name) {
    if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (name == L"HKCU") return HKEY_CURRENT_USER;
    return nullptr;
}

std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

// A stored shortcut target may carry the quotes the store puts round paths
// with blanks; the shell wants the bare path.
std::wstring Unquoted(const std::wstring& command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        return command.substr(1, command.size() - 2);
    return command;
}

std::wstring RunStorePath(const std::wstring& subkey) {
    return std::wstring(kStartupRegStore) + L"\\" + subkey;
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
    // Whether our own values were written for this command.
    bool Ours(const std::wstring& command) const { return Own(kOwnCommand) == command; }
    const wchar_t* NotText() const noexcept { return notText_; }

private:
    const RegKey& key_;
    const wchar_t* notText_ = nullptr;
};

StoredRunEntry ReadRunSubkey(SubkeyReader& read, const std::wstring& subkey, REGSAM view) {
    StoredRunEntry e;
    e.subkey = subkey;
    e.storeView = view;
    e.item = read.Shared(L"item");
    e.command = read.Shared(L"command");
    e.key = read.Shared(L"key");
    e.hkey = read.Shared(L"hkey");
    // Entries stored before the marker was tied to its command keep it too.
    const std::optional<std::wstring> own = read.Own(kOwnCommand);
    e.expandable = read.Own(kValueType) == kExpandType && (!own || *own == e.command);
    return e;
}

StoredShortcutEntry ReadShortcutSubkey(SubkeyReader& read, const std::wstring& subkey,
                                       REGSAM view) {
    StoredShortcutEntry e;
    e.subkey = subkey;
    e.storeView = view;
    e.item = read.Shared(L"item");
    e.command = read.Shared(L"command");
    e.location = read.Shared(L"location");
    e.backup = read.Shared(L"backup");
    e.path = read.Shared(L"path");
    e.backupExtension = read.Own(L"backupExtension").value_or(L"");
    if (read.Ours(e.command)) {
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
    const std::optional<RegKey> key =
        RegKey::OpenForReading(HKEY_LOCAL_MACHINE, path, entry.storeView);
    if (!key) return false;
    SubkeyReader reader(*key);
    return read(reader, entry.subkey, entry.storeView) == entry;
}

// --- writing a subkey --------------------------------------------------------

// The subkey of a store key for a new entry: its natural name when that is
// free, holds this very entry already (a pass run again) or holds no entry
// (left half-made); otherwise the first such "name (n)". A name that can
// be no key name is made one: "\" becomes "^", empty becomes "(Default)",
// too long is cut. Empty when none of the tries will do.
template <typename HoldsThisOrNone>
std::wstring ChooseSubkey(const std::wstring& storeKey, const std::wstring& natural,
                          HoldsThisOrNone holdsThisOrNone) {
    std::wstring base = natural.empty() ? L"(Default)" : natural;
    std::replace(base.begin(), base.end(), L'\\', L'^');
    if (base.size() > kMaxSubkeyBase) base.resize(kMaxSubkeyBase);
    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::wstring name = n == 1 ? base : base + L" (" + std::to_wstring(n) + L")";
        const std::optional<RegKey> existing =
            RegKey::OpenForReading(HKEY_LOCAL_MACHINE, storeKey + L"\\" + name, MachineView());
        if (!existing) return name;
        SubkeyReader reader(*existing);
        if (holdsThisOrNone(reader, name)) return name;
    }
    return {};
}

enum class Written { No, Created, Reused };

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
Written WriteStoreSubkey(const std::wstring& path, WriteValues writeValues) {
    const bool existed = RegKey::Exists(HKEY_LOCAL_MACHINE, path, MachineView());
    std::optional<RegKey> key = RegKey::Create(HKEY_LOCAL_MACHINE, path, MachineView());
    if (!key) return Written::No;
    try {
        writeValues(*key);
        WriteDisabledDate(*key);
    } catch (...) {
        key.reset();
        if (!existed) RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path, MachineView());
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

// The stored backup path when, on canonical full paths, it names a file
// directly inside the backup folder; empty otherwise.
std::wstring BackupInside(const std::wstring& backup, const StartupFolders& folders) {
    const std::wstring pss = folders.BackupFolder();
    if (pss.empty() || backup.empty()) return {};
    const std::wstring full = FullPath(backup), folder = FullPath(pss);
    const auto slash = full.rfind(L'\\');
    if (folder.empty() || slash == std::wstring::npos || slash + 1 == full.size()) return {};
    return EqualIgnoringCase(full.substr(0, slash), folder) ? full : std::wstring();
}

// The entry's backup copy inside the backup folder: the stored "backup"
// file, or, in the later form, item.lnk + the stored "backupExtension".
std::wstring BackupOf(const StoredShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring named = BackupInside(entry.backup, folders);
    if (!named.empty() && FileExists(named)) return named;
    if (!entry.backupExtension.empty()) {
        const std::wstring later = BackupInside(
            folders.BackupFolder() + L"\\" + entry.item + L".lnk" + entry.backupExtension, folders);
        if (!later.empty() && FileExists(later)) return later;
    }
    return named;
}

// A backup file name for the shortcut in the backup folder: item.lnk +
// location, or "item (n).lnk" + location when that holds another file.
// Empty when none of the tries will do.
std::wstring ChooseBackup(const std::wstring& pss, const ShortcutEntry& entry,
                          const std::wstring& shortcut) {
    for (int n = 1; n <= kMaxNameTries; ++n) {
        const std::wstring name =
            n == 1 ? entry.name : entry.name + L" (" + std::to_wstring(n) + L")";
        const std::wstring backup = pss + L"\\" + name + L".lnk" + entry.location;
        if (!FileExists(backup) || SameContents(backup, shortcut)) return backup;
    }
    return {};
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

MoveResult DisableRunValue(const RunValueEntry& entry) {
    // An empty command starts nothing, and the shared layout has no room for it.
    if (entry.command.empty()) return MoveResult::CannotMove;
    std::optional<RegKey> live = RegKey::Open(entry.place.root, entry.place.keyPath, entry.place.view);
    if (!live) return MoveResult::CannotMove;
    // What is stored must be what is live now, not what was listed.
    const std::optional<RegValue> now = live->Query(entry.name);
    if (!now || !now->IsText() || now->Text() != entry.command ||
        (now->type == REG_EXPAND_SZ) != (entry.type == REG_EXPAND_SZ))
        return MoveResult::Changed;

    StoredRunEntry stored{{}, entry.name, entry.command, entry.place.rootName,
                          entry.place.keyPath, entry.type == REG_EXPAND_SZ, MachineView()};
    stored.subkey = ChooseSubkey(kStartupRegStore, entry.name,
                                 [&](SubkeyReader& read, const std::wstring& name) {
                                     const StoredRunEntry there =
                                         ReadRunSubkey(read, name, MachineView());
                                     StoredRunEntry wanted = stored;
                                     wanted.subkey = name;
                                     return (there.item.empty() && there.command.empty()) ||
                                            there == wanted;
                                 });
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // A command line is stored as it stands: wrapping it whole in quotes
    // would make its arguments part of the program's path.
    const std::wstring path = RunStorePath(stored.subkey);
    const Written written = WriteStoreSubkey(path, [&](RegKey& key) {
        key.WriteString(L"command", stored.command);
        key.WriteString(L"hkey", stored.hkey);
        key.WriteString(L"inimapping", L"0");
        key.WriteString(L"item", stored.item);
        key.WriteString(L"key", stored.key);
        key.WriteString(kOwnCommand, stored.command);
        WriteOwnValue(key, kValueType, stored.expandable ? kExpandType : L"");
    });
    if (written == Written::No) return MoveResult::CannotMove;
    if (live->DeleteValue(entry.name)) return MoveResult::Moved;
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path, MachineView());
    return MoveResult::CannotMove;
}

MoveResult EnableRunValue(const StoredRunEntry& entry) {
    const HKEY root = RootFromName(AsciiUpper(entry.hkey));
    if (!root || entry.command.empty() || entry.subkey.empty()) return MoveResult::CannotMove;
    // The subkey it was listed from, and only while it still holds this entry.
    const std::wstring path = RunStorePath(entry.subkey);
    if (!StillHolds(path, entry, ReadRunSubkey)) return MoveResult::Changed;

    // A machine key goes back into the view its store was in: the 64-bit one
    // names the 32-bit keys by their WOW6432Node path; an entry this program
    // stored in the 32-bit view before named them plainly.
    const REGSAM liveView =
        root != HKEY_LOCAL_MACHINE ? 0 : entry.storeView == KEY_WOW64_32KEY ? KEY_WOW64_32KEY
                                                                            : MachineView();
    std::optional<RegKey> live = RegKey::Create(root, entry.key, liveView);
    if (!live) return MoveResult::CannotMove;  // stays stored
    if (const std::optional<RegValue> now = live->Query(entry.item)) {
        // Another entry of that name went live meanwhile: keep both. The same
        // one: only its store entry goes.
        if (!now->IsText() || now->Text() != entry.command) return MoveResult::CannotMove;
    } else {
        live->WriteString(entry.item, entry.command, entry.expandable ? REG_EXPAND_SZ : REG_SZ);
    }
    live.reset();
    RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path, entry.storeView);
    return MoveResult::Moved;
}

MoveResult DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    // A shortcut that could not be read could never be given back.
    if (folder.empty() || !IsPlainItem(entry.name) || !entry.link || entry.link->Target.empty())
        return MoveResult::CannotMove;
    const std::wstring shortcut = folder + L"\\" + entry.name + L".lnk";
    // What is stored must be what is there now, not what was listed.
    if (TryReadShellLink(shortcut) != entry.link) return MoveResult::Changed;

    StoredShortcutEntry stored;
    stored.item = entry.name;
    stored.command = QuoteCommandLine(entry.link->Target);
    stored.location = entry.location;
    stored.path = shortcut;
    stored.saved = *entry.link;
    stored.storeView = MachineView();
    std::wstring natural = shortcut;
    std::replace(natural.begin(), natural.end(), L'\\', L'^');
    stored.subkey = ChooseSubkey(kStartupFolderStore, natural,
                                 [&](SubkeyReader& read, const std::wstring& name) {
                                     StoredShortcutEntry there =
                                         ReadShortcutSubkey(read, name, MachineView());
                                     if (there.item.empty() && there.command.empty()) return true;
                                     there.backup.clear();  // a copy of the same shortcut
                                     StoredShortcutEntry wanted = stored;
                                     wanted.subkey = name;
                                     return there == wanted;
                                 });
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // The backup copy, where the backup folder exists; this program never
    // makes it. A copy that fails is no backup.
    bool copied = false;
    const std::wstring pss = folders.BackupFolder();
    if (!pss.empty() && DirectoryExists(pss)) {
        stored.backup = ChooseBackup(pss, entry, shortcut);
        if (!stored.backup.empty() && !FileExists(stored.backup)) {
            copied = CopyFileTo(shortcut, stored.backup);
            if (!copied) stored.backup.clear();
        }
    }
    const auto dropCopy = [&] {
        if (copied) DeleteFileAt(stored.backup);
    };

    const std::wstring path = stored.StoreKeyPath();
    Written written = Written::No;
    try {
        written = WriteStoreSubkey(path, [&](RegKey& key) {
            key.WriteString(L"item", stored.item);
            key.WriteString(L"command", stored.command);
            key.WriteString(L"backup", stored.backup);
            key.WriteString(L"location", stored.location);
            key.WriteString(L"path", stored.path);
            const ShellLinkData& link = *stored.saved;
            key.WriteString(kOwnCommand, stored.command);
            WriteOwnValue(key, kArguments, link.Arguments);
            WriteOwnValue(key, kWorkingDirectory, link.WorkingDirectory);
            WriteOwnValue(key, kIconLocation, link.IconLocation);
            WriteOwnValue(key, kIconIndex, link.IconIndex ? std::to_wstring(link.IconIndex) : L"");
            WriteOwnValue(key, kShowCommand, link.ShowCmd ? std::to_wstring(link.ShowCmd) : L"");
            WriteOwnValue(key, kHotKey, link.HotKey ? std::to_wstring(link.HotKey) : L"");
            WriteOwnValue(key, kDescription, link.Description);
        });
    } catch (...) {
        dropCopy();
        throw;
    }
    if (written == Written::No) {
        dropCopy();
        return MoveResult::CannotMove;
    }
    if (DeleteFileAt(shortcut)) return MoveResult::Moved;
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path, MachineView());
    dropCopy();
    return MoveResult::CannotMove;
}

MoveResult EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    // An item with a folder part would write outside the Startup folder.
    if (folder.empty() || !IsPlainItem(entry.item) || entry.command.empty() ||
        entry.subkey.empty())
        return MoveResult::CannotMove;
    if (!StillHolds(entry.StoreKeyPath(), entry, ReadShortcutSubkey)) return MoveResult::Changed;

    const std::wstring shortcut = folder + L"\\" + entry.item + L".lnk";
    const std::wstring backup = BackupOf(entry, folders);
    if (FileExists(shortcut) || DirectoryExists(shortcut)) {
        // The same shortcut already back: only its store entry goes. Another
        // one of its name: both are kept.
        if (!IsShortcutOf(shortcut, entry)) return MoveResult::CannotMove;
    } else {
        // The backup copy is the whole shortcut, where it still is this one;
        // otherwise what the store kept of it.
        if (!backup.empty() && IsShortcutOf(backup, entry)) CopyFileTo(backup, shortcut);
        if (!FileExists(shortcut))
            WriteShellLink(shortcut, entry.saved ? *entry.saved : RebuiltFromCommand(entry.command));
        // A shortcut that does not read back is none: the entry stays stored.
        if (!TryReadShellLink(shortcut)) {
            DeleteFileAt(shortcut);
            return MoveResult::CannotMove;
        }
    }
    if (!backup.empty() && FileExists(backup)) DeleteFileAt(backup);
    RegKey::DeleteTree(HKEY_LOCAL_MACHINE, entry.StoreKeyPath(), entry.storeView);
    return MoveResult::Moved;
}

MoveResult EnableForTaskManager(const RunValueEntry& entry) {
    return EnableInTaskManager(entry.place.root, entry.place.approvedKey, entry.name)
               ? MoveResult::Moved
               : MoveResult::CannotMove;
}

MoveResult EnableForTaskManager(const ShortcutEntry& entry) {
    const std::wstring fileName = entry.path.substr(entry.path.rfind(L'\\') + 1);
    return EnableInTaskManager(TaskManagerRootOf(entry.location), kTaskManagerFolderKey, fileName)
               ? MoveResult::Moved
               : MoveResult::CannotMove;
}

MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders) {
    // A live entry Task Manager disabled is listed as disabled: moving it
    // enables it there. Disabling here always uses the shared store.
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
    // The store's view, and on 64-bit Windows also the 32-bit one, where
    // this program kept its entries before it knew of views.
    std::vector<REGSAM> views{MachineView()};
    if (MachineView() == KEY_WOW64_64KEY) views.push_back(KEY_WOW64_32KEY);
    // Calls read(reader, subkey, view) for each subkey of a store key that
    // opens; a subkey with a shared value that is not text is noted instead.
    const auto forEachSubkey = [&](const wchar_t* storeKey, const auto& read) {
        for (const REGSAM view : views) {
            const std::optional<RegKey> store = RegKey::Open(HKEY_LOCAL_MACHINE, storeKey, view);
            if (!store) continue;
            for (const std::wstring& subkey : store->SubkeyNames()) {
                const std::optional<RegKey> key = RegKey::Open(store->get(), subkey, view);
                if (!key) continue;
                SubkeyReader reader(*key);
                read(reader, subkey, view);
                if (reader.NotText())
                    skipped.push_back({L"HKLM\\" + std::wstring(storeKey) + L"\\" + subkey,
                                       reader.NotText()});
            }
        }
    };
    // An entry written here may have an empty item (a key's unnamed value,
    // a shortcut named ".lnk"); one of the other utility needs its item.
    forEachSubkey(kStartupRegStore, [&](SubkeyReader& read, const std::wstring& subkey,
                                        REGSAM view) {
        StoredRunEntry e = ReadRunSubkey(read, subkey, view);
        if (read.NotText() || e.command.empty() || e.key.empty() || e.hkey.empty()) return;
        if (e.item.empty() && !read.Ours(e.command)) return;
        if (!SeenInAnotherView(stored.values, e)) stored.values.push_back(std::move(e));
    });
    forEachSubkey(kStartupFolderStore, [&](SubkeyReader& read, const std::wstring& subkey,
                                           REGSAM view) {
        StoredShortcutEntry e = ReadShortcutSubkey(read, subkey, view);
        if (read.NotText() || e.command.empty()) return;
        if (e.item.empty() && !read.Ours(e.command)) return;
        if (!SeenInAnotherView(stored.shortcuts, e)) stored.shortcuts.push_back(std::move(e));
    });
    return stored;
}

}  // namespace kb
