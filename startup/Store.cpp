// The disabled-entry store, in the layout the System Configuration utility
// shares: registry entries under startupreg, shortcuts under startupfolder
// with a backup copy in WindowsDir\pss.
//
// No entry is ever lost: an entry leaves its live place only after its
// store subkey has been written in full, and leaves the store only after
// its live value or shortcut is in place. An entry that could not be
// restored from the store, or whose store subkey already holds another
// entry, is not moved at all.
#include <windows.h>

#include "app/DisableForm.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "startup/StartupPlaces.h"

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

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
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
bool WriteStoreSubkey(Registry& reg, const std::wstring& path, WriteValues writeValues) {
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    const bool existed = reg.KeyExists(path);
    if (!reg.OpenKey(path, true)) return false;
    try {
        writeValues();
    } catch (...) {
        reg.CloseKey();
        if (!existed) reg.DeleteKey(path);
        throw;
    }
    reg.CloseKey();
    return true;
}

}  // namespace

std::wstring TDisableForm::QuoteCommandLine(const std::wstring& command) {
    if (!command.empty() && command.front() != L'"' && command.find(L' ') != std::wstring::npos)
        return L"\"" + command + L"\"";
    return command;
}

std::wstring TDisableForm::ShortcutPath(const std::wstring& location, const std::wstring& item) {
    const std::wstring kind = AsciiLower(location);
    const std::wstring* folder = kind == L"common startup" ? &CommonStartupDir
                                 : kind == L"startup"      ? &StartupDir
                                                           : nullptr;
    if (!folder || folder->empty()) return {};
    return *folder + L"\\" + item + L".lnk";
}

void TDisableForm::DisableRunEntry(const std::wstring& name, const std::wstring& command,
                                   const std::wstring& location) {
    const std::wstring rootName = location.substr(0, 4);
    const std::wstring keyPath = location.size() > 5 ? location.substr(5) : std::wstring();
    const HKEY root = RootFromName(rootName);
    // Entries the store could not hold, or could not give back, stay live.
    if (!root || !FitsOneSubkey(name) || command.empty()) return;

    Registry reg;
    reg.SetRoot(root);
    const bool live = reg.OpenKey(keyPath, false) && reg.ValueExists(name);
    DWORD type = REG_SZ;
    if (live) {
        // What would be stored must be what is live now.
        if (reg.ReadString(name) != command) return;
        type = reg.ValueType(name);
    }
    reg.CloseKey();

    // One subkey per name: never replace another entry stored under it.
    const std::wstring storePath = std::wstring(kStartupRegStore) + L"\\" + name;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.OpenKey(storePath, false)) {
        const std::wstring storedItem = reg.ReadString(L"item");
        const std::wstring storedCommand = reg.ReadString(L"command");
        const bool same = storedCommand == command && reg.ReadString(L"hkey") == rootName &&
                          reg.ReadString(L"key") == keyPath;
        if (!same && !(storedItem.empty() && storedCommand.empty())) return;
        reg.CloseKey();
    }

    // A command line is stored as it stands: wrapping it whole in quotes
    // would make its arguments part of the program's path.
    const bool stored = WriteStoreSubkey(reg, storePath, [&] {
        reg.WriteString(L"command", command);
        reg.WriteString(L"hkey", rootName);
        reg.WriteString(L"inimapping", L"0");
        reg.WriteString(L"item", name);
        reg.WriteString(L"key", keyPath);
        if (type == REG_EXPAND_SZ)
            reg.WriteString(kValueTypeName, kExpandType);
        else if (reg.ValueExists(kValueTypeName))
            reg.DeleteValue(kValueTypeName);
    });
    if (!stored || !live) return;

    reg.SetRoot(root);
    if (reg.OpenKey(keyPath, false)) reg.DeleteValue(name);
}

void TDisableForm::EnableRunEntry(const std::wstring& item, const std::wstring& command,
                                  const std::wstring& hkey, const std::wstring& key) {
    const HKEY root = RootFromName(AsciiUpper(hkey));
    if (!root || !FitsOneSubkey(item) || command.empty()) return;
    const std::wstring storePath = std::wstring(kStartupRegStore) + L"\\" + item;

    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    bool expand = false;
    if (reg.OpenKey(storePath, false)) expand = reg.ReadString(kValueTypeName) == kExpandType;

    reg.SetRoot(root);
    if (!reg.OpenKey(key, true)) return;  // stays stored
    if (reg.ValueExists(item)) {
        // Another entry of that name went live meanwhile: keep both.
        if (reg.ReadString(item) != command) return;
    } else if (expand) {
        reg.WriteExpandString(item, command);
    } else {
        reg.WriteString(item, command);
    }
    reg.CloseKey();

    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.KeyExists(storePath)) reg.DeleteKey(storePath);
}

void TDisableForm::DisableFolderEntry(const std::wstring& item, const std::wstring& command,
                                      const std::wstring& location) {
    const std::wstring shortcut = ShortcutPath(location, item);
    // A shortcut whose target is unknown could never be rebuilt: keep it.
    if (shortcut.empty() || command.empty()) return;

    std::wstring subkey = shortcut;
    for (wchar_t& c : subkey)
        if (c == L'\\') c = L'^';
    const std::wstring storePath = std::wstring(kStartupFolderStore) + L"\\" + subkey;
    const std::wstring stored = QuoteCommandLine(command);

    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.OpenKey(storePath, false)) {
        const std::wstring storedCommand = reg.ReadString(L"command");
        if (!storedCommand.empty() && storedCommand != stored) return;
        reg.CloseKey();
    }

    std::wstring backup;
    bool copied = false;
    const std::wstring pss = WindowsDir + L"\\pss";
    if (!WindowsDir.empty() && DirectoryExists(pss)) {
        backup = pss + L"\\" + item + L".lnk" + location;
        if (!FileExists(backup)) copied = CopyFileTo(shortcut, backup);
    }

    bool written = false;
    try {
        written = WriteStoreSubkey(reg, storePath, [&] {
            reg.WriteString(L"item", item);
            reg.WriteString(L"command", stored);
            reg.WriteString(L"backup", backup);
            reg.WriteString(L"location", location);
            reg.WriteString(L"path", shortcut);
        });
    } catch (...) {
        if (copied) DeleteFileAt(backup);
        throw;
    }
    if (!written) {
        if (copied) DeleteFileAt(backup);
        return;
    }
    if (FileExists(shortcut)) DeleteFileAt(shortcut);
}

void TDisableForm::EnableFolderEntry(const std::wstring& item, const std::wstring& storeKeyPath,
                                     const std::wstring& command, const std::wstring& location,
                                     const std::wstring& backup, const std::wstring& /*path*/) {
    const std::wstring shortcut = ShortcutPath(location, item);
    if (shortcut.empty() || command.empty()) return;

    // The working directory is the target's folder, as the shell would give.
    if (!FileExists(shortcut)) CreateShellLink(shortcut, Unquoted(command), L"");
    if (!FileExists(shortcut)) return;  // not rebuilt: it stays stored, backup and all

    // The backup copy is deleted only inside the backup folder, whatever the
    // stored value names.
    const std::wstring pss = WindowsDir + L"\\pss\\";
    if (!WindowsDir.empty() && StartsWithIgnoringCase(backup, pss) &&
        backup.find(L'\\', pss.size()) == std::wstring::npos && FileExists(backup))
        DeleteFileAt(backup);

    const std::wstring storePrefix = std::wstring(kStartupFolderStore) + L"\\";
    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (StartsWithIgnoringCase(storeKeyPath, storePrefix) && storeKeyPath.size() > storePrefix.size() &&
        reg.KeyExists(storeKeyPath))
        reg.DeleteKey(storeKeyPath);
}

}  // namespace kb
