// Benchmark of the startup watch. Prints, does not judge:
//  1. one tick with nothing new over 7 keys x 50 values and 2 folders x 25
//     shortcuts, against the floor of enumerating the same keys and reading
//     the same shortcuts, and their ratio;
//  2. GDI objects, USER objects and handles before and after many ticks with
//     entries coming and going (they must not grow).
// Runs inside a scratch registry and scratch folders. Usage:
//   keepboot_watch_bench.exe [ticks for part 2, default 10000]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ScratchRegistry.h"
#include "platform/Error.h"
#include "shelllink/ShellLink.h"
#include "startpage/StartPages.h"
#include "startup/Guard.h"
#include "startup/StartupPlaces.h"

namespace {

using namespace kb;

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Median milliseconds of one run of the action.
template <typename F>
double MedianMs(int runs, F action) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        action();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name,
              const std::wstring& text) {
    UniqueKey key;
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                      nullptr);
    ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// What any watch must do at least: list every value and read it, list
// every shortcut and read it.
void Floor(const std::wstring& common, const std::wstring& user) {
    for (const RunKeyPlace& place : RunKeyPlaces()) {
        UniqueKey key;
        if (::RegOpenKeyExW(place.root, place.keyPath.c_str(), 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        BYTE data[1024];
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = 256, size = sizeof data;
            if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, nullptr, data, &size) !=
                ERROR_SUCCESS)
                break;
        }
    }
    for (const std::wstring& folder : {common, user}) {
        WIN32_FIND_DATAW entry;
        UniqueFind find(::FindFirstFileW((folder + L"\\*.lnk").c_str(), &entry));
        if (!find) continue;
        do {
            ShellLinkData link;
            try {
                ReadShellLink(folder + L"\\" + entry.cFileName, link);
            } catch (const Error&) {
            }
        } while (::FindNextFileW(find.get(), &entry));
    }
}

ShellLinkData LinkTo(const std::wstring& target) {
    ShellLinkData link;
    link.Target = target;
    return link;
}

// The process's kernel handles, counted in the system's handle table; for
// systems whose GetProcessHandleCount answers nothing.
DWORD CountHandlesInSystemTable() {
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                                 "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<BYTE> buffer(1 << 16);
    for (int tries = 0; tries < 12; ++tries) {
        ULONG needed = 0;
        const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const Table*>(buffer.data());
            DWORD mine = 0;
            for (ULONG i = 0; i < table->count; ++i)
                mine += table->entries[i].pid == ::GetCurrentProcessId();
            return mine;
        }
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
    }
    return 0;
}

struct Resources {
    DWORD gdi = 0, user = 0, handles = 0;
    bool counted = false;     // the system reports the three counts
    SIZE_T privateBytes = 0;  // grows with any leak, also where counts are not reported
};

Resources Measure() {
    Resources r;
    r.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    r.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    r.counted = r.gdi > 0 || r.user > 0;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &r.handles) || r.handles == 0)
        r.handles = CountHandlesInSystemTable();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory))
        r.privateBytes = memory.PagefileUsage;
    return r;
}

int Run(int churnTicks) {
    test::ScratchRegistry registry;
    if (!registry.Holds()) {
        std::fprintf(stderr, "the registry could not be redirected; not running\n");
        return 2;
    }
    test::ScratchFolder folder;
    const std::wstring common = folder.Sub(L"Common Startup"), user = folder.Sub(L"Startup");
    const std::wstring programs = folder.Sub(L"Programs");
    for (const RunKeyPlace& place : RunKeyPlaces())
        for (int i = 0; i < 50; ++i)
            SetValue(place.root, place.keyPath, L"Entry " + std::to_wstring(i),
                     L"\"C:\\Program Files\\App" + std::to_wstring(i) + L"\\app.exe\" -tray");
    for (const std::wstring& dir : {common, user})
        for (int i = 0; i < 25; ++i) {
            const std::wstring target = programs + L"\\tool" + std::to_wstring(i) + L".exe";
            ::CloseHandle(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                        nullptr));
            WriteShellLink(dir + L"\\Tool " + std::to_wstring(i) + L".lnk", LinkTo(target));
        }

    StartupGuard guard({common, user, folder.Sub(L"Windows")});
    guard.Reload();
    std::printf("inventory: %u registry entries, %u shortcuts\n",
                static_cast<unsigned>(guard.Known().live.values.size()),
                static_cast<unsigned>(guard.Known().live.shortcuts.size()));
    // One check as the watch makes it: the startup places, then the start pages.
    StartPageReferences references;
    for (std::size_t i = 0; i < kStartPageCount; ++i) references[i] = ReadStartPage(i);
    const auto check = [&] {
        guard.Check(Policy::DisableSilently, [](const std::wstring&) { return Decision::Leave; },
                    [](const StartupEntry&) {});
        CheckStartPages(Policy::DisableSilently, references,
                        [](const std::wstring&) { return Decision::Leave; });
    };

    check();  // warm caches
    Floor(common, user);
    const double tick = MedianMs(30, check);
    const double floor = MedianMs(30, [&] { Floor(common, user); });
    std::printf("tick with nothing new: %.2f ms (median of 30)\n", tick);
    std::printf("floor (enumerate keys, read shortcuts): %.2f ms (median of 30)\n", floor);
    std::printf("ratio tick/floor: %.2f\n", tick / floor);

    // Entries coming and going: every tick a value and a shortcut appear and
    // the watch (disable policy) moves them into the store.
    const std::wstring churnTarget = programs + L"\\churn.exe";
    ::CloseHandle(::CreateFileW(churnTarget.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr));
    const auto churn = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) {
            SetValue(HKEY_CURRENT_USER, RunKeyPlaces()[4].keyPath, L"Churn", L"churn.exe -x");
            WriteShellLink(user + L"\\Churn.lnk", LinkTo(churnTarget));
            check();
            if (i % 100 == 0) guard.Reload();
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        }
    };
    // Fewer entries for this part, so that many ticks fit in a short run.
    for (const RunKeyPlace& place : RunKeyPlaces()) ::RegDeleteTreeW(place.root, place.keyPath.c_str());
    guard.Reload();
    churn(100);  // settle lazily made objects first
    const Resources before = Measure();
    const double start = Now();
    churn(churnTicks);
    const double elapsed = Now() - start;
    const Resources after = Measure();
    std::printf("%d ticks with entries coming and going: %.1f s\n", churnTicks, elapsed / 1000.0);
    if (before.counted) {
        std::printf("GDI objects:  %lu before, %lu after\n", before.gdi, after.gdi);
        std::printf("USER objects: %lu before, %lu after\n", before.user, after.user);
    } else {
        std::printf("GDI and USER object counts: not reported by this system\n");
    }
    std::printf("handles:      %lu before, %lu after\n", before.handles, after.handles);
    std::printf("private bytes: %lu KiB before, %lu KiB after\n",
                static_cast<unsigned long>(before.privateBytes / 1024),
                static_cast<unsigned long>(after.privateBytes / 1024));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 10000;
    ::CoInitialize(nullptr);
    const int result = Run(ticks > 0 ? ticks : 10000);
    ::CoUninitialize();
    return result;
}
