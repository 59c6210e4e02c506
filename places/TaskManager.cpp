#include "places/TaskManager.h"

#include <cstring>
#include <optional>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

REGSAM ViewOf(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? MachineView() : 0;
}

std::wstring SwitchKey(const std::wstring& approvedKey) {
    return std::wstring(kStartupApprovedKey) + L"\\" + approvedKey;
}

}  // namespace

HKEY TaskManagerRootOf(const std::wstring& location) {
    return location == kStartupLocation ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::optional<RegKey::Stamp> SwitchesStamp(HKEY root, const std::wstring& approvedKey) {
    if (approvedKey.empty()) return std::nullopt;
    const OpenedKey key = RegKey::OpenForReading(root, SwitchKey(approvedKey), ViewOf(root));
    return key ? key->StampNow() : std::nullopt;
}

TaskManagerSwitches::TaskManagerSwitches(HKEY root, const std::wstring& approvedKey) {
    if (approvedKey.empty()) return;
    const OpenedKey key = RegKey::OpenForReading(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return;
    for (const std::wstring& name : key->ValueNames()) {
        const std::optional<RegValue> value = key->TryQuery(name);
        // Task Manager writes 12 bytes, the first odd while the entry is off.
        // Any other form is taken as on: the entry is then guarded like any
        // other, which at worst disables what Windows would not start.
        if (value && value->type == REG_BINARY && value->data.size() == 12 && (value->data[0] & 1))
            disabled_.push_back(name);
    }
}

bool TaskManagerSwitches::Disabled(const std::wstring& name) const {
    for (const std::wstring& disabled : disabled_)
        if (EqualIgnoringCase(disabled, name)) return true;
    return false;
}

LONG EnableInTaskManager(HKEY root, const std::wstring& approvedKey, const std::wstring& name) {
    OpenedKey key = RegKey::OpenForWriting(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return key.Error();
    // Enabled, with no time of disabling: what Task Manager writes.
    const BYTE enabled[12] = {0x02};
    try {
        key->WriteBinary(name, enabled, sizeof enabled);
    } catch (const Error&) {
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

LONG DisableInTaskManager(HKEY root, const std::wstring& approvedKey, const std::wstring& name) {
    OpenedKey key = RegKey::Create(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return key.Error();
    // Disabled, with when: what Task Manager writes (its Startup tab shows
    // the time).
    BYTE disabled[12] = {0x03};
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    static_assert(sizeof now == 8);
    std::memcpy(disabled + 4, &now, sizeof now);
    try {
        key->WriteBinary(name, disabled, sizeof disabled);
    } catch (const Error&) {
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

std::optional<SwitchPlace> SwitchPlaceOf(const std::wstring& rootName, const std::wstring& keyPath) {
    const std::wstring location = rootName + L"\\" + keyPath;
    for (const RunKeyPlace& place : RunKeyPlaces())
        if (!place.approvedKey.empty() && EqualIgnoringCase(place.Location(), location))
            return SwitchPlace{place.root, place.approvedKey};
    return std::nullopt;
}

std::optional<RegValue> SwitchValue(HKEY root, const std::wstring& approvedKey, const std::wstring& name) {
    const OpenedKey key = RegKey::OpenForReading(root, SwitchKey(approvedKey), ViewOf(root));
    return key ? key->TryQuery(name) : std::nullopt;
}

LONG RestoreSwitch(HKEY root, const std::wstring& approvedKey, const std::wstring& name,
                   const std::optional<RegValue>& before) {
    OpenedKey key = RegKey::OpenForWriting(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return key.Error() == ERROR_FILE_NOT_FOUND && !before ? ERROR_SUCCESS : key.Error();
    if (!before) {
        const LONG deleted = key->DeleteValue(name);
        return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
    }
    try {
        key->WriteBytes(name, before->type, before->data);
    } catch (const Error&) {
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

namespace {
std::optional<bool> switchesOverride;
}  // namespace

bool TaskManagerSwitchesAvailable() {
    if (switchesOverride) return *switchesOverride;
    // Task Manager has kept them since Windows 8 (6.2).
    OSVERSIONINFOEXW version{sizeof version, 6, 2, 0, 0, {}, 0, 0, 0, 0, 0};
    const DWORDLONG condition = ::VerSetConditionMask(
        ::VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), VER_MINORVERSION,
        VER_GREATER_EQUAL);
    static const bool available =
        ::VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
    return available;
}

void SetTaskManagerSwitchesAvailable(std::optional<bool> available) {
    switchesOverride = available;
}

}  // namespace kb
