// The store's layout: reading its subkeys, and what every room writes.
#include "store/StoreLayout.h"
#include "store/StoreReading.h"

#include "platform/Error.h"
#include "platform/TextCompare.h"
#include "places/TaskManager.h"

namespace kb {

namespace store {

HKEY RootFromName(const std::wstring& name) {
    if (EqualIgnoringCase(name, L"HKLM")) return HKEY_LOCAL_MACHINE;
    if (EqualIgnoringCase(name, L"HKCU")) return HKEY_CURRENT_USER;
    return nullptr;
}

std::wstring Unquoted(const std::wstring& command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        return command.substr(1, command.size() - 2);
    return command;
}

std::wstring RunStorePath(StoreKind store, const std::wstring& subkey) {
    return std::wstring(KeysOf(store).runKey) + L"\\" + subkey;
}

REGSAM ViewOf(StoreKind store) {
    return store == StoreKind::Shared ? MachineView() : 0;
}

bool IsMachineRoot(HKEY root) {
    return root == HKEY_LOCAL_MACHINE;
}

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
        e.user = read.Own(kUser).value_or(L"");
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
    if (ours) {
        e.user = read.Own(kUser).value_or(L"");
        e.locationName = read.Own(kLocationName).value_or(L"");
    }
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

void WriteOwnValue(RegKey& key, const wchar_t* name, const std::wstring& text) {
    // An empty text is the same as none: no value where there is nothing to keep.
    if (!text.empty())
        key.WriteString(name, text);
    else if (key.HasValue(name))
        key.DeleteValue(name);
}


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

}  // namespace store

namespace {

using namespace store;

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
                    skipped.push_back(SkippedValue::Unreadable(rootName + storeKey, WhyUnreadable::Denied));
                continue;
            }
            // A store key that cannot be listed to its end is said, and the
            // rest is read: it must not keep every place from being guarded.
            std::vector<std::wstring> subkeys;
            try {
                subkeys = store->SubkeyNames();
            } catch (const Error&) {
                skipped.push_back(SkippedValue::Unreadable(rootName + storeKey, WhyUnreadable::EntriesUnlisted));
                continue;
            }
            for (const std::wstring& subkey : subkeys) {
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
        const std::wstring& location = e.locationName.empty() ? e.location : e.locationName;
        if (kind == StoreKind::User && TaskManagerRootOf(location) != HKEY_CURRENT_USER) return;
        if (!SeenInAnotherView(stored.shortcuts, e)) stored.shortcuts.push_back(std::move(e));
    });
    return stored;
}

}  // namespace kb
