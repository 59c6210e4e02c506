// Benchmark of the watch. Prints, does not judge:
//  0. the idle program's resident set and private bytes, watching every
//     place, against a bare notification-area program under the same Wine;
//  1. one full check with nothing new over every list of the logon surface
//     x 50 entries and 2 folders x 25 shortcuts (and the logon values),
//     against the floor of enumerating the same keys and
//     reading the same shortcuts through the shell (what every check cost
//     before shortcuts were kept by file time and size), and their ratio;
//  2. detection latency of the running program: a value written to the
//     user's Run key, or a shortcut saved into the Startup folder, until it
//     is disabled under "disable all", over 100 changes each; and over 20
//     changes each, a value in the policy's Run list, a RunOnceEx step, an
//     Active Setup component, the user's Load value (each moved aside) and a
//     Winlogon Shell value (put back);
//  3. idle: the program's wake-ups and checks over 60 s with nothing
//     changing and the default interval;
//  4. the program's handles and private bytes before and after many
//     change-triggered checks (10,000 by default), and how many checks a
//     burst of 100 values written at once gives;
//  5. with 15,000 allowed values in the user's Run key: the latency of a
//     new value, the program's CPU time while idle, how long its window
//     goes unanswered while 2,000 new values are disabled, and how soon
//     Quit ends it in the middle of that.
// Part 1 runs inside a scratch registry; parts 2 to 4 start Keepboot.exe in
// the benchmark's own throwaway Wine prefix. Usage:
//   keepboot_watch_bench.exe [changes for part 4, default 10000]
//   keepboot_watch_bench.exe memory   (part 0 alone)
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "BenchParts.h"
#include "ProgramDriver.h"
#include "ScratchRegistry.h"
#include "app/MainWindow.h"
#include "platform/Error.h"
#include "shelllink/ShellLink.h"
#include "startpage/StartPages.h"
#include "guard/Guard.h"
#include "guard/KnownKeeping.h"
#include "logon/LogonValues.h"
#include "places/Records.h"
#include "platform/Clock.h"
#include "places/StartupPlaces.h"

namespace {

using namespace kb;

void SetValue(HKEY root, const std::wstring& path, const std::wstring& name,
              const std::wstring& text) {
    UniqueKey key;
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                      nullptr);
    ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ValueExists(HKEY root, const std::wstring& path, const std::wstring& name) {
    return ::RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

ShellLinkData LinkTo(const std::wstring& target) {
    ShellLinkData link;
    link.Target = target;
    return link;
}

void MakeFile(const std::wstring& path) {
    ::CloseHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

// Each value's name and data of the key, once: the least a reading costs.
void EnumerateValues(HKEY root, const std::wstring& path) {
    UniqueKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    wchar_t name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256, size = sizeof data;
        if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, nullptr, data, &size) !=
            ERROR_SUCCESS)
            break;
    }
}

// An item place's values, and each of its subkeys' where its entries are subkeys.
void EnumerateItems(const ItemPlace& place) {
    EnumerateValues(place.root, place.keyPath);
    if (place.kind == ItemPlace::Kind::Values) return;
    UniqueKey key;
    if (::RegOpenKeyExW(place.root, place.keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        EnumerateValues(place.root, place.keyPath + L"\\" + name);
    }
}

// What any watch that reads everything must do at least: list every value
// and read it, list every shortcut and read it through the shell, read each
// logon value once.
void Floor(const std::wstring& common, const std::wstring& user) {
    for (const RunKeyPlace& place : RunKeyPlaces()) EnumerateValues(place.root, place.keyPath);
    for (const ItemPlace& place : ItemPlaces()) EnumerateItems(place);
    for (const LogonValue& value : LogonValues()) {
        BYTE data[1024];
        DWORD size = sizeof data;
        ::RegGetValueW(value.root, value.keyPath.c_str(), value.name, RRF_RT_ANY, nullptr, data,
                       &size);
    }
    for (const std::wstring& folder : {common, user}) {
        WIN32_FIND_DATAW entry;
        UniqueFind find(::FindFirstFileW((folder + L"\\*.lnk").c_str(), &entry));
        if (!find) continue;
        do {
            TryReadShellLink(folder + L"\\" + entry.cFileName);
        } while (::FindNextFileW(find.get(), &entry));
    }
}

void FullCheckAgainstFloor() {
    test::ScratchRegistry registry;
    if (!registry.Holds()) {
        std::fprintf(stderr, "the registry could not be redirected; part 1 not run\n");
        return;
    }
    test::ScratchFolder folder;
    const std::wstring common = folder.Sub(L"Common Startup"), user = folder.Sub(L"Startup");
    const std::wstring programs = folder.Sub(L"Programs");
    for (const RunKeyPlace& place : RunKeyPlaces())
        for (int i = 0; i < 50; ++i)
            SetValue(place.root, place.keyPath, L"Entry " + std::to_wstring(i),
                     L"\"C:\\Program Files\\App" + std::to_wstring(i) + L"\\app.exe\" -tray");
    // Each item place: 50 subkeys of one value each, or 50 values where it
    // lists only a few by name (those, and the rest as other values).
    for (const ItemPlace& place : ItemPlaces())
        for (int i = 0; i < 50; ++i) {
            const std::wstring text = L"\"C:\\Program Files\\Item" + std::to_wstring(i) + L"\\setup.exe\" /q";
            if (place.kind == ItemPlace::Kind::Values)
                SetValue(place.root, place.keyPath,
                         i < static_cast<int>(place.names.size()) ? place.names[i]
                                                                  : L"Other " + std::to_wstring(i),
                         text);
            else
                SetValue(place.root, place.keyPath + L"\\{Item " + std::to_wstring(i) + L"}",
                         place.kind == ItemPlace::Kind::Components ? L"StubPath" : L"1", text);
        }
    for (const std::wstring& dir : {common, user})
        for (int i = 0; i < 25; ++i) {
            const std::wstring target = programs + L"\\tool" + std::to_wstring(i) + L".exe";
            MakeFile(target);
            WriteShellLink(dir + L"\\Tool " + std::to_wstring(i) + L".lnk", LinkTo(target));
        }

    StartupGuard guard({common, user, folder.Sub(L"Windows"), folder.Sub(L"UserBackup"),
                        folder.Sub(L"MachineBackup")});
    guard.Reload();
    std::printf("inventory: %u places, %u registry values, %u item entries, %u shortcuts\n",
                static_cast<unsigned>(RunKeyPlaces().size() + ItemPlaces().size() + 2),
                static_cast<unsigned>(guard.Known().live.Of<RunValueEntry>().size()),
                static_cast<unsigned>(guard.Known().live.Of<AsideEntry>().size()),
                static_cast<unsigned>(guard.Known().live.Of<ShortcutEntry>().size()));
    // One full check as the watch makes it: the startup places, then the start pages.
    StartPageReferences references;
    for (std::size_t i = 0; i < kStartPageCount; ++i) references[i] = ReadStartPage(i);
    KnownGood knownGood = ReadKnownGood();
    const auto check = [&] {
        guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Leave; },
                    [](const StartupEntry&) {});
        CheckStartPages(Policy::DisableSilently, references,
                        [](const ValueQuestion&, const EntryDetails&) { return Decision::Leave; });
        CheckLogonValues(Policy::DisableSilently, knownGood,
                         [](const ValueQuestion&, const EntryDetails&) { return Decision::Leave; });
    };
    check();  // warm caches
    Floor(common, user);
    const double full = MedianMs(30, check);
    const double floor = MedianMs(30, [&] { Floor(common, user); });
    std::printf("full check with nothing new: %.2f ms (median of 30)\n", full);
    std::printf("floor (enumerate keys, read every shortcut): %.2f ms (median of 30)\n", floor);
    std::printf("ratio full check / floor: %.2f\n", full / floor);
}

// --- the running program ------------------------------------------------------

// The process's kernel handles, counted in the system's handle table; for
// systems whose GetProcessHandleCount answers nothing.
DWORD CountHandlesInSystemTable(DWORD pid) {
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
            for (ULONG i = 0; i < table->count; ++i) mine += table->entries[i].pid == pid;
            return mine;
        }
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
    }
    return 0;
}

struct Resources {
    DWORD gdi = 0, user = 0, handles = 0;
    SIZE_T privateBytes = 0;
};

Resources Measure(const test::KeepbootProcess& program) {
    Resources r;
    r.gdi = ::GetGuiResources(program.Process(), GR_GDIOBJECTS);
    r.user = ::GetGuiResources(program.Process(), GR_USEROBJECTS);
    if (!::GetProcessHandleCount(program.Process(), &r.handles) || r.handles == 0)
        r.handles = CountHandlesInSystemTable(program.Id());
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(program.Process(), &memory, sizeof memory))
        r.privateBytes = memory.PagefileUsage;
    return r;
}

const std::wstring kUserRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Polls every millisecond: the latencies measured are a few of them.
void WaitClosely(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!condition() && ::GetTickCount() - start < timeoutMs) ::Sleep(1);
}

// Waits until the program has begun its second full check (so its first
// one, which reads every place whole, has ended), asking ten times a
// second: each question wakes it. Milliseconds it took.
double WaitForTwoFullChecks(HWND window, double timeoutMs) {
    const double started = MillisecondsNow();
    const auto fullChecks = [&] {
        ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::TakeSnapshot, 0);
        return ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::FullChecks, 0);
    };
    while (fullChecks() < 2 && MillisecondsNow() - started < timeoutMs) ::Sleep(100);
    return MillisecondsNow() - started;
}

// Milliseconds from writing the value until the program disabled it.
double ValueLatency(const std::wstring& name) {
    const double start = MillisecondsNow();
    SetValue(HKEY_CURRENT_USER, kUserRun, name, L"bench.exe -x");
    WaitClosely([&] { return !ValueExists(HKEY_CURRENT_USER, kUserRun, name); }, 30000);
    return MillisecondsNow() - start;
}

// Milliseconds from writing until the program acted, over 20 changes of one
// kind of place: the writing, what says it acted, and the tidying after.
double KindLatency(const std::function<void(int)>& write, const std::function<bool(int)>& acted,
                   const std::function<void(int)>& tidy) {
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        const double start = MillisecondsNow();
        write(i);
        WaitClosely([&] { return acted(i); }, 30000);
        times.push_back(MillisecondsNow() - start);
        tidy(i);
    }
    return Percentile(times, 0.5);
}

void PlaceLatencies() {
    const std::wstring policyRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
    const std::wstring runOnceEx = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
    const std::wstring components = L"Software\\Microsoft\\Active Setup\\Installed Components";
    const std::wstring windows = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const auto step = [](int i) { return L"Bench " + std::to_wstring(i); };
    const auto keyGone = [](HKEY root, const std::wstring& path) {
        UniqueKey key;
        return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS;
    };
    const double policy = KindLatency(
        [&](int i) { SetValue(HKEY_CURRENT_USER, policyRun, step(i), L"bench.exe"); },
        [&](int i) { return !ValueExists(HKEY_CURRENT_USER, policyRun, step(i)); },
        [&](int i) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                             (L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\" + step(i)).c_str());
        });
    const double steps = KindLatency(
        [&](int i) { SetValue(HKEY_CURRENT_USER, runOnceEx + L"\\" + step(i), L"1", L"bench.exe"); },
        [&](int i) { return keyGone(HKEY_CURRENT_USER, runOnceEx + L"\\" + step(i)); },
        [&](int) { ::RegDeleteTreeW(HKEY_CURRENT_USER, (runOnceEx + L"\\AutorunsDisabled").c_str()); });
    const double component = KindLatency(
        [&](int i) {
            SetValue(HKEY_LOCAL_MACHINE, components + L"\\{" + step(i) + L"}", L"StubPath", L"bench.exe");
        },
        [&](int i) { return keyGone(HKEY_LOCAL_MACHINE, components + L"\\{" + step(i) + L"}"); },
        [&](int) { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (components + L"\\AutorunsDisabled").c_str()); });
    const double load = KindLatency(
        [&](int) { SetValue(HKEY_CURRENT_USER, windows, L"Load", L"bench.exe"); },
        [&](int) { return !ValueExists(HKEY_CURRENT_USER, windows, L"Load"); },
        [&](int) { ::RegDeleteTreeW(HKEY_CURRENT_USER, (windows + L"\\AutorunsDisabled").c_str()); });
    const double shell = KindLatency(
        [&](int) { SetValue(HKEY_CURRENT_USER, winlogon, L"Shell", L"bench.exe"); },
        [&](int) { return !ValueExists(HKEY_CURRENT_USER, winlogon, L"Shell"); }, [](int) {});
    std::printf("latency by place, median of 20 changes: policy Run list %.1f ms, RunOnceEx step "
                "%.1f ms, Active Setup component %.1f ms, Load value %.1f ms, Winlogon Shell put "
                "back %.1f ms\n",
                policy, steps, component, load, shell);
}

// The writer's own time to save a shortcut: the program can see a whole one
// no sooner.
std::vector<double> savingTimes;

double ShortcutLatency(const std::wstring& shortcut, const std::wstring& target) {
    const double start = MillisecondsNow();
    WriteShellLink(shortcut, LinkTo(target));
    savingTimes.push_back(MillisecondsNow() - start);
    WaitClosely([&] { return ::GetFileAttributesW(shortcut.c_str()) == INVALID_FILE_ATTRIBUTES; },
                30000);
    return MillisecondsNow() - start;
}

// The longest time the window took to answer, polled every 10 ms while
// the condition holds.
double LongestUnanswered(HWND window, const std::function<bool()>& busy) {
    double longest = 0;
    while (busy()) {
        const double start = MillisecondsNow();
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        longest = std::max(longest, MillisecondsNow() - start);
        ::Sleep(10);
    }
    return longest;
}

double CpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

MainWindow::Counter kCounters[] = {MainWindow::WakeUps, MainWindow::FullChecks,
                                   MainWindow::PlaceChecks};

// The program's counters at one moment: wake-ups, full checks, change checks.
// What an earlier run that was stopped part-way may have left: entries the
// program would rightly know, and so not disable.
void RemoveLeftovers(const std::wstring& startup) {
    for (int i = 0; i < 100; ++i) {
        for (const wchar_t* prefix : {L"Bench ", L"Settle ", L"Churn "})
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRun.c_str(),
                                 (prefix + std::to_wstring(i)).c_str());
        ::DeleteFileW((startup + L"\\Bench " + std::to_wstring(i) + L".lnk").c_str());
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig");
}

void ManyAllowedValues(const std::wstring& exe) {
    constexpr int kAllowed = 15000, kNew = 2000;
    {
        UniqueKey run;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kUserRun.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, run.put(), nullptr);
        for (int i = 0; i < kAllowed; ++i) {
            const std::wstring name = L"Allowed " + std::to_wstring(i);
            const std::wstring text = L"\"C:\\Program Files\\Allowed\\app" + std::to_wstring(i) +
                                      L".exe\" -tray";
            ::RegSetValueExW(run.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    }
    const auto removeAll = [&] {
        for (int i = 0; i < kAllowed; ++i)
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRun.c_str(),
                                 (L"Allowed " + std::to_wstring(i)).c_str());
        for (int i = 0; i < kNew; ++i)
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRun.c_str(),
                                 (L"Flood " + std::to_wstring(i)).c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig");
    };
    const double enumeration =
        MedianMs(5, [&] { EnumerateValues(HKEY_CURRENT_USER, kUserRun); });
    std::printf("15,000 allowed values: one enumeration of the key (names and data) %.1f ms\n",
                enumeration);
    // Allowed means known: the program starts with no record of the entries
    // an earlier run knew, so its first reading is what it knows. A record
    // left by an earlier part would make the 15,000 values new, and each
    // disabled. The other records stay: without the one of the program's
    // own folders, a later run could no longer keep copies of files there.
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (const wchar_t* record : {kEntriesRecord, kOldMachineCopyRecord})
            ::RegDeleteKeyValueW(root, kRecordsKey, record);
    test::KeepbootProcess program(exe, L"-start");
    const HWND window = program.WaitForMainWindow(120000);
    if (!window) {
        std::fprintf(stderr, "Keepboot.exe did not start; part 5 not run\n");
        removeAll();
        return;
    }
    // The first start knows nothing yet: its first check reads every place
    // whole and keeps it as known.
    const double firstReading = WaitForTwoFullChecks(window, 600000);
    std::printf("15,000 allowed values: first start, its first whole reading ended before the next full check began, %.1f s after the start\n",
                firstReading / 1000.0);
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) latencies.push_back(ValueLatency(L"Bench " + std::to_wstring(i)));
    std::printf("15,000 allowed values: new value disabled in median %.1f ms, p95 %.1f ms (20 changes)\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.95));

    // Under Wine the registry's work is done by the server process, not in
    // the program's own CPU time: the time the program spent checking says
    // more.
    ::Sleep(1000);
    const auto checkingMs = [&] {
        ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::TakeSnapshot, 0);
        return static_cast<double>(
            ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::CheckingMs, 0));
    };
    const double cpuBefore = CpuMs(program.Process()), checkingBefore = checkingMs();
    const double wallBefore = MillisecondsNow();
    ::Sleep(30000);  // the idle time being measured
    const double wall = MillisecondsNow() - wallBefore;
    std::printf("15,000 allowed values, idle 30 s, 3 s interval: checking %.2f%% of the time, "
                "program CPU %.2f%%\n",
                100.0 * (checkingMs() - checkingBefore) / wall,
                100.0 * (CpuMs(program.Process()) - cpuBefore) / wall);

    // A flood of new values: the window keeps answering, and Quit ends it.
    {
        UniqueKey run;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserRun.c_str(), 0, KEY_SET_VALUE, run.put());
        for (int i = 0; i < kNew; ++i) {
            const std::wstring name = L"Flood " + std::to_wstring(i);
            ::RegSetValueExW(run.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(L"flood.exe"), sizeof L"flood.exe");
        }
    }
    const double floodStart = MillisecondsNow();
    const auto flooded = [&] {
        return ValueExists(HKEY_CURRENT_USER, kUserRun, L"Flood " + std::to_wstring(kNew - 1)) &&
               MillisecondsNow() - floodStart < 5000;
    };
    const double unanswered = LongestUnanswered(window, flooded);
    // Quit: the watch stops (the window says so), then the process ends.
    const double quitStart = MillisecondsNow();
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    WaitClosely(
        [&] {
            DWORD_PTR status = 0;
            return !::SendMessageTimeoutW(window, MainWindow::kStatusMessage, 0, 0,
                                          SMTO_ABORTIFHUNG, 1000, &status) ||
                   !(status & MainWindow::StatusWatching);
        },
        30000);
    const double stopped = MillisecondsNow() - quitStart;
    program.WaitForExit(nullptr);
    std::printf("%d new values over 15,000: window unanswered at most %.0f ms in the first 5 s; "
                "Quit stopped the watch in %.0f ms, the process ended in %.0f ms\n",
                kNew, unanswered, stopped, MillisecondsNow() - quitStart);
    removeAll();
}

void RunningProgram(int changes) {
    wchar_t temp[MAX_PATH + 1], startup[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring folder = std::wstring(temp) + L"keepboot-bench-" + std::to_wstring(::GetTickCount());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\Keepboot.exe";
    ::CopyFileW(test::BuiltKeepbootExe().c_str(), exe.c_str(), FALSE);
    ::SHGetSpecialFolderPathW(nullptr, startup, CSIDL_STARTUP, TRUE);
    const std::wstring target = folder + L"\\target.exe";
    MakeFile(target);
    RemoveLeftovers(startup);

    test::KeepbootProcess program(exe, L"-start");
    const HWND window = program.WaitForMainWindow();
    if (!window) {
        std::fprintf(stderr, "Keepboot.exe did not start; parts 2 to 4 not run\n");
        return;
    }

    std::vector<double> values, shortcuts;
    for (int i = 0; i < 100; ++i) values.push_back(ValueLatency(L"Bench " + std::to_wstring(i)));
    for (int i = 0; i < 100; ++i)
        shortcuts.push_back(ShortcutLatency(
            std::wstring(startup) + L"\\Bench " + std::to_wstring(i) + L".lnk", target));
    std::printf("latency, value in the user's Run key: median %.1f ms, p95 %.1f ms (100 changes)\n",
                Percentile(values, 0.5), Percentile(values, 0.95));
    PlaceLatencies();
    std::printf("latency, shortcut in the Startup folder: median %.1f ms, p95 %.1f ms (100 changes);"
                " saving it took median %.1f ms of that\n",
                Percentile(shortcuts, 0.5), Percentile(shortcuts, 0.95),
                Percentile(savingTimes, 0.5));

    // The program's own last disable fires its place once more; that check
    // belongs to the changes above, not to the idle minute.
    ::Sleep(1000);
    const auto idleStart = bench::Counters(window);
    ::Sleep(60000);  // the idle minute being measured, not a wait for something
    const auto idleEnd = bench::Counters(window);
    // The three reads after the first snapshot, and the second snapshot's own
    // message, woke the program too.
    std::printf("idle 60 s, 3 s interval: %lu wake-ups, %lu full checks, %lu change checks\n",
                idleEnd[0] - idleStart[0] - 4, idleEnd[1] - idleStart[1],
                idleEnd[2] - idleStart[2]);

    for (int i = 0; i < 100; ++i) ValueLatency(L"Settle " + std::to_wstring(i));
    const Resources before = Measure(program);
    const unsigned long checksBefore = bench::Counters(window)[2];
    const double start = MillisecondsNow();
    for (int i = 0; i < changes; ++i) ValueLatency(L"Churn " + std::to_wstring(i % 100));
    const double elapsed = MillisecondsNow() - start;
    const Resources after = Measure(program);
    std::printf("%d changes, %lu change-triggered checks: %.1f s\n", changes,
                bench::Counters(window)[2] - checksBefore, elapsed / 1000.0);
    if (before.gdi || before.user) {
        std::printf("GDI objects:  %lu before, %lu after\n", before.gdi, after.gdi);
        std::printf("USER objects: %lu before, %lu after\n", before.user, after.user);
    } else {
        std::printf("GDI and USER object counts: not reported by this system\n");
    }
    std::printf("handles:      %lu before, %lu after\n", before.handles, after.handles);
    std::printf("private bytes: %lu KiB before, %lu KiB after\n",
                static_cast<unsigned long>(before.privateBytes / 1024),
                static_cast<unsigned long>(after.privateBytes / 1024));

    // A burst: 100 values written as fast as the registry takes them.
    ::Sleep(1000);
    const unsigned long burstBefore = bench::Counters(window)[2];
    for (int i = 0; i < 100; ++i)
        SetValue(HKEY_CURRENT_USER, kUserRun, L"Bench " + std::to_wstring(i), L"bench.exe -x");
    WaitClosely([&] { return !ValueExists(HKEY_CURRENT_USER, kUserRun, L"Bench 99"); }, 30000);
    ::Sleep(500);  // the checks of the program's own moves, counted with the burst
    std::printf("burst of 100 values: %lu change-triggered checks\n",
                bench::Counters(window)[2] - burstBefore);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    program.WaitForExit(nullptr);
    RemoveLeftovers(startup);
    ManyAllowedValues(exe);
    test::RemoveTree(folder);
}

// The resident set and the private bytes of a process, as Windows (or
// Wine, from the system's own figures) counts them.
struct Footprint {
    double residentMb = 0, privateMb = 0;
};

Footprint FootprintOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!::GetProcessMemoryInfo(process, &memory, sizeof memory)) return {};
    return {memory.WorkingSetSize / 1048576.0, memory.PagefileUsage / 1048576.0};
}

}  // namespace

namespace kb::bench {

std::array<unsigned long, 3> Counters(HWND window) {
    ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::TakeSnapshot, 0);
    std::array<unsigned long, 3> counters{};
    for (std::size_t i = 0; i < counters.size(); ++i)
        counters[i] = static_cast<unsigned long>(
            ::SendMessageW(window, MainWindow::kCounterMessage, kCounters[i], 0));
    return counters;
}

// Part 0: the idle program's memory, watching every place, against a bare
// notification-area program (a window, an icon, a message loop) under the
// same Wine.
void IdleMemory() {
    constexpr DWORD kSettleMs = 10000;
    Footprint keepboot, bare;
    {
        test::KeepbootProcess program(test::BuiltKeepbootExe(), L"-start");
        const HWND window = program.WaitForMainWindow(60000);
        if (!window) {
            std::fprintf(stderr, "Keepboot.exe did not start; part 0 not run\n");
            return;
        }
        WaitForTwoFullChecks(window, 60000);
        ::Sleep(kSettleMs);
        keepboot = FootprintOf(program.Process());
    }
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(self);
    commandLine = L"\"" + commandLine.substr(0, commandLine.rfind(L'\\')) + L"\\keepboot_bare_tray.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "the bare notification-area program did not start; part 0 not run\n");
        return;
    }
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    for (int i = 0; i < 600 && !::FindWindowW(L"BareTray", nullptr); ++i) ::Sleep(100);
    ::Sleep(kSettleMs);
    bare = FootprintOf(process.get());
    ::TerminateProcess(process.get(), 0);
    std::printf("idle memory: Keepboot resident %.1f MB, private %.1f MB; bare notification-area program "
                "resident %.1f MB, private %.1f MB; resident ratio %.2f\n",
                keepboot.residentMb, keepboot.privateMb, bare.residentMb, bare.privateMb,
                bare.residentMb > 0 ? keepboot.residentMb / bare.residentMb : 0.0);
}

}  // namespace kb::bench

int main(int argc, char** argv) {
    const int changes = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each figure as soon as it is measured
    ::CoInitialize(nullptr);
    if (argc > 1 && std::string(argv[1]) == "memory") {  // part 0 alone
        bench::IdleMemory();
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "tasks") {  // part 6 alone
        bench::ScheduledTasks();
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "services") {  // part 7 alone
        bench::Services();
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "many") {  // part 5 alone
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        const std::wstring exe = std::wstring(temp) + L"keepboot-bench-many.exe";
        ::CopyFileW(test::BuiltKeepbootExe().c_str(), exe.c_str(), FALSE);
        ManyAllowedValues(exe);
        ::DeleteFileW(exe.c_str());
        return 0;
    }
    bench::IdleMemory();
    FullCheckAgainstFloor();
    RunningProgram(changes > 0 ? changes : 10000);
    ::CoUninitialize();
    return 0;
}
