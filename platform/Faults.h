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
//
// The seams are the test builds' only (KEEPBOOT_TEST_SEAMS=1). In the shipped
// program (=0) each question below is answered where it is asked: no fault,
// nothing refused but what Windows refuses; the compiler leaves the seam out.
#if !defined(KEEPBOOT_TEST_SEAMS)
#error "a file that includes platform/Faults.h is built twice: list it with the seamed sources in CMakeLists.txt"
#endif

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kb {

enum class SystemService : int;

enum class FaultPoint {
    RegistryCreateKey,
    RegistryList,
    RegistryReadValue,
    RegistryWrite,
    RegistryDeleteValue,
    RegistryDeleteKey,
    FileCopy,
    FileDelete,
    FileRename,
    ShortcutRead,
    ShortcutProperty,
    ShortcutWrite,
    SettingsWrite,
    TrayIconAdd,
    WindowCreate,
    TimerSet,
    ProcessOfAnotherAccount,  // opening a process refused as another account's is
};

#if KEEPBOOT_TEST_SEAMS

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

// A system service that does not answer: every call to it waits, on its own
// thread, until the service is made to answer again.
void SetServiceSilent(SystemService service, bool silent);
void WaitWhileServiceSilent(SystemService service) noexcept;

#else

constexpr bool InjectFault(FaultPoint) noexcept { return false; }
constexpr bool StandardUserMode() noexcept { return false; }
constexpr bool WriteRefused(HKEY) noexcept { return false; }
inline bool WriteRefused(const std::wstring&) noexcept { return false; }
constexpr void CountWriteOpen() noexcept {}
constexpr void WaitWhileServiceSilent(SystemService) noexcept {}

#endif

}  // namespace kb
