#include "places/StartupPlaces.h"

#include <shlobj.h>

#include <algorithm>

#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

// A shell special folder's path; empty when the shell cannot name it.
std::wstring SpecialFolderPath(int folderId) {
    UniqueCoMemory idList;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId,
                                            reinterpret_cast<LPITEMIDLIST*>(idList.put()))))
        return {};
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList.get()), path)) return {};
    return path;
}

}  // namespace

bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    const auto canonical = [](const std::wstring& path) {
        std::wstring full = FullPath(path);
        while (full.size() > 3 && full.back() == L'\\') full.pop_back();
        return full;
    };
    return EqualIgnoringCase(canonical(a), canonical(b));
}

std::vector<RunKeyPlace> RunKeyPlacesFor(bool windows64) {
    const wchar_t* const names[] = {L"Run", L"RunOnce", L"RunServices", L"RunServicesOnce"};
    const REGSAM view = windows64 ? KEY_WOW64_64KEY : 0;
    std::vector<RunKeyPlace> places;
    for (const wchar_t* name : names)
        places.push_back({HKEY_LOCAL_MACHINE, L"HKLM",
                          std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\") + name,
                          view, name == std::wstring(L"Run") ? L"Run" : L""});
    if (windows64)
        for (const wchar_t* name : names)
            places.push_back(
                {HKEY_LOCAL_MACHINE, L"HKLM",
                 std::wstring(L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\") + name,
                 view, name == std::wstring(L"Run") ? L"Run32" : L""});
    for (const wchar_t* name : {L"Run", L"RunOnce", L"RunServicesOnce"})
        places.push_back({HKEY_CURRENT_USER, L"HKCU",
                          std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\") + name, 0,
                          name == std::wstring(L"Run") ? L"Run" : L""});
    // The user's 32-bit branch: a plain key of the user's (HKCU\Software is
    // shared by both views), which 32-bit installers write on 64-bit Windows.
    if (windows64)
        for (const wchar_t* name : {L"Run", L"RunOnce"})
            places.push_back(
                {HKEY_CURRENT_USER, L"HKCU",
                 std::wstring(L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\") + name,
                 0, L""});
    // The other lists logon runs a value of: the group policy's run list and
    // the install-mode copies of Run and RunOnce that a terminal server
    // merges in. Each in both roots, the machine's in both of its views.
    const wchar_t* const moreLists[] = {
        L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
        L"Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
        L"Windows\\CurrentVersion\\Run",
        L"Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
        L"Windows\\CurrentVersion\\RunOnce",
    };
    for (const wchar_t* below : moreLists)
        places.push_back({HKEY_LOCAL_MACHINE, L"HKLM", std::wstring(L"Software\\") + below, view, L""});
    if (windows64)
        for (const wchar_t* below : moreLists)
            places.push_back({HKEY_LOCAL_MACHINE, L"HKLM",
                              std::wstring(L"Software\\WOW6432Node\\") + below, view, L""});
    for (const wchar_t* below : moreLists)
        places.push_back({HKEY_CURRENT_USER, L"HKCU", std::wstring(L"Software\\") + below, 0, L""});
    return places;
}

std::vector<ItemPlace> ItemPlacesFor(bool windows64) {
    using Kind = ItemPlace::Kind;
    const REGSAM view = windows64 ? KEY_WOW64_64KEY : 0;
    const std::vector<std::wstring> machine =
        windows64 ? std::vector<std::wstring>{L"Software\\", L"Software\\WOW6432Node\\"}
                  : std::vector<std::wstring>{L"Software\\"};
    std::vector<ItemPlace> places;
    for (const std::wstring& software : machine)
        places.push_back({Kind::Subkeys, HKEY_LOCAL_MACHINE, L"HKLM",
                          software + L"Microsoft\\Windows\\CurrentVersion\\RunOnceEx", view, {}});
    for (const std::wstring& software : machine)
        places.push_back({Kind::Components, HKEY_LOCAL_MACHINE, L"HKLM",
                          software + L"Microsoft\\Active Setup\\Installed Components", view, {}});
    places.push_back({Kind::Subkeys, HKEY_CURRENT_USER, L"HKCU",
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", 0, {}});
    places.push_back({Kind::Values, HKEY_CURRENT_USER, L"HKCU",
                      L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0, {L"Load", L"Run"}});
    places.push_back({Kind::Values, HKEY_CURRENT_USER, L"HKCU", L"Environment", 0,
                      {L"UserInitMprLogonScript"}});
    return places;
}

const std::vector<ItemPlace>& ItemPlaces() {
    static const std::vector<ItemPlace> places = ItemPlacesFor(Is64BitWindows());
    return places;
}

bool ItemPlace::Admits(const std::wstring& name) const {
    return names.empty() || std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
               return EqualIgnoringCase(n, name);
           });
}

ItemPlace AsidePlaceOf(const RunKeyPlace& place) {
    return {ItemPlace::Kind::Values, place.root, place.rootName, place.keyPath, place.view, {}};
}

const std::vector<RunKeyPlace>& RunKeyPlaces() {
    static const std::vector<RunKeyPlace> places = RunKeyPlacesFor(Is64BitWindows());
    return places;
}

bool IsGuardedRunKey(const std::wstring& rootName, const std::wstring& keyPath) {
    const std::wstring location = rootName + L"\\" + keyPath;
    for (const std::vector<RunKeyPlace>& places : {RunKeyPlacesFor(true), RunKeyPlacesFor(false)})
        for (const RunKeyPlace& place : places)
            if (EqualIgnoringCase(place.Location(), location)) return true;
    return false;
}

REGSAM MachineView() {
    static const REGSAM view = Is64BitWindows() ? KEY_WOW64_64KEY : 0;
    return view;
}

const std::wstring& StartupFolders::FolderOf(const std::wstring& location) const {
    static const std::wstring none;
    if (EqualIgnoringCase(location, kCommonStartupLocation)) return commonStartup;
    if (EqualIgnoringCase(location, kStartupLocation)) return userStartup;
    // The later store form names the folder itself.
    if (!location.empty() && SamePath(location, commonStartup)) return commonStartup;
    if (!location.empty() && SamePath(location, userStartup)) return userStartup;
    return none;
}

std::wstring StartupFolders::BackupFolder() const {
    return windows.empty() ? std::wstring() : windows + L"\\pss";
}

StartupFolders FindStartupFolders() {
    const auto backupIn = [](int folder) {
        const std::wstring path = SpecialFolderPath(folder);
        return path.empty() ? std::wstring() : path + L"\\Keepboot\\Backup";
    };
    return {SpecialFolderPath(CSIDL_COMMON_STARTUP), SpecialFolderPath(CSIDL_STARTUP),
            SpecialFolderPath(CSIDL_WINDOWS), backupIn(CSIDL_APPDATA),
            backupIn(CSIDL_COMMON_APPDATA)};
}

std::wstring StartupFolderSetting(bool common) {
    const OpenedKey key =
        RegKey::OpenForReading(common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                               L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
    try {
        const std::optional<RegValue> value = key ? key->TryQuery(common ? L"Common Startup" : L"Startup") : std::nullopt;
        return value && value->IsText() ? value->Text() : std::wstring();
    } catch (const Error&) {
        return {};
    }
}

StoreKeys KeysOf(StoreKind store) {
    if (store == StoreKind::User) return {HKEY_CURRENT_USER, kUserRunStore, kUserFolderStore};
    return {HKEY_LOCAL_MACHINE, kStartupRegStore, kStartupFolderStore};
}

}  // namespace kb
