#pragma once
// The places the inventory and the watch read, in their order, and where
// the disabled-entry store lies.
#include <windows.h>

#include <string>
#include <vector>

namespace kb {

// One Run-type key: a root, its short name as the Location texts and the
// store write it, and the key path below the root.
struct RunKeyPlace {
    HKEY root = nullptr;
    std::wstring rootName;  // "HKLM" or "HKCU"
    std::wstring keyPath;

    // Root name, "\", key path: HKLM\Software\Microsoft\Windows\CurrentVersion\Run.
    std::wstring Location() const { return rootName + L"\\" + keyPath; }
    bool operator==(const RunKeyPlace&) const = default;
};

// The seven keys, the machine's first. The current user's RunServices key
// is not among them.
const std::vector<RunKeyPlace>& RunKeyPlaces();

inline constexpr wchar_t kCommonStartupLocation[] = L"Common Startup";
inline constexpr wchar_t kStartupLocation[] = L"Startup";

// The folders the store works with, as the shell gives them (no trailing
// backslash). An empty path is a folder the shell could not name: it is
// never scanned and nothing is written into it.
struct StartupFolders {
    std::wstring commonStartup;
    std::wstring userStartup;
    std::wstring windows;

    // The folder of a location text, "Common Startup" or "Startup" in any
    // letter case; empty for any other.
    const std::wstring& FolderOf(const std::wstring& location) const;
    // The backup folder of the store, WindowsDir\pss; empty when unknown.
    std::wstring BackupFolder() const;
};

// The shell's folders of this machine and user.
StartupFolders FindStartupFolders();

// The disabled-entry store, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kStartupRegStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr wchar_t kStartupFolderStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

}  // namespace kb
