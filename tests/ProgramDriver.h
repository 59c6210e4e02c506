#pragma once
// Starts Keepboot.exe as a separate process and drives it from outside,
// through window messages, as another program or a user would.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace kb::test {

// Polls until the condition holds or the time is up; never a fixed sleep.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 30000);

class KeepbootProcess {
public:
    // exe: the program file to start; arguments as one command-line tail.
    KeepbootProcess(const std::wstring& exe, const std::wstring& arguments);
    ~KeepbootProcess();  // ends the process if it still runs

    DWORD Id() const noexcept { return id_; }
    HANDLE Process() const noexcept { return process_.get(); }
    bool Running() const;
    // Waits for the end; false when it did not end in time.
    bool WaitForExit(DWORD* exitCode, DWORD timeoutMs = 30000) const;

    // The main window, once it exists and has finished its creation.
    HWND WaitForMainWindow(DWORD timeoutMs = 30000) const;
    HWND FindWindowOfClass(const wchar_t* className) const;

    // The program's error report, once one shows; null when none came.
    HWND WaitForReport(DWORD timeoutMs = 30000) const;
    static std::wstring ReportText(HWND report);
    static void CloseReport(HWND report);

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// Runs a command line to its end (at most the time given); its exit code,
// or -1.
int RunToEnd(std::wstring commandLine, DWORD timeoutMs = 120000);

// The test executable's folder's parent holds Keepboot.exe as shipped, and
// in "tested" the build with the test seams (the standard-user stand-in).
enum class Build { Shipped, Tested };
std::wstring BuiltKeepbootExe(Build build = Build::Shipped);

}  // namespace kb::test

namespace kb::test {

// The control of that id anywhere below the window.
HWND FindDescendant(HWND root, int id);

// A list view in another process, read and changed through its messages,
// with the item records placed in that process's memory.
class RemoteListView {
public:
    RemoteListView(HWND listView, HANDLE process) : list_(listView), process_(process) {}
    int Count() const;
    std::wstring Text(int row, int column) const;
    bool Checked(int row) const;
    void SetChecked(int row, bool checked) const;
    // The first row whose caption is the text; -1 when none.
    int Find(const std::wstring& caption) const;

private:
    HWND list_;
    HANDLE process_;
};

}  // namespace kb::test
