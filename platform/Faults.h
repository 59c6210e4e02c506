#pragma once
// A thin seam over the calls that change the registry or the file system,
// so tests can make any one of them fail and check that nothing is lost.
// Nothing is injected unless a test installs an injector.
//
// It also stands in for what Wine never does: refuse a standard user's
// process. In the standard-user mode every open for writing under
// HKEY_LOCAL_MACHINE and every write into a protected folder is refused
// with ERROR_ACCESS_DENIED, as Windows refuses them to a process that runs
// without administrator rights (UAC).
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kb {

enum class FaultPoint {
    RegistryCreateKey,
    RegistryList,
    RegistryReadValue,
    RegistryWrite,
    RegistryDeleteValue,
    RegistryDeleteKey,
    FileCopy,
    FileDelete,
    ShortcutRead,
    ShortcutProperty,
    ShortcutWrite,
    SettingsWrite,
    TrayIconAdd,
    WindowCreate,
    TimerSet,
};

// True when the call at this point is to fail this time.
bool InjectFault(FaultPoint point) noexcept;

// Tests only; an empty function removes the injector.
void SetFaultInjector(std::function<bool(FaultPoint)> injector);

// The standard-user mode: on with the folders a standard user may not
// write into (the program's, the Windows folder, the all-users Startup
// folder), off with none.
void SetStandardUserMode(bool on, std::vector<std::wstring> protectedFolders = {});
bool StandardUserMode() noexcept;
// Whether this process is refused write access to keys below the root.
bool WriteRefused(HKEY root) noexcept;
// Whether this process is refused writing the file or folder at the path.
bool WriteRefused(const std::wstring& path);

// Every open of a registry key for writing is counted, so a test can tell
// that a reading or a watch never asked for write rights.
void CountWriteOpen() noexcept;
unsigned long WriteOpens() noexcept;

}  // namespace kb
