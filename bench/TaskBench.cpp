// Part 6 of the benchmark: the scheduled tasks, with 250 definitions in the
// prefix's own folder, about a Windows 11 machine's count, in 60 folders.
// Prints, does not judge:
//  - one check of the tasks' place with nothing new, against the floor of
//    listing and reading every definition file, and their ratio;
//  - latency from writing a new task's definition until the running
//    program switched it off, over 20 tasks;
//  - idle: the program's wake-ups and checks over 60 s with the 250 known;
//  - the idle program's memory against a bare notification-area program
//    (part 0 again, with the 250 tasks known).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchParts.h"
#include "KindCheck.h"
#include "ProgramDriver.h"
#include "ScratchRegistry.h"
#include "TaskXml.h"
#include "kinds/TaskFiles.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Xml.h"

namespace {

using namespace kb;

constexpr int kTasks = 250;

std::wstring BenchFolder() {
    return TasksFolder() + L"\\KeepbootBench";
}

// The definition as Windows' scheduler writes it: UTF-16 with its mark.
void WriteDefinition(const std::wstring& file, const std::wstring& program) {
    MakeFolder(file.substr(0, file.rfind(L'\\')));
    const std::wstring text = test::TaskXml(program, L"/silent");
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    const UniqueFile out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (out) ::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool SwitchedOff(const std::wstring& file) {
    const std::optional<std::string> bytes = ReadSmallFile(file, 1 << 20);
    if (!bytes) return false;
    // One caught half written is no definition yet.
    const std::optional<TaskDefinition> definition = ParseTaskDefinition(XmlTextOf(*bytes));
    return definition && !definition->enabled;
}

// What any reading of the tasks must do at least: list every folder and
// read every file whole.
void Floor(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const UniqueFind listing(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!listing) return;
    do {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Floor(path);
        else
            ReadSmallFile(path, 1 << 20);
    } while (::FindNextFileW(listing.get(), &found));
}

void RunningProgram() {
    test::KeepbootProcess program(test::BuiltKeepbootExe(), L"-start");
    const HWND window = program.WaitForMainWindow(60000);
    if (!window) {
        std::fprintf(stderr, "Keepboot.exe did not start; the tasks' latency not run\n");
        return;
    }
    // Its first full check has read every place whole once the second begins.
    for (int i = 0; i < 6000 && bench::Counters(window)[1] < 2; ++i) ::Sleep(100);
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        const std::wstring file = BenchFolder() + L"\\New\\Task " + std::to_wstring(i);
        const double start = MillisecondsNow();
        WriteDefinition(file, L"C:\\Program Files\\Sneaky\\sneaky" + std::to_wstring(i) + L".exe");
        // Polls every millisecond: the latencies measured are a few of them.
        while (!SwitchedOff(file) && MillisecondsNow() - start < 30000) ::Sleep(1);
        latencies.push_back(MillisecondsNow() - start);
    }
    std::printf("latency, a new task's definition until it is switched off: median %.1f ms, p95 %.1f ms"
                " (20 tasks)\n",
                Percentile(latencies, 0.5), Percentile(latencies, 0.95));
    // The program's own last switch fires its folder once more; that check
    // belongs to the changes above, not to the idle minute.
    ::Sleep(1000);
    const auto idleStart = bench::Counters(window);
    ::Sleep(60000);  // the idle minute being measured, not a wait for something
    const auto idleEnd = bench::Counters(window);
    std::printf("idle minute with %d tasks known: %lu wake-ups, %lu full checks, %lu checks\n", kTasks,
                idleEnd[0] - idleStart[0], idleEnd[1] - idleStart[1], idleEnd[2] - idleStart[2]);
}

}  // namespace

namespace kb::bench {

void ScheduledTasks() {
    test::RemoveTree(BenchFolder());  // what a run stopped part-way left
    for (int i = 0; i < kTasks; ++i)
        WriteDefinition(BenchFolder() + L"\\Vendor " + std::to_wstring(i % 60) + L"\\Task " + std::to_wstring(i),
                        L"C:\\Program Files\\Vendor " + std::to_wstring(i) + L"\\update.exe");
    CheckAgainstFloor<kb::ScheduledTasks>("tasks", "list every folder, read every definition",
                                          [] { Floor(TasksFolder()); });
    IdleMemory();
    RunningProgram();
    test::RemoveTree(BenchFolder());
}

}  // namespace kb::bench
