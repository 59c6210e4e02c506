// The startup inventory: the Run-type keys, the Startup folders and the
// disabled-entry store, read into the main window's tables.
#include <windows.h>
#include <shlobj.h>

#include "app/DisableForm.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "startup/StartupPlaces.h"

namespace kb {

std::wstring TDisableForm::GetSpecialFolderPath(int folderId) {
    if (options_.specialFolder) return options_.specialFolder(folderId);
    UniqueCoMemory idList;
    if (FAILED(::SHGetSpecialFolderLocation(Handle(), folderId,
                                            reinterpret_cast<LPITEMIDLIST*>(idList.put()))))
        return {};  // an unknown folder stays empty and is never scanned
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList.get()), path)) return {};
    return path;
}

void TDisableForm::LoadStartupInventory() {
    RunTable.Clear();
    DisabledRunTable.Clear();
    FolderTable.Clear();
    DisabledFolderTable.Clear();
    for (const RunKeyPlace& place : kRunKeys) ScanRunKey(place.root, place.rootName, place.keyPath);
    LoadDisabledRunEntries();
    ScanStartupFolder(kCommonStartupLocation, CommonStartupDir);
    ScanStartupFolder(kStartupLocation, StartupDir);
    LoadDisabledFolderEntries();
}

void TDisableForm::ScanRunKey(HKEY root, const std::wstring& rootName,
                              const std::wstring& keyPath) {
    Registry reg;
    reg.SetRoot(root);
    if (!reg.OpenKey(keyPath, false)) return;
    const std::wstring location = rootName + L"\\" + keyPath;
    for (const std::wstring& name : reg.GetValueNames()) {
        // Read first: a value that raises leaves no half row behind.
        std::wstring command = reg.ReadString(name);
        (Scanning ? RunScanTable : RunTable).Append({name, command, location, kNoListIndex});
    }
}

void TDisableForm::ScanStartupFolder(const std::wstring& locationName,
                                     const std::wstring& folder) {
    // An unknown folder would make the pattern "\*.lnk", the root of the drive.
    if (folder.empty()) return;
    WIN32_FIND_DATAW entry;
    UniqueFind listing(::FindFirstFileW((folder + L"\\*.lnk").c_str(), &entry));
    if (!listing) return;
    do {
        const std::wstring fileName = entry.cFileName;
        TShellLink link;
        try {
            ReadShellLink(folder + L"\\" + fileName, link);
        } catch (...) {
            link = TShellLink{};  // a partly read shortcut counts as unread
        }
        const std::wstring name = fileName.substr(0, fileName.rfind(L'.'));
        (Scanning ? FolderScanTable : FolderTable)
            .Append({name, link.Target, locationName, kNoListIndex});
    } while (::FindNextFileW(listing.get(), &entry));
}

namespace {

// Calls read(reg) with each subkey of a store key open in turn, by its path
// below HKEY_LOCAL_MACHINE; subkeys that do not open are passed over.
template <typename Read>
void ForEachStoreSubkey(const std::wstring& storeKey, const Read& read) {
    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(storeKey, false)) return;
    for (const std::wstring& subkey : reg.GetKeyNames()) {
        reg.CloseKey();
        const std::wstring path = storeKey + L"\\" + subkey;
        if (reg.OpenKey(path, false)) read(reg, path);
    }
}

}  // namespace

void TDisableForm::LoadDisabledRunEntries() {
    ForEachStoreSubkey(kStartupRegStore, [this](const Registry& reg, const std::wstring&) {
        const std::wstring item = reg.ReadString(L"item");
        const std::wstring command = reg.ReadString(L"command");
        const std::wstring key = reg.ReadString(L"key");
        const std::wstring hkey = reg.ReadString(L"hkey");
        if (item.empty() || command.empty() || key.empty() || hkey.empty()) return;
        DisabledRunTable.Append({item, hkey, command, key, kNoListIndex});
    });
}

void TDisableForm::LoadDisabledFolderEntries() {
    ForEachStoreSubkey(kStartupFolderStore, [this](const Registry& reg, const std::wstring& path) {
        const std::wstring item = reg.ReadString(L"item");
        const std::wstring command = reg.ReadString(L"command");
        const std::wstring location = reg.ReadString(L"location");
        const std::wstring backup = reg.ReadString(L"backup");
        const std::wstring shortcutPath = reg.ReadString(L"path");
        if (item.empty() || command.empty()) return;
        DisabledFolderTable.Append(
            {item, path, command, location, backup, shortcutPath, kNoListIndex});
    });
}

}  // namespace kb
