#include "startup/Store.h"

#include <windows.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "startup/Inventory.h"

namespace kb {

namespace {

// Written beside the other utility's values, which it leaves alone: the
// live value was an expandable string and must come back as one.
constexpr wchar_t kValueTypeName[] = L"KeepbootValueType";
constexpr wchar_t kExpandType[] = L"REG_EXPAND_SZ";

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

// A name that makes exactly one subkey name: not empty, no "\".
bool FitsOneSubkey(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos;
}

// A stored shortcut target may carry the quotes the store puts round paths
// with blanks; the shell wants the bare path.
std::wstring Unquoted(const std::wstring& command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        return command.substr(1, command.size() - 2);
    return command;
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(),
                            static_cast<int>(prefix.size()), prefix.c_str(),
                            static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

// Writes a store subkey in full. A subkey that this call created is removed
// again when a write fails, so no half entry is left; the error goes on.
template <typename WriteValues>
bool WriteStoreSubkey(const std::wstring& path, WriteValues writeValues) {
    const bool existed = RegKey::Exists(HKEY_LOCAL_MACHINE, path);
    std::optional<RegKey> key = RegKey::Create(HKEY_LOCAL_MACHINE, path);
    if (!key) return false;
    try {
        writeValues(*key);
    } catch (...) {
        key.reset();
        if (!existed) RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path);
        throw;
    }
    return true;
}

}  // namespace

std::wstring QuoteCommandLine(const std::wstring& command) {
    if (!command.empty() && command.front() != L'"' && command.find(L' ') != std::wstring::npos)
        return L"\"" + command + L"\"";
    return command;
}

bool DisableRunValue(const RunValueEntry& entry) {
    const std::wstring& name = entry.name;
    // Entries the store could not hold, or could not give back, stay live.
    if (!FitsOneSubkey(name) || entry.command.empty()) return false;

    std::optional<RegKey> live = RegKey::Open(entry.place.root, entry.place.keyPath);
    if (!live) return false;
    // What is stored must be what is live now, not what was listed.
    const std::optional<RegValue> now = live->Query(name);
    if (!now || !now->IsText() || now->Text() != entry.command) return false;
    const bool expandable = now->type == REG_EXPAND_SZ;

    // One subkey per name: never replace another entry stored under it.
    const std::wstring storePath = std::wstring(kStartupRegStore) + L"\\" + name;
    if (const std::optional<RegKey> stored = RegKey::Open(HKEY_LOCAL_MACHINE, storePath)) {
        const std::wstring storedItem = stored->ReadString(L"item");
        const std::wstring storedCommand = stored->ReadString(L"command");
        const bool same = storedCommand == entry.command &&
                          stored->ReadString(L"hkey") == entry.place.rootName &&
                          stored->ReadString(L"key") == entry.place.keyPath;
        if (!same && !(storedItem.empty() && storedCommand.empty())) return false;
    }

    // A command line is stored as it stands: wrapping it whole in quotes
    // would make its arguments part of the program's path.
    const bool written = WriteStoreSubkey(storePath, [&](RegKey& key) {
        key.WriteString(L"command", entry.command);
        key.WriteString(L"hkey", entry.place.rootName);
        key.WriteString(L"inimapping", L"0");
        key.WriteString(L"item", name);
        key.WriteString(L"key", entry.place.keyPath);
        if (expandable)
            key.WriteString(kValueTypeName, kExpandType);
        else if (key.HasValue(kValueTypeName))
            key.DeleteValue(kValueTypeName);
    });
    return written && live->DeleteValue(name);
}

bool EnableRunValue(const StoredRunEntry& entry) {
    const HKEY root = RootFromName(AsciiUpper(entry.hkey));
    if (!root || entry.command.empty()) return false;
    // The subkey it was listed from, and only while it still holds this entry.
    const std::wstring storePath = std::wstring(kStartupRegStore) + L"\\" + entry.subkey;
    bool expandable = false;
    {
        const std::optional<RegKey> stored = RegKey::Open(HKEY_LOCAL_MACHINE, storePath);
        if (!stored || stored->ReadString(L"item") != entry.item ||
            stored->ReadString(L"command") != entry.command)
            return false;
        expandable = stored->ReadString(kValueTypeName) == kExpandType;
    }

    std::optional<RegKey> live = RegKey::Create(root, entry.key);
    if (!live) return false;  // stays stored
    if (live->HasValue(entry.item)) {
        // Another entry of that name went live meanwhile: keep both.
        if (live->ReadString(entry.item) != entry.command) return false;
    } else {
        live->WriteString(entry.item, entry.command, expandable ? REG_EXPAND_SZ : REG_SZ);
    }
    live.reset();
    RegKey::DeleteTree(HKEY_LOCAL_MACHINE, storePath);
    return true;
}

bool DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    if (folder.empty() || entry.name.empty()) return false;
    const std::wstring shortcut = folder + L"\\" + entry.name + L".lnk";
    // A shortcut whose target is unknown could never be rebuilt: keep it.
    // And what is stored must be what is there now, not what was listed.
    const std::wstring target = entry.Target();
    if (target.empty() || !FileExists(shortcut) ||
        ReadShortcut(entry.location, folder, entry.name + L".lnk").Target() != target)
        return false;

    std::wstring subkey = shortcut;
    for (wchar_t& c : subkey)
        if (c == L'\\') c = L'^';
    const std::wstring storePath = std::wstring(kStartupFolderStore) + L"\\" + subkey;
    const std::wstring stored = QuoteCommandLine(target);

    if (const std::optional<RegKey> existing = RegKey::Open(HKEY_LOCAL_MACHINE, storePath)) {
        const std::wstring storedCommand = existing->ReadString(L"command");
        if (!storedCommand.empty() && storedCommand != stored) return false;
    }

    std::wstring backup;
    bool copied = false;
    const std::wstring pss = folders.BackupFolder();
    if (!pss.empty() && DirectoryExists(pss)) {
        backup = pss + L"\\" + entry.name + L".lnk" + entry.location;
        if (!FileExists(backup)) copied = CopyFileTo(shortcut, backup);
    }

    bool written = false;
    try {
        written = WriteStoreSubkey(storePath, [&](RegKey& key) {
            key.WriteString(L"item", entry.name);
            key.WriteString(L"command", stored);
            key.WriteString(L"backup", backup);
            key.WriteString(L"location", entry.location);
            key.WriteString(L"path", shortcut);
        });
    } catch (...) {
        if (copied) DeleteFileAt(backup);
        throw;
    }
    if (!written) {
        if (copied) DeleteFileAt(backup);
        return false;
    }
    return DeleteFileAt(shortcut);
}

bool EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    if (folder.empty() || entry.command.empty()) return false;
    const std::wstring shortcut = folder + L"\\" + entry.item + L".lnk";

    // The working directory is the target's folder, as the shell would give.
    if (!FileExists(shortcut)) CreateShellLink(shortcut, Unquoted(entry.command), L"");
    if (!FileExists(shortcut)) return false;  // not rebuilt: it stays stored, backup and all

    // The backup copy is deleted only inside the backup folder, whatever the
    // stored value names.
    const std::wstring pss = folders.BackupFolder() + L"\\";
    const std::wstring& backup = entry.backup;
    if (pss.size() > 1 && StartsWithIgnoringCase(backup, pss) &&
        backup.find(L'\\', pss.size()) == std::wstring::npos && FileExists(backup))
        DeleteFileAt(backup);

    if (!entry.subkey.empty() && RegKey::Exists(HKEY_LOCAL_MACHINE, entry.StoreKeyPath()))
        RegKey::DeleteTree(HKEY_LOCAL_MACHINE, entry.StoreKeyPath());
    return true;
}

bool MoveEntry(const StartupEntry& entry, const StartupFolders& folders) {
    struct Visitor {
        const StartupFolders& folders;
        bool operator()(const RunValueEntry& e) const { return DisableRunValue(e); }
        bool operator()(const ShortcutEntry& e) const { return DisableShortcut(e, folders); }
        bool operator()(const StoredRunEntry& e) const { return EnableRunValue(e); }
        bool operator()(const StoredShortcutEntry& e) const { return EnableShortcut(e, folders); }
    };
    return std::visit(Visitor{folders}, entry);
}

}  // namespace kb
