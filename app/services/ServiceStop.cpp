#include "app/services/ServiceStop.h"

#include "app/services/Elevation.h"
#include "kinds/Services.h"

namespace kb {

std::optional<ServiceStopped> StopDisabledService(HWND window, const std::wstring& executable, bool elevated,
                                                  const std::wstring& name) {
    if (!DisabledHere(name)) return std::nullopt;
    return ServiceStopped{name, elevated ? StopServiceDisabledHere(name) : StopServiceElevated(window, executable, name)};
}

}  // namespace kb
