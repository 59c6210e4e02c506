#pragma once
// The service control manager: a service's configuration as it holds it,
// and its start type changed the way the Services console changes it. A
// connection for each call: the guard asks seldom. Every call but the stop
// waits at most the manager's time limit (platform/ServiceCall.h), and one
// that did not answer in time says ERROR_TIMEOUT.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kb {

struct ServiceConfig {
    DWORD type = 0, start = SERVICE_DISABLED;
    bool delayed = false;  // automatic, after the others (Vista and later)
    std::wstring command, account, displayName;
};

// Its configuration; none where the manager names no such service. Windows'
// code in why otherwise (access denied, no manager).
std::optional<ServiceConfig> QueryService(const std::wstring& name, DWORD* why = nullptr);

// Sets its start type: ChangeServiceConfig, as services.msc and sc config
// do, so the manager knows at once. Whether an automatic start is delayed
// is a setting of its own, which a change of start type leaves as it is.
// Windows' code.
DWORD SetServiceStart(const std::wstring& name, DWORD start);
// Sets whether an automatic start is delayed (Vista and later). Windows' code.
DWORD SetServiceDelayed(const std::wstring& name, bool delayed);

// Whether it runs now (or is starting, stopping or paused); none where the
// manager did not answer in time.
std::optional<bool> ServiceRuns(const std::wstring& name);

// Tells it to stop, as the Services console's Stop does, and reads back
// that it stops: stopped, or stopping (a service may take its time to end).
// ERROR_SUCCESS also when it did not run or was stopping already. A service others running depend
// on is not stopped (ERROR_DEPENDENT_SERVICES_RUNNING): they are not the
// user's question. The manager waits for the service's answer, up to half
// a minute: never call it on a window's thread. Windows' code.
DWORD StopService(const std::wstring& name);

// The display names of the services that depend on it, running or not.
std::vector<std::wstring> DependentsOf(const std::wstring& name);

}  // namespace kb
