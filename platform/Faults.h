#pragma once
// A thin seam over the calls that change the registry or the file system,
// so tests can make any one of them fail and check that nothing is lost.
// Nothing is injected unless a test installs an injector.
#include <functional>

namespace kb {

enum class FaultPoint {
    RegistryCreateKey,
    RegistryList,
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
};

// True when the call at this point is to fail this time.
bool InjectFault(FaultPoint point) noexcept;

// Tests only; an empty function removes the injector.
void SetFaultInjector(std::function<bool(FaultPoint)> injector);

}  // namespace kb
