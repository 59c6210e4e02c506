#pragma once
// The places the inventory and the watch read, in their order.
#include <windows.h>

namespace kb {

struct RunKeyPlace {
    HKEY root;
    const wchar_t* rootName;
    const wchar_t* keyPath;
};

// The current user's RunServices key is not among them.
inline const RunKeyPlace kRunKeys[] = {
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
};

inline constexpr wchar_t kCommonStartupLocation[] = L"Common Startup";
inline constexpr wchar_t kStartupLocation[] = L"Startup";

// The disabled-entry store, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kStartupRegStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr wchar_t kStartupFolderStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

}  // namespace kb
