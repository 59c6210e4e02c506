#include "ProbeService.h"

#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace kb::test {

namespace {

// As a vendor's service might be started: it reads well in a picture too.
constexpr char kProbeArgument[] = "/service";

SERVICE_STATUS_HANDLE probeStatus = nullptr;
HANDLE probeStop = nullptr;
std::wstring probeName;

void SetProbeState(DWORD state) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, state == SERVICE_RUNNING ? DWORD{SERVICE_ACCEPT_STOP} : 0,
                          NO_ERROR, 0, 0, state == SERVICE_STOP_PENDING ? 3000u : 0u};
    ::SetServiceStatus(probeStatus, &status);
}

DWORD WINAPI ProbeControl(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP) return ERROR_CALL_NOT_IMPLEMENTED;
    SetProbeState(SERVICE_STOP_PENDING);
    ::SetEvent(probeStop);
    return NO_ERROR;
}

void WINAPI ProbeMain(DWORD, LPWSTR*) {
    probeStatus = ::RegisterServiceCtrlHandlerExW(probeName.c_str(), &ProbeControl, nullptr);
    if (!probeStatus) return;
    SetProbeState(SERVICE_RUNNING);
    ::WaitForSingleObject(probeStop, INFINITE);
    SetProbeState(SERVICE_STOPPED);
}

bool Polled(const std::function<bool()>& condition) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > 30000) return false;
        ::Sleep(20);  // a polling step, not a wait for something to happen
    }
    return true;
}

}  // namespace

int RunProbeServiceIfAsked(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], kProbeArgument) != 0) return -1;
    probeName.assign(argv[2], argv[2] + std::strlen(argv[2]));
    probeStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{probeName.data(), &ProbeMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

UniqueService MakeRunningProbeService(const std::wstring& name) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(self) + L"\" /service " + name;
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueService service(::CreateServiceW(manager.get(), name.c_str(), (name + L" Probe").c_str(),
                                           SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                           SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr,
                                           nullptr));
    EXPECT_TRUE(service) << ::GetLastError();
    if (!service) return service;
    EXPECT_TRUE(::StartServiceW(service.get(), 0, nullptr)) << ::GetLastError();
    EXPECT_TRUE(WaitForProbeState(name, SERVICE_RUNNING)) << "the probe service never ran";
    // Automatic only once it runs: a guard that meets it then sees it run.
    EXPECT_TRUE(::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        << ::GetLastError();
    return service;
}

void DeleteProbeService(const std::wstring& name) {
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    const UniqueService service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | DELETE));
    if (!service) return;
    SERVICE_STATUS status{};
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.get());
}

DWORD ProbeState(const std::wstring& name) {
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueService service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !::QueryServiceStatus(service.get(), &status)) return SERVICE_STOPPED;
    return status.dwCurrentState;
}

}  // namespace kb::test

namespace kb::test {

bool WaitForProbeState(const std::wstring& name, DWORD state) {
    return Polled([&] { return ProbeState(name) == state; });
}

}  // namespace kb::test
