#pragma once
// Task Manager's startup switches (Windows 8 on): below StartupApproved,
// one 12-byte value per entry, named as the entry (a shortcut by its file
// name), whose first byte is odd while the entry is disabled. Such an entry
// stays in its live place; Windows just does not start it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace kb {

// The key below StartupApproved for the Startup folders.
inline constexpr wchar_t kTaskManagerFolderKey[] = L"StartupFolder";

// The root whose StartupApproved holds a Startup folder's switches.
HKEY TaskManagerRootOf(const std::wstring& location);

// The switches under one key, read once.
// When the switches of a Run-type key or Startup folder were last written;
// none when there are none.
std::optional<RegKey::Stamp> SwitchesStamp(HKEY root, const std::wstring& approvedKey);

class TaskManagerSwitches {
public:
    // Nothing is disabled where there is no key name (a place Task Manager
    // does not handle) or no key.
    TaskManagerSwitches(HKEY root, const std::wstring& approvedKey);
    bool Disabled(const std::wstring& name) const;

private:
    std::vector<std::wstring> disabled_;
};

// Sets the entry's switch back to enabled, as Task Manager does.
// ERROR_SUCCESS, or why not (ERROR_ACCESS_DENIED without the rights).
LONG EnableInTaskManager(HKEY root, const std::wstring& approvedKey, const std::wstring& name);
// Switches the entry off, as Task Manager does: it stays where it is and
// Windows does not start it. ERROR_SUCCESS, or why not.
LONG DisableInTaskManager(HKEY root, const std::wstring& approvedKey, const std::wstring& name);

// Where Task Manager keeps the switches of a Run-type key's entries (the
// machine's Run, its 32-bit Run32, the user's Run); none for a key it does
// not list.
struct SwitchPlace {
    HKEY root = nullptr;
    std::wstring approvedKey;
};
std::optional<SwitchPlace> SwitchPlaceOf(const std::wstring& rootName, const std::wstring& keyPath);
// An entry's switch as it is now, none where it has none; and put back so.
std::optional<RegValue> SwitchValue(HKEY root, const std::wstring& approvedKey, const std::wstring& name);
LONG RestoreSwitch(HKEY root, const std::wstring& approvedKey, const std::wstring& name,
                   const std::optional<RegValue>& before);

// Whether Windows reads the switches (Windows 8 and later). Tests may
// pretend either way; none gives the truth again.
bool TaskManagerSwitchesAvailable();
void SetTaskManagerSwitchesAvailable(std::optional<bool> available);

}  // namespace kb
