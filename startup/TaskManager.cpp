#include "startup/TaskManager.h"

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "startup/StartupPlaces.h"

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

TaskManagerSwitches::TaskManagerSwitches(HKEY root, const std::wstring& approvedKey) {
    if (approvedKey.empty()) return;
    const std::optional<RegKey> key =
        RegKey::OpenForReading(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return;
    for (const std::wstring& name : key->ValueNames()) {
        const std::optional<RegValue> value = key->Query(name);
        if (value && value->type == REG_BINARY && !value->data.empty() && (value->data[0] & 1))
            disabled_.push_back(name);
    }
}

bool TaskManagerSwitches::Disabled(const std::wstring& name) const {
    for (const std::wstring& disabled : disabled_)
        if (EqualIgnoringCase(disabled, name)) return true;
    return false;
}

bool EnableInTaskManager(HKEY root, const std::wstring& approvedKey, const std::wstring& name) {
    std::optional<RegKey> key = RegKey::Open(root, SwitchKey(approvedKey), ViewOf(root));
    if (!key) return false;
    // Enabled, with no time of disabling: what Task Manager writes.
    const BYTE enabled[12] = {0x02};
    return key->WriteBinary(name, enabled, sizeof enabled);
}

}  // namespace kb
