#pragma once
// Stopping a running service the user disabled in the prompt and asked to
// stop too: an errand for a thread other than the window's (Errands),
// since the service manager waits up to half a minute for a
// service's answer, and Windows' consent to the rights as long as the user
// takes.
#include <windows.h>

#include <optional>
#include <string>

namespace kb {

struct ServiceStopped {
    std::wstring name;
    DWORD error = ERROR_SUCCESS;  // Windows' code
};

// Stops it: directly where this process is elevated, otherwise through an
// elevated instance of the executable, whose consent dialog the window
// owns. None when it is no longer a service this program disabled (its
// disable did not take, which was said).
std::optional<ServiceStopped> StopDisabledService(HWND window, const std::wstring& executable, bool elevated,
                                                  const std::wstring& name);

}  // namespace kb
