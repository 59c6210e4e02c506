#pragma once
// The places the inventory and the watch read, in their order, and where
// the disabled-entry store lies.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/CurrentUser.h"

namespace kb {

// One Run-type key: a root, its short name as the Location texts and the
// store write it, and the key path below the root.
struct RunKeyPlace {
    HKEY root = nullptr;
    std::wstring rootName;  // "HKLM" or "HKCU"
    std::wstring keyPath;
    REGSAM view = 0;           // how keyPath is opened: 0, or KEY_WOW64_64KEY
    std::wstring approvedKey;  // its key below StartupApproved, where Task Manager has one

    // Root name, "\", key path: HKLM\Software\Microsoft\Windows\CurrentVersion\Run.
    std::wstring Location() const { return rootName + L"\\" + keyPath; }
    bool operator==(const RunKeyPlace&) const = default;
};

// A place whose entries the shared store cannot hold: the subkeys of a
// key (each with its values is one entry), the components of Active Setup
// (each with a StubPath), or some values of a key. A disabled one is moved
// aside, whole, into the place's own subkey kAsideKey: the widest lister of
// autostart places does the same, so it shows such an entry as disabled
// and can enable it, and so can this program.
struct ItemPlace {
    enum class Kind { Subkeys, Components, Values };
    Kind kind = Kind::Values;
    HKEY root = nullptr;
    std::wstring rootName;  // "HKLM" or "HKCU"
    std::wstring keyPath;
    REGSAM view = 0;
    std::vector<std::wstring> names;  // of Values: only these (none: every value)

    std::wstring Location() const { return rootName + L"\\" + keyPath; }
    // Whether a disabled entry may go into the place's kAsideKey subkey.
    // Not below RunOnceEx: to Windows every subkey there is a step, run and
    // deleted with all it holds at the next logon.
    bool KeepsAsideInPlace() const { return kind != Kind::Subkeys; }
    // Whether the name can be an entry of the place: of a place of some
    // values, only those names.
    bool Admits(const std::wstring& name) const;
    bool operator==(const ItemPlace&) const = default;
};
inline constexpr wchar_t kAsideKey[] = L"AutorunsDisabled";
// Keepboot's own keeping place below a place's root (in its view): an entry
// whose aside name is taken, or whose place keeps nothing aside, is kept
// there whole, one numbered subkey each.
inline constexpr wchar_t kKeepbootKey[] = L"Software\\Keepboot";
inline constexpr wchar_t kKeptKey[] = L"Software\\Keepboot\\Kept";

// The Run-type keys, the machine's first; then the other lists of values
// logon runs (the policy's Run list, the terminal server's install-mode Run
// and RunOnce), the machine's first. The current user's RunServices key is
// not among them. On 64-bit Windows the machine's keys come in both
// of its views: the 64-bit one ("Software\Microsoft\...") and the 32-bit
// one, named by its path in the 64-bit view ("Software\WOW6432Node\...").
// So a Location text, or a stored "key", says which view it is in, for
// this program and for the 64-bit System Configuration utility alike. The
// user's keys are one set in both views: listed once.
std::vector<RunKeyPlace> RunKeyPlacesFor(bool windows64);
const std::vector<RunKeyPlace>& RunKeyPlaces();

// The places of entries moved aside when disabled: RunOnceEx (the machine's
// and the user's), Active Setup's components, the user's Load and Run
// values, and the user's logon script; the machine's in both views.
std::vector<ItemPlace> ItemPlacesFor(bool windows64);
const std::vector<ItemPlace>& ItemPlaces();
// A Run-type key as a place of values moved aside (by the other lister).
ItemPlace AsidePlaceOf(const RunKeyPlace& place);

// Whether a root name and key path name one of those keys (in either
// view), ignoring letter case.
bool IsGuardedRunKey(const std::wstring& rootName, const std::wstring& keyPath);

// The view the store and the machine's keys are opened in: the 64-bit one
// on 64-bit Windows, where the other utility keeps its store.
REGSAM MachineView();

// Task Manager's record of startup entries it disabled, below each root.
inline constexpr wchar_t kStartupApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

inline constexpr wchar_t kCommonStartupLocation[] = L"Common Startup";
inline constexpr wchar_t kStartupLocation[] = L"Startup";

// The folders the store works with, as the shell gives them (no trailing
// backslash). An empty path is a folder the shell could not name: it is
// never scanned and nothing is written into it.
struct StartupFolders {
    std::wstring commonStartup;
    std::wstring userStartup;
    std::wstring windows;
    // The backup folder of the user's own store (made when first needed).
    std::wstring userBackup;
    // Keepboot's own backup folder for the shared store where WindowsDir\pss
    // is not there (made when first needed; pss never is).
    std::wstring machineBackup;

    // The folder of a location text: "Common Startup" or "Startup" in any
    // letter case, or the folder's own path; empty for any other.
    const std::wstring& FolderOf(const std::wstring& location) const;
    // The backup folder of the shared store, WindowsDir\pss; empty when unknown.
    std::wstring BackupFolder() const;
};

// Whether two paths name the same file or folder: their full paths,
// ignoring letter case and a trailing backslash.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The shell's folders of this machine and user, where they are now.
StartupFolders FindStartupFolders();
// Where Windows' setting puts the all-users Startup folder (or the user's),
// as it is written; empty when there is none: for naming a folder the shell
// cannot find.
std::wstring StartupFolderSetting(bool common);

// Where the shell keeps the folders' locations (below both roots): logon
// takes the Startup folders from there.
inline constexpr wchar_t kUserShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline constexpr wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The disabled-entry store, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kStartupRegStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
inline constexpr wchar_t kStartupFolderStore[] =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";

// Where a disabled entry is kept. The shared store, below HKEY_LOCAL_MACHINE,
// needs administrator rights to write. A user's own entry that a standard
// user disables, and that has no Task Manager switch, goes into the user's
// store instead: the same layout below HKEY_CURRENT_USER, in a key of
// Keepboot's own, with shortcut backups in StartupFolders::userBackup.
enum class StoreKind { Shared, User };
inline constexpr wchar_t kUserRunStore[] = L"Software\\Keepboot\\startupreg";
inline constexpr wchar_t kUserFolderStore[] = L"Software\\Keepboot\\startupfolder";

struct StoreKeys {
    HKEY root;
    const wchar_t* runKey;
    const wchar_t* folderKey;
};
StoreKeys KeysOf(StoreKind store);

}  // namespace kb
