// Part 7 of the benchmark: the services, made through the prefix's own
// service manager up to 600, about a Windows 11 machine's count of services
// and drivers. Prints, does not judge:
//  - one check of the services' place with nothing new, against the floor
//    of listing the Services key and reading every service's values, and
//    their ratio;
//  - latency from CreateService of an automatic service until the running
//    program disabled it, over 20 services;
//  - idle: the program's wake-ups and checks over 60 s with the 600 known;
//  - the idle program's memory against a bare notification-area program
//    (part 0 again, with the 600 known).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchParts.h"
#include "KindCheck.h"
#include "ProgramDriver.h"
#include "ScratchRegistry.h"
#include "kinds/ServiceKeys.h"
#include "platform/Handle.h"
#include "platform/ServiceManager.h"

namespace {

using namespace kb;

constexpr std::size_t kServices = 600;
const std::wstring kPrefix = L"KeepbootBench";

// Every service this part made, and only those, by their names' prefix.
std::vector<std::wstring> Made(SC_HANDLE manager) {
    std::vector<std::wstring> names;
    DWORD needed = 0, count = 0, resume = 0;
    ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                            &count, &resume, nullptr);
    std::vector<BYTE> buffer(needed + 4096);
    resume = 0;
    if (!::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr))
        return names;
    const auto* each = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (std::wstring(each[i].lpServiceName).starts_with(kPrefix)) names.push_back(each[i].lpServiceName);
    return names;
}

void RemoveMade() {
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const std::wstring& name : Made(manager.get())) {
        const UniqueService service(::OpenServiceW(manager.get(), name.c_str(), DELETE));
        if (service) ::DeleteService(service.get());
    }
}

bool MakeService(SC_HANDLE manager, const std::wstring& name, DWORD start, const std::wstring& program) {
    const UniqueService service(::CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_QUERY_CONFIG,
                                                 SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_NORMAL,
                                                 program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return static_cast<bool>(service);
}

std::size_t CountOfServices() {
    const OpenedKey services = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services");
    return services ? services->SubkeyNames().size() : 0;
}

// What any reading of the services must do at least: list the key, and
// open and read the values of every service's key.
void Floor(HKEY controlSet) {
    const OpenedKey services = RegKey::OpenForReading(controlSet, L"Services");
    if (!services) return;
    for (const std::wstring& name : services->SubkeyNames())
        if (const OpenedKey key = RegKey::OpenForReading(services->get(), name)) key->Values();
}

// The guard reads the machine's own Services key, opened before the sandbox
// stands in for the machine's root.
void CheckServicesAgainstFloor() {
    UniqueKey controlSet;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet", 0, KEY_READ | KEY_NOTIFY, controlSet.put());
    if (!controlSet) return;
    SetServicesKeyForTesting(ServicesKeyAt{controlSet.get(), L"Services"});
    bench::CheckAgainstFloor<kb::Services>("services", "list the key, read every service's values",
                                           [&] { Floor(controlSet.get()); });
    SetServicesKeyForTesting(std::nullopt);
}

void RunningProgram() {
    test::KeepbootProcess program(test::BuiltKeepbootExe(), L"-start");
    const HWND window = program.WaitForMainWindow(60000);
    if (!window) {
        std::fprintf(stderr, "Keepboot.exe did not start; the services' latency not run\n");
        return;
    }
    // Its first full check has read every place whole once the second begins.
    for (int i = 0; i < 6000 && bench::Counters(window)[1] < 2; ++i) ::Sleep(100);
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        const std::wstring name = kPrefix + L"New" + std::to_wstring(i);
        const double start = MillisecondsNow();
        MakeService(manager.get(), name, SERVICE_AUTO_START,
                    L"C:\\Program Files\\Sneaky\\sneaky" + std::to_wstring(i) + L".exe");
        // Polls every millisecond: the latencies measured are a few of them.
        while (QueryService(name).value_or(ServiceConfig{}).start != SERVICE_DISABLED &&
               MillisecondsNow() - start < 30000)
            ::Sleep(1);
        latencies.push_back(MillisecondsNow() - start);
    }
    std::printf("latency, CreateService until it is disabled: median %.1f ms, p95 %.1f ms (20 services)\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.95));
    ::Sleep(1000);  // the program's own last move signals its key once more
    const auto idleStart = bench::Counters(window);
    ::Sleep(60000);  // the idle minute being measured, not a wait for something
    const auto idleEnd = bench::Counters(window);
    std::printf("idle minute with %u services known: %lu wake-ups, %lu full checks, %lu checks\n",
                static_cast<unsigned>(CountOfServices()), idleEnd[0] - idleStart[0], idleEnd[1] - idleStart[1],
                idleEnd[2] - idleStart[2]);
}

}  // namespace

namespace kb::bench {

void Services() {
    RemoveMade();  // what a run stopped part-way left
    {
        const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const std::size_t there = CountOfServices();
        for (std::size_t i = there; i < kServices; ++i)
            MakeService(manager.get(), kPrefix + std::to_wstring(i), SERVICE_DEMAND_START,
                        L"\"C:\\Program Files\\Vendor " + std::to_wstring(i) + L"\\service.exe\" -service");
    }
    std::printf("services and drivers in the prefix: %u\n", static_cast<unsigned>(CountOfServices()));
    CheckServicesAgainstFloor();
    IdleMemory();
    RunningProgram();
    RemoveMade();
}

}  // namespace kb::bench
