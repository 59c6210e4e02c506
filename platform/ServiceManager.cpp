#include "platform/ServiceManager.h"

#include <utility>
#include <vector>

#include "platform/Handle.h"
#include "platform/ServiceCall.h"

namespace kb {

namespace {

struct Opened {
    UniqueService manager, service;
    DWORD error = ERROR_SUCCESS;
};

Opened OpenService(const std::wstring& name, DWORD managerAccess, DWORD access) {
    Opened opened;
    opened.manager.reset(::OpenSCManagerW(nullptr, nullptr, managerAccess));
    if (opened.manager) opened.service.reset(::OpenServiceW(opened.manager.get(), name.c_str(), access));
    if (!opened.service) opened.error = ::GetLastError();
    return opened;
}

// What a Query...Config call fills, sized as it asks.
template <typename Query>
std::vector<BYTE> Filled(Query&& query, DWORD& error) {
    std::vector<BYTE> buffer(4096);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        if (query(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
            error = ERROR_SUCCESS;
            return buffer;
        }
        error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) break;
        buffer.resize(needed);
    }
    return {};
}

std::wstring Text(const wchar_t* text) {
    return text ? text : L"";
}

std::optional<ServiceConfig> DirectQueryService(const std::wstring& name, DWORD* why) {
    DWORD error = ERROR_SUCCESS;
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG);
    if (why) *why = opened.error;
    if (!opened.service) return std::nullopt;
    const std::vector<BYTE> config = Filled(
        [&](BYTE* data, DWORD size, DWORD* needed) {
            return ::QueryServiceConfigW(opened.service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data), size,
                                         needed);
        },
        error);
    if (why) *why = error;
    if (config.empty()) return std::nullopt;
    const auto* c = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());
    ServiceConfig read{c->dwServiceType, c->dwStartType, false, Text(c->lpBinaryPathName),
                       Text(c->lpServiceStartName), Text(c->lpDisplayName)};
    // XP knows no delayed start, and says so as an unknown level.
    DWORD ignored = ERROR_SUCCESS;
    const std::vector<BYTE> delayed = Filled(
        [&](BYTE* data, DWORD size, DWORD* needed) {
            return ::QueryServiceConfig2W(opened.service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, data, size,
                                          needed);
        },
        ignored);
    if (!delayed.empty())
        read.delayed = reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(delayed.data())->fDelayedAutostart;
    return read;
}

DWORD DirectSetServiceStart(const std::wstring& name, DWORD start) {
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG);
    if (!opened.service) return opened.error;
    if (!::ChangeServiceConfigW(opened.service.get(), SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

DWORD DirectSetServiceDelayed(const std::wstring& name, bool delayed) {
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG);
    if (!opened.service) return opened.error;
    SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
    if (!::ChangeServiceConfig2W(opened.service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

bool DirectServiceRuns(const std::wstring& name) {
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    return opened.service && ::QueryServiceStatus(opened.service.get(), &status) &&
           status.dwCurrentState != SERVICE_STOPPED;
}

}  // namespace

DWORD StopService(const std::wstring& name) {
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!opened.service) return opened.error;
    SERVICE_STATUS status{};
    if (!::ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = ::GetLastError();
        // Stopped, or stopping already; one still starting is said.
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return error;
    }
    if (!::QueryServiceStatus(opened.service.get(), &status)) return ::GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwCurrentState == SERVICE_STOP_PENDING)
        return ERROR_SUCCESS;
    return status.dwCurrentState == SERVICE_START_PENDING ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                                          : ERROR_SERVICE_REQUEST_TIMEOUT;
}

namespace {

std::vector<std::wstring> DirectDependentsOf(const std::wstring& name) {
    const Opened opened = OpenService(name, SC_MANAGER_CONNECT, SERVICE_ENUMERATE_DEPENDENTS);
    std::vector<std::wstring> names;
    if (!opened.service) return names;
    DWORD error = ERROR_SUCCESS, count = 0;
    const std::vector<BYTE> listed = Filled(
        [&](BYTE* data, DWORD size, DWORD* needed) {
            return ::EnumDependentServicesW(opened.service.get(), SERVICE_STATE_ALL,
                                            reinterpret_cast<ENUM_SERVICE_STATUSW*>(data), size, needed, &count);
        },
        error);
    if (listed.empty()) return names;
    const auto* each = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(listed.data());
    for (DWORD i = 0; i < count; ++i)
        names.push_back(Text(each[i].lpDisplayName).empty() ? Text(each[i].lpServiceName) : Text(each[i].lpDisplayName));
    return names;
}

}  // namespace

// The manager's calls, each on a thread of its own with a time limit: a
// manager that hangs (its database locked, the machine starting) holds the
// guard no longer than that. One that did not answer says ERROR_TIMEOUT.
std::optional<ServiceConfig> QueryService(const std::wstring& name, DWORD* why) {
    using Answer = std::pair<std::optional<ServiceConfig>, DWORD>;
    const std::optional<Answer> answer = AskService<Answer>(SystemService::ServiceManager, [name] {
        DWORD error = ERROR_SUCCESS;
        std::optional<ServiceConfig> config = DirectQueryService(name, &error);
        return Answer{std::move(config), error};
    });
    if (why) *why = answer ? answer->second : ERROR_TIMEOUT;
    return answer ? answer->first : std::nullopt;
}

DWORD SetServiceStart(const std::wstring& name, DWORD start) {
    return AskService<DWORD>(SystemService::ServiceManager, [name, start] { return DirectSetServiceStart(name, start); })
        .value_or(ERROR_TIMEOUT);
}

DWORD SetServiceDelayed(const std::wstring& name, bool delayed) {
    return AskService<DWORD>(SystemService::ServiceManager,
                             [name, delayed] { return DirectSetServiceDelayed(name, delayed); })
        .value_or(ERROR_TIMEOUT);
}

std::optional<bool> ServiceRuns(const std::wstring& name) {
    return AskService<bool>(SystemService::ServiceManager, [name] { return DirectServiceRuns(name); });
}

std::vector<std::wstring> DependentsOf(const std::wstring& name) {
    return AskService<std::vector<std::wstring>>(SystemService::ServiceManager, [name] { return DirectDependentsOf(name); })
        .value_or(std::vector<std::wstring>{});
}

}  // namespace kb
