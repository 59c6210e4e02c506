#pragma once
// The fixtures of the whole-program tests: Keepboot.exe runs as its own
// process and is driven through window messages. They change the real
// registry of the system they run on, so they run only in the throwaway
// Wine prefix that the test runner makes.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>

#include "CoreHarness.h"
#include "ProgramDriver.h"
#include "Sandbox.h"
#include "app/services/History.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/services/SelfStart.h"
#include "platform/Faults.h"
#include "platform/Registry.h"
#include "places/Records.h"
#include "places/StartupPlaces.h"
#include "platform/ScopeExit.h"
#include "places/StartupPlaces.h"
#include "shelllink/ShellLink.h"

namespace kb::test {

// Room for a slow or busy machine on top of the interval the tests check:
// starting a Wine process and the check itself take their time too.
inline constexpr DWORD kSlackMs = 4000;

// A string value of the registry, or "(none)".
inline std::wstring ReadText(HKEY root, const std::wstring& key, const std::wstring& name) {
    const RawValue value = ReadRawValue(root, key, name);
    return value.exists ? value.text : L"(none)";
}

inline std::wstring ReadUserRunValue(const std::wstring& name) {
    return ReadText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", name);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("KEEPBOOT_THROWAWAY_PREFIX"))
            GTEST_SKIP() << "whole-program tests run only in a throwaway Wine prefix";
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        folder_ = std::wstring(temp) + L"keepboot-program-" +
                  std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(::GetTickCount());
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
        exe_ = folder_ + L"\\Keepboot.exe";
        ASSERT_TRUE(::CopyFileW(BuiltKeepbootExe().c_str(), exe_.c_str(), FALSE))
            << Narrow(BuiltKeepbootExe());
        // Each test's program starts with no history of the earlier ones,
        // and knows nothing of what they did: its very first start.
        ::DeleteFileW(DefaultHistoryPath().c_str());
        // The machine's record in the view the program keeps it in: on
        // 64-bit Windows a 32-bit test's HKLM\Software is the other one.
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            RegKey::DeleteTree(root, kRecordsKey, root == HKEY_LOCAL_MACHINE ? MachineView() : 0);
        wchar_t programData[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, programData, CSIDL_COMMON_APPDATA, FALSE))
            RemoveTree(std::wstring(programData) + L"\\Keepboot");
    }
    void TearDown() override {
        processes_.clear();
        if (!folder_.empty()) RemoveTree(folder_);
    }

    // The build whose standard-user stand-in KEEPBOOT_TEST_STANDARD_USER
    // turns on (Wine refuses nothing); the shipped one has none. Before the
    // first start.
    void UseTestedBuild() {
        ASSERT_TRUE(::CopyFileW(BuiltKeepbootExe(Build::Tested).c_str(), exe_.c_str(), FALSE))
            << Narrow(BuiltKeepbootExe(Build::Tested));
    }

    // The tests' build, started with one of its test variables set for it
    // alone.
    KeepbootProcess& StartTestedWith(const wchar_t* variable) {
        UseTestedBuild();
        ::SetEnvironmentVariableW(variable, L"1");
        KeepbootProcess& process = Start();
        ::SetEnvironmentVariableW(variable, nullptr);
        return process;
    }

    KeepbootProcess& Start(const std::wstring& arguments = L"") {
        processes_.push_back(std::make_unique<KeepbootProcess>(exe_, arguments));
        return *processes_.back();
    }

    static bool Watching(HWND window) {
        return ::SendMessageW(window, MainWindow::kStatusMessage, 0, 0) &
               MainWindow::StatusWatching;
    }

    // Quits through the "&Quit" button and expects a clean end.
    static void Quit(KeepbootProcess& process, HWND window) {
        ::PostMessageW(::GetDlgItem(window, IdQuitButton), BM_CLICK, 0, 0);
        DWORD code = 99;
        if (!process.WaitForExit(&code)) {
            // Say what held it: a report open is the likeliest.
            const HWND report = process.WaitForReport(1);
            FAIL() << "no end after Quit"
                   << (report ? ", a report open: " + Narrow(KeepbootProcess::ReportText(report)) : std::string());
        }
        EXPECT_EQ(code, 0u);
    }

    std::wstring folder_, exe_;
    std::vector<std::unique_ptr<KeepbootProcess>> processes_;
};

class ProgramWatch : public Program {
protected:
    void TearDown() override {
        Program::TearDown();
        if (!shortcut_.empty()) ::DeleteFileW(shortcut_.c_str());
        for (const std::wstring& file : files_) DeleteFileAt(file);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder");
        // The copies of what the guard took and nobody gave back.
        wchar_t programData[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, programData, CSIDL_COMMON_APPDATA, FALSE))
            RemoveTree(std::wstring(programData) + L"\\Keepboot\\Backup");
        for (const std::wstring& name : names_) {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), name.c_str());
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + name).c_str());
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kStore + name).c_str());
        }
    }
    void AddRunValue(const std::wstring& name, const std::wstring& command) {
        names_.push_back(name);
        SetStringValue(HKEY_CURRENT_USER, kRun, name, command);
    }
    bool StoredWhole(const std::wstring& name, const std::wstring& command) {
        return ReadText(HKEY_LOCAL_MACHINE, kStore + name, L"command") == command &&
               ReadText(HKEY_LOCAL_MACHINE, kStore + name, L"hkey") == L"HKCU" &&
               ReadText(HKEY_LOCAL_MACHINE, kStore + name, L"key") == kRun;
    }
    // The text a control of another process holds: asked of the control,
    // since the system keeps no copy of what an edit control shows.
    static std::wstring ControlText(HWND control) {
        DWORD_PTR length = 0;
        if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return {};
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        ::SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                              5000, &copied);
        text.resize(std::min<std::size_t>(copied, length));
        return text;
    }
    // The open prompt's question, or empty text while none is shown.
    static std::wstring OpenQuestion(const KeepbootProcess& process) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        if (!dialog || !::IsWindowVisible(dialog)) return {};
        return ControlText(::GetDlgItem(dialog, PromptDialog::kQuestionId));
    }
    static void Answer(const KeepbootProcess& process, int button) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        ::PostMessageW(::GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    }
    // Two services made running while the guard asks: the stop offered for
    // each, ticked for the first. Each is disabled; only the first stops.
    void AnswerAboutRunningServices(const KeepbootProcess& process, HWND window);
    static std::wstring Question(const std::wstring& name) {
        return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
    }

    // A shortcut in this user's real Startup folder of the throwaway prefix.
    // How many notices on the history page say the text.
    static int NoticesSaying(const KeepbootProcess& process, HWND window, const std::wstring& text) {
        const RemoteListView history(FindDescendant(window, IdHistoryList), process.Process());
        int count = 0;
        for (int row = 0; row < history.Count(); ++row)
            count += history.Text(row, 1) == L"Notice" && history.Text(row, 4) == text;
        return count;
    }
    void AddStartupShortcut(const std::wstring& name, const ShellLinkData& link) {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
        shortcut_ = std::wstring(folder) + L"\\" + name + L".lnk";
        // A running guard may take it at once: what it did is checked, not
        // that the file is still there.
        WriteShellLink(shortcut_, link);
    }
    ShellLinkData ReadShortcut() {
        ShellLinkData link;
        ReadShellLink(shortcut_, link);
        return link;
    }

    const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring kStore = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\";
    std::vector<std::wstring> names_;
    std::wstring shortcut_;
    std::vector<std::wstring> files_;  // dropped into the Startup folder
};

// The watch with a one-minute interval: whatever happens within seconds,
// only a change notification can explain.
class ProgramNotifications : public ProgramWatch {
protected:
    static constexpr DWORD kWellInsideAnInterval = 15000;

    KeepbootProcess& StartWatching(const wchar_t* policy = L"0") {
        const std::wstring ini = folder_ + L"\\Keepboot.ini";
        ::WritePrivateProfileStringW(L"disable", L"interval_second", L"60", ini.c_str());
        ::WritePrivateProfileStringW(L"disable", L"system", policy, ini.c_str());
        KeepbootProcess& process = Start(L"-start");
        window_ = process.WaitForMainWindow();
        return process;
    }
    bool Gone(const std::wstring& name) { return ReadUserRunValue(name) == L"(none)"; }
    static unsigned long Counter(HWND window, MainWindow::Counter counter) {
        ::SendMessageW(window, MainWindow::kCounterMessage, MainWindow::TakeSnapshot, 0);
        return static_cast<unsigned long>(
            ::SendMessageW(window, MainWindow::kCounterMessage, counter, 0));
    }

    HWND window_ = nullptr;
};

}  // namespace kb::test
