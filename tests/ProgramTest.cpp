// Whole-program tests: Keepboot.exe runs as its own process and is driven
// from here through window messages. They change the real registry of the
// system they run on, so they run only in the throwaway Wine prefix that
// the test runner makes.
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
#include "app/History.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/SelfStart.h"
#include "platform/Faults.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "startup/StartupPlaces.h"
#include "shelllink/ShellLink.h"

namespace kb::test {
namespace {

// Room for a slow or busy machine on top of the interval the tests check:
// starting a Wine process and the check itself take their time too.
constexpr DWORD kSlackMs = 4000;

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
        // Each test's program starts with no history of the earlier ones.
        ::DeleteFileW(DefaultHistoryPath().c_str());
    }
    void TearDown() override {
        processes_.clear();
        if (!folder_.empty()) RemoveTree(folder_);
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
        ASSERT_TRUE(process.WaitForExit(&code));
        EXPECT_EQ(code, 0u);
    }

    std::wstring folder_, exe_;
    std::vector<std::unique_ptr<KeepbootProcess>> processes_;
};

TEST_F(Program, SecondStartEndsAtOnceAndLeavesTheFirstAlone) {
    KeepbootProcess& first = Start();
    const HWND window = first.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    KeepbootProcess& second = Start(L"-start");
    DWORD code = 99;
    ASSERT_TRUE(second.WaitForExit(&code, 20000));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(first.Running());
    // Shown once it is ready, which may be a moment after it answers.
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
    EXPECT_FALSE(Watching(window)) << "the second start told the first nothing";
    Quit(first, window);
}

TEST_F(Program, SecondStartByHandBringsTheFirstForward) {
    KeepbootProcess& first = Start(L"-start");
    const HWND window = first.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(::IsWindowVisible(window));
    KeepbootProcess& second = Start();
    DWORD code = 99;
    ASSERT_TRUE(second.WaitForExit(&code, 20000));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
    EXPECT_TRUE(Watching(window));
    Quit(first, window);
}

// The name "Keepboot" taken by another program (one line of code) keeps
// nobody from guarding: only a Keepboot that answers does.
TEST_F(Program, MutexHeldByAnotherProgramDoesNotStopTheGuard) {
    const UniqueHandle impostor(::CreateMutexW(nullptr, FALSE, L"Keepboot"));
    ASSERT_TRUE(impostor);
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return Watching(window); }));
    Quit(process, window);
}

TEST_F(Program, StartArgumentInFirstOrSecondPlaceStartsHiddenAndWatching) {
    for (const std::wstring args : {L"-start", L"other -start"}) {
        SCOPED_TRACE(Narrow(args));
        KeepbootProcess& process = Start(args);
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(::IsWindowVisible(window));
        EXPECT_TRUE(Watching(window));
        Quit(process, window);
    }
}

TEST_F(Program, OtherArgumentsStartShownAndNotWatching) {
    for (const std::wstring args : {L"-START", L"a b -start", L""}) {
        SCOPED_TRACE(Narrow(args));
        KeepbootProcess& process = Start(args);
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
        EXPECT_FALSE(Watching(window));
        Quit(process, window);
    }
}

TEST_F(Program, CloseAndMinimiseHideAndTheIconBringsTheWindowBack) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));

    const auto clickIcon = [&] {
        ::PostMessageW(window, MainWindow::kTrayMessage, 1, WM_LBUTTONDOWN);
        ::PostMessageW(window, MainWindow::kTrayMessage, 1, WM_LBUTTONUP);
    };
    const auto shownInFront = [&] {
        return ::IsWindowVisible(window) && !::IsIconic(window) &&
               ::GetForegroundWindow() == window &&
               !(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    };

    ::PostMessageW(::GetDlgItem(window, IdCloseButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }));
    EXPECT_TRUE(process.Running()) << "\"&Close\" only hides";
    clickIcon();
    EXPECT_TRUE(WaitUntil(shownInFront));

    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }));
    clickIcon();
    EXPECT_TRUE(WaitUntil(shownInFront));

    // The close box ends the program.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
}

TEST_F(Program, StartButtonStartsTheWatchAndHides) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
    ::PostMessageW(::GetDlgItem(window, IdStartButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) && Watching(window); }));
    Quit(process, window);
}

// A string value of the registry, or "(none)".
std::wstring ReadText(HKEY root, const std::wstring& key, const std::wstring& name) {
    const RawValue value = ReadRawValue(root, key, name);
    return value.exists ? value.text : L"(none)";
}

std::wstring ReadUserRunValue(const std::wstring& name) {
    return ReadText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", name);
}

TEST_F(Program, UncheckAndApplyMovesAValueIntoTheStoreAndBack) {
    const std::wstring name = L"Keepboot Program Test";
    const std::wstring command = L"C:\\Program Files\\Probe\\probe.exe -quiet";
    const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring stored =
        L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\" + name;
    SetStringValue(HKEY_CURRENT_USER, run, name, command);

    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RemoteListView list(FindDescendant(window, IdStartupList), process.Process());
    const HWND apply = FindDescendant(window, IdListApply);
    const int row = list.Find(name);
    ASSERT_GE(row, 0);
    EXPECT_TRUE(list.Checked(row));
    EXPECT_EQ(list.Text(row, 1), command);

    list.SetChecked(row, false);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(name) == L"(none)"; }));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, stored));
    ASSERT_TRUE(WaitUntil([&] {
        const int moved = list.Find(name);
        return moved >= 0 && !list.Checked(moved);
    }));

    list.SetChecked(list.Find(name), true);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(name) == command; }));
    EXPECT_TRUE(WaitUntil([&] { return !RawKeyExists(HKEY_LOCAL_MACHINE, stored); }));
    Quit(process, window);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, run.c_str(), name.c_str());
}

class ProgramWatch : public Program {
protected:
    void TearDown() override {
        Program::TearDown();
        if (!shortcut_.empty()) ::DeleteFileW(shortcut_.c_str());
        for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
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
    // The open prompt's question, or empty text while none is shown.
    static std::wstring OpenQuestion(const KeepbootProcess& process) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        if (!dialog || !::IsWindowVisible(dialog)) return {};
        wchar_t text[256] = {};
        ::GetWindowTextW(::GetDlgItem(dialog, PromptDialog::kQuestionId), text, 256);
        return text;
    }
    static void Answer(const KeepbootProcess& process, int button) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        ::PostMessageW(::GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    }
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

// Through the list page and back, a shortcut keeps every part: a tray
// program's arguments, its working folder, its description.
TEST_F(ProgramWatch, ShortcutThroughTheListComesBackWhole) {
    ShellLinkData link;
    link.Target = exe_;
    link.Arguments = L"-min --quiet";
    link.WorkingDirectory = folder_;
    link.Description = L"Starts the probe in the tray";
    link.IconLocation = exe_;
    link.IconIndex = 1;
    link.HotKey = MAKEWORD('P', 0x06);  // Ctrl+Alt+P
    AddStartupShortcut(L"Keepboot Probe", link);
    ASSERT_TRUE(FileExists(shortcut_)) << "no Keepboot runs yet";
    const ShellLinkData before = ReadShortcut();
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RemoteListView list(FindDescendant(window, IdStartupList), process.Process());
    const HWND apply = FindDescendant(window, IdListApply);
    ASSERT_GE(list.Find(L"Keepboot Probe"), 0);

    list.SetChecked(list.Find(L"Keepboot Probe"), false);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] {
        const int row = list.Find(L"Keepboot Probe");
        return !FileExists(shortcut_) && row >= 0 && !list.Checked(row);
    }));
    list.SetChecked(list.Find(L"Keepboot Probe"), true);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(shortcut_); }));
    EXPECT_EQ(ReadShortcut(), before);
    Quit(process, window);
}

TEST_F(ProgramWatch, HiddenStartDisablesANewValueWithinTwoIntervals) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const std::wstring command = L"C:\\Program Files\\Sneaky\\sneaky.exe /tray";
    AddRunValue(L"Sneaky Updater", command);
    const DWORD added = ::GetTickCount();
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(L"Sneaky Updater") == L"(none)"; }));
    const DWORD took = ::GetTickCount() - added;
    std::cout << "[ watch ] value disabled " << took << " ms after it appeared\n";
    EXPECT_LE(took, 2 * 3000u + kSlackMs) << "within two intervals";
    EXPECT_TRUE(StoredWhole(L"Sneaky Updater", command));
    EXPECT_FALSE(::IsWindowVisible(window));
    Quit(process, window);
}

TEST_F(ProgramWatch, AskPolicyPromptsWhileTheWindowStaysHidden) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(FindDescendant(window, IdStartupPolicyItem0 + 1), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(window, IdStartButton), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) && Watching(window); }));

    AddRunValue(L"First", L"first.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"First"); }));
    EXPECT_FALSE(::IsWindowVisible(window));
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return StoredWhole(L"First", L"first.exe"); }));
    EXPECT_EQ(ReadUserRunValue(L"First"), L"(none)");

    AddRunValue(L"Second", L"second.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Second"); }));
    Answer(process, PromptDialog::kEnableId);
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));

    // The enabled one is known now: the next question is about the next entry.
    AddRunValue(L"Third", L"third.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Third"); }));
    Answer(process, PromptDialog::kCancelId);
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));
    // Cancel leaves it, and the question comes again.
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Third"); }));
    EXPECT_EQ(ReadUserRunValue(L"Third"), L"third.exe");
    EXPECT_EQ(ReadUserRunValue(L"Second"), L"second.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return StoredWhole(L"Third", L"third.exe"); }));
    Quit(process, window);
}

TEST_F(Program, SettingsLiveBesideTheProgramAcrossRuns) {
    {
        KeepbootProcess& process = Start();
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        ::PostMessageW(FindDescendant(window, IdStartupPolicyItem0 + 1), BM_CLICK, 0, 0);
        ::PostMessageW(FindDescendant(window, IdStartPagePolicyItem0 + 2), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] {
            return ::SendMessageW(FindDescendant(window, IdStartPagePolicyItem0 + 2), BM_GETCHECK, 0, 0) ==
                   BST_CHECKED;
        }));
        Quit(process, window);
    }
    const std::wstring ini = folder_ + L"\\Keepboot.ini";
    wchar_t text[16] = {};
    ::GetPrivateProfileStringW(L"disable", L"system", L"", text, 16, ini.c_str());
    EXPECT_STREQ(text, L"1");
    ::GetPrivateProfileStringW(L"disable", L"ie", L"", text, 16, ini.c_str());
    EXPECT_STREQ(text, L"2");

    KeepbootProcess& again = Start();
    const HWND window = again.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::SendMessageW(FindDescendant(window, IdStartupPolicyItem0 + 1), BM_GETCHECK, 0, 0),
              BST_CHECKED);
    Quit(again, window);
}

TEST_F(Program, StartPageChangedFromOutsideIsPutBack) {
    const std::wstring key = L"HKCU\\SOFTWARE\\Microsoft\\Internet Explorer\\Main";
    ASSERT_EQ(RunToEnd(L"reg add \"" + key +
                       L"\" /v \"Start Page\" /d \"http://home.example/\" /f"),
              0);
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(RunToEnd(L"reg add \"" + key +
                       L"\" /v \"Start Page\" /d \"http://hijacked.example/\" /f"),
              0);
    const DWORD changed = ::GetTickCount();
    const auto startPage = [] {
        return ReadText(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer\\Main",
                        L"Start Page");
    };
    EXPECT_TRUE(WaitUntil([&] { return startPage() == L"http://home.example/"; }));
    EXPECT_LE(::GetTickCount() - changed, 2 * 3000u + kSlackMs) << "within two intervals";
    Quit(process, window);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// Each way the landed watch could be blinded or turned against what it
// guards, made from outside while Keepboot runs hidden under "disable all".
class ProgramFaults : public ProgramWatch {
protected:
    void TearDown() override {
        ProgramWatch::TearDown();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Odd").c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kStore + L"Odd").c_str());
    }
    // Nothing moves for two intervals and the slack.
    static bool StaysFor2Intervals(const std::function<bool()>& unchanged) {
        return !WaitUntil([&] { return !unchanged(); }, 2 * 3000u + kSlackMs);
    }
    bool Live(const std::wstring& name) { return ReadUserRunValue(name) != L"(none)"; }
};

TEST_F(ProgramFaults, ClosingWithAnUnwritableSettingsFileDisablesNothing) {
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    // The settings file is held open by another program.
    UniqueHandle lock(::CreateFileW((folder_ + L"\\Keepboot.ini").c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const HWND report = process.WaitForReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(KeepbootProcess::ReportText(report).rfind(L"Unable to write to ", 0), 0u);
    AddRunValue(L"Newcomer", L"newcomer.exe");
    EXPECT_TRUE(StaysFor2Intervals([&] { return Live(L"Known") && Live(L"Newcomer"); }))
        << "no check runs while the closing program reports";
    KeepbootProcess::CloseReport(report);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ProgramFaults, ValueThatIsNotTextBlindsNothing) {
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const DWORD number = 1;
    names_.push_back(L"Odd");
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Odd", REG_DWORD, &number, sizeof number);
    // The notice waits for nobody: the next value goes while it shows.
    AddRunValue(L"Newcomer", L"newcomer.exe");
    const DWORD added = ::GetTickCount();
    EXPECT_TRUE(WaitUntil([&] { return !Live(L"Newcomer"); }));
    EXPECT_LE(::GetTickCount() - added, 2 * 3000u + kSlackMs) << "within two intervals";
    EXPECT_TRUE(StoredWhole(L"Newcomer", L"newcomer.exe"));
    EXPECT_TRUE(WaitUntil([&] { return NoticesSaying(process, window, L"Invalid data type for 'Odd'") == 1; }));
    EXPECT_TRUE(StaysFor2Intervals(
        [&] { return NoticesSaying(process, window, L"Invalid data type for 'Odd'") == 1; }))
        << "told once, not at every check";
    EXPECT_EQ(process.WaitForReport(1), nullptr) << "no modal report";

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Odd");
    EXPECT_TRUE(StaysFor2Intervals([&] { return Live(L"Known"); }));
    Quit(process, window);
}

TEST_F(ProgramFaults, OddStoreEntryMovesNoShortcut) {
    AddStartupShortcut(L"Keepboot Test Link", LinkTo(exe_));
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Odd", L"item", L"Odd");
    const DWORD number = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, kStore + L"Odd", L"command", REG_DWORD, &number, sizeof number);
    ::PostMessageW(FindDescendant(window, IdListReload), BM_CLICK, 0, 0);
    EXPECT_TRUE(
        WaitUntil([&] { return NoticesSaying(process, window, L"Invalid data type for 'command'") == 1; }));
    EXPECT_TRUE(StaysFor2Intervals([&] { return FileExists(shortcut_); }));
    EXPECT_EQ(process.WaitForReport(1), nullptr) << "no modal report";
    Quit(process, window);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

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

TEST_F(ProgramNotifications, ValueAndShortcutAreDisabledWellInsideTheInterval) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"Quick", L"quick.exe");
    DWORD added = ::GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Quick"); }, kWellInsideAnInterval));
    std::cout << "[ notify ] value disabled " << ::GetTickCount() - added << " ms after it appeared\n";
    EXPECT_TRUE(StoredWhole(L"Quick", L"quick.exe"));
    // And it is on record, in this user's history file.
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::any_of(records.begin(), records.end(), [](const HistoryRecord& r) {
            return r.what == L"Disabled" && r.by == L"the watch" && r.item == L"Quick" &&
                   r.command == L"quick.exe";
        });
    }));

    AddStartupShortcut(L"Keepboot Quick Link", LinkTo(exe_));
    added = ::GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return !FileExists(shortcut_); }, kWellInsideAnInterval));
    std::cout << "[ notify ] shortcut disabled " << ::GetTickCount() - added << " ms after it appeared\n";
    const std::wstring folderStore = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";
    std::wstring subkey = shortcut_;
    std::replace(subkey.begin(), subkey.end(), L'\\', L'^');
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, folderStore + L"\\" + subkey, L"item"),
              L"Keepboot Quick Link")
        << "stored, not lost";
    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 0u) << "no interval has passed";
    Quit(process, window_);
}

// Any file dropped into the Startup folder is taken at once, whatever its
// kind, and comes back from the list as the very bytes it was.
TEST_F(ProgramNotifications, AnyFileDroppedIntoStartupIsTakenAndComesBackWhole) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    wchar_t folder[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
    const std::map<std::wstring, std::string> files{
        {L"Keepboot Batch.bat", "@echo off\r\nstart quick.exe\r\n"},
        {L"Keepboot Program.exe", std::string("MZ\x90\0", 4) + std::string(5000, 'x')},
        {L"Keepboot Site.url", "[InternetShortcut]\r\nURL=https://example.invalid/\r\n"}};
    for (const auto& [name, bytes] : files) {
        files_.push_back(std::wstring(folder) + L"\\" + name);
        WriteFileBytes(files_.back(), bytes);
    }
    const auto all = [&](const auto& is) {
        return std::all_of(files_.begin(), files_.end(), is);
    };
    ASSERT_TRUE(WaitUntil([&] { return all([](const std::wstring& f) { return !FileExists(f); }); },
                          kWellInsideAnInterval));

    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    const auto row = [&](const std::wstring& name) { return list.Find(name.substr(0, name.rfind(L'.'))); };
    ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] {
        return std::all_of(files.begin(), files.end(), [&](const auto& f) { return row(f.first) >= 0; });
    }));
    for (const auto& [name, bytes] : files) list.SetChecked(row(name), true);
    ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return all([](const std::wstring& f) { return FileExists(f); }); }));
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadFileBytes(std::wstring(folder) + L"\\" + name), bytes) << Narrow(name);
    Quit(process, window_);
}

// Moving the user's Startup folder does not walk around the watch: the
// folder is guarded where logon now takes it from, at once.
TEST_F(ProgramNotifications, MovedStartupFolderIsGuardedWhereItIsNow) {
    const std::wstring key = kUserShellFoldersKey;
    const RawValue before = ReadRawValue(HKEY_CURRENT_USER, key, L"Startup");
    ScopeExit restore([&] {
        if (before.exists)
            SetStringValue(HKEY_CURRENT_USER, key, L"Startup", before.text, before.type);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Startup");
    });
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    const std::wstring moved = folder_ + L"\\Moved Startup";
    ASSERT_TRUE(::CreateDirectoryW(moved.c_str(), nullptr));
    SetStringValue(HKEY_CURRENT_USER, key, L"Startup", moved, REG_EXPAND_SZ);
    EXPECT_TRUE(WaitUntil(
        [&] { return NoticesSaying(process, window_, L"The Startup folder is now " + moved + L".") == 1; },
        kWellInsideAnInterval));
    shortcut_ = moved + L"\\Planted.lnk";
    WriteShellLink(shortcut_, LinkTo(exe_));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(shortcut_); }, kWellInsideAnInterval));
    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 0u) << "no interval has passed";
    Quit(process, window_);
}

// A watched key deleted and made again is watched again at once, not only
// at the next interval. (Wine renames no folder that a change notification
// holds open, so the same for a Startup folder cannot be played here.)
TEST_F(ProgramNotifications, KeyDeletedAndMadeAgainStaysWatched) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRun.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kRun.c_str());
    ASSERT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kRun));
    AddRunValue(L"Again", L"again.exe");
    EXPECT_TRUE(WaitUntil([&] { return Gone(L"Again"); }, kWellInsideAnInterval));

    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 0u) << "no interval has passed";
    Quit(process, window_);
}

TEST_F(ProgramNotifications, RunKeyMadeAfterTheStartIsWatched) {
    const std::wstring runOnce = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, runOnce.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, runOnce.c_str());
    ASSERT_FALSE(RawKeyExists(HKEY_CURRENT_USER, runOnce));
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    SetStringValue(HKEY_CURRENT_USER, runOnce, L"Late Key", L"late.exe");
    EXPECT_TRUE(WaitUntil([&] { return !ReadRawValue(HKEY_CURRENT_USER, runOnce, L"Late Key").exists; },
                          kWellInsideAnInterval));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kStore + L"Late Key"));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Late Key").c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kStore + L"Late Key").c_str());
    Quit(process, window_);
}

// A change made while a question waits is asked about once that one is
// answered: one prompt at a time, and nothing missed.
// Known is the place, the name and what it starts: a name known in the
// machine's Run key is new in the user's, and a known value rewritten to
// start another program is new; the prompt shows both commands.
TEST_F(ProgramNotifications, KnownNameElsewhereAndRewrittenCommandAreNew) {
    const std::wstring machineRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SetStringValue(HKEY_LOCAL_MACHINE, machineRun, L"Vendor", L"vendor.exe");
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);

    AddRunValue(L"Vendor", L"C:\\evil\\impostor.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Vendor"); },
                          kWellInsideAnInterval));
    Answer(process, PromptDialog::kDisableId);
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Vendor"); }));
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, machineRun, L"Vendor"), L"vendor.exe");

    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"C:\\evil\\x.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Known"); },
                          kWellInsideAnInterval));
    const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
    EXPECT_EQ(WindowText(::GetDlgItem(dialog, PromptDialog::kStartsId)), L"Starts: C:\\evil\\x.exe");
    EXPECT_EQ(WindowText(::GetDlgItem(dialog, PromptDialog::kBeforeId)), L"Before: known.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return Gone(L"Known"); }));
    EXPECT_TRUE(StoredWhole(L"Known", L"C:\\evil\\x.exe")) << "stored with what it starts now";
    Quit(process, window_);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, machineRun.c_str(), L"Vendor");
}

TEST_F(ProgramNotifications, ChangeDuringAQuestionIsAskedAboutAfterIt) {
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"First", L"first.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"First"); },
                          kWellInsideAnInterval));
    AddRunValue(L"Second", L"second.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Second"); },
                          kWellInsideAnInterval));
    EXPECT_TRUE(Gone(L"First"));
    Answer(process, PromptDialog::kEnableId);
    EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));
    EXPECT_FALSE(Gone(L"Second"));
    Quit(process, window_);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// On 64-bit Windows: the machine's 64-bit Run key, which a 32-bit program
// sees only when it asks for that view.
class ProgramViews : public Program {
protected:
    void SetUp() override {
        Program::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!Is64BitWindows()) GTEST_SKIP() << "32-bit Windows has one view";
    }
    void TearDown() override {
        Program::TearDown();
        for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            if (OpenedKey key = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kMachineRun, view))
                key->DeleteValue(kName);
            RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kStored, view);
        }
    }
    bool In(REGSAM view) const {
        return ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRun, kName, view).exists;
    }

    const std::wstring kMachineRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring kName = L"Keepboot Sixty-Four";
    const std::wstring kStored =
        L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Keepboot Sixty-Four";
};

TEST_F(ProgramViews, ValueInThe64BitViewGoesToThe64BitStoreAndBack) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRun, kName, L"C:\\sixty-four.exe", REG_SZ,
                   KEY_WOW64_64KEY);
    ASSERT_TRUE(WaitUntil([&] { return !In(KEY_WOW64_64KEY); })) << "disabled by the watch";
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kStored, KEY_WOW64_64KEY));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kStored, KEY_WOW64_32KEY));

    const RemoteListView list(FindDescendant(window, IdStartupList), process.Process());
    ::PostMessageW(FindDescendant(window, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return list.Find(kName) >= 0; }));
    EXPECT_EQ(list.Text(list.Find(kName), 2),
              L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    list.SetChecked(list.Find(kName), true);
    ::PostMessageW(FindDescendant(window, IdListApply), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return In(KEY_WOW64_64KEY); }));
    EXPECT_FALSE(In(KEY_WOW64_32KEY)) << "back in its own view";
    EXPECT_TRUE(WaitUntil([&] { return !RawKeyExists(HKEY_LOCAL_MACHINE, kStored, KEY_WOW64_64KEY); }));
    Quit(process, window);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// Whether the shell holds the program's icon: changing nothing of an icon
// succeeds only for one it has.
bool ShellHasIcon(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = window;
    data.uID = 1;
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// Explorer restarted: the new taskbar knows no icons and says so with
// "TaskbarCreated"; the program adds its icon again.
TEST_F(Program, IconComesBackWithANewTaskbar) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ShellHasIcon(window));
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = window;
    data.uID = 1;
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));  // what a restarted shell forgets
    ASSERT_FALSE(ShellHasIcon(window));
    ::PostMessageW(window, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ShellHasIcon(window); }));
    Quit(process, window);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// Keepboot.exe as Windows 10 and 11 run it for a standard user: the
// standard-user mode refuses it every write below HKEY_LOCAL_MACHINE and
// into its own folder, which Wine would allow.
class ProgramRights : public ProgramNotifications {
protected:
    void SetUp() override {
        ProgramNotifications::SetUp();
        ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", L"1");
        wchar_t appData[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
        userSettings_ = std::wstring(appData) + L"\\Keepboot\\Keepboot.ini";
        ::DeleteFileW(userSettings_.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr);
        ProgramNotifications::TearDown();
        ::DeleteFileW(userSettings_.c_str());
        for (const wchar_t* name : {L"Vendor", L"Known Vendor"})
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMachineRunKey, name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Keepboot");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Held").c_str());
    }
    static constexpr wchar_t kMachineRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    std::wstring userSettings_;
};

TEST_F(ProgramRights, StandardUserSeesEverythingAndGuardsWhatIsTheirs) {
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Known Vendor", L"known.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"item", L"Held");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"command", L"held.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"hkey", L"HKLM");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"key", kMachineRunKey);
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);

    // A machine entry is reported without a box, and never silently left:
    // it stays live until someone with the rights disables it.
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor", L"vendor.exe");
    EXPECT_TRUE(WaitUntil([&] { return Counter(window_, MainWindow::Notices) >= 1; },
                          kWellInsideAnInterval));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor"), Text(L"vendor.exe"));
    // The user's own entry is the user's to disable.
    AddRunValue(L"Mine", L"mine.exe");
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Mine"); }, kWellInsideAnInterval));
    EXPECT_EQ(process.WaitForReport(500), nullptr) << "no modal box";

    // Everything is listed, the machine's and the stored entries too, and
    // the user's own comes back from the list.
    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return list.Find(L"Mine") >= 0; }));
    EXPECT_GE(list.Find(L"Known Vendor"), 0);
    EXPECT_GE(list.Find(L"Held"), 0);
    EXPECT_FALSE(list.Checked(list.Find(L"Mine")));
    list.SetChecked(list.Find(L"Mine"), true);
    ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(L"Mine") == L"mine.exe"; }));

    // Settings where the user may write: no error at the end.
    ::PostMessageW(::GetDlgItem(window_, IdQuitButton), BM_CLICK, 0, 0);
    EXPECT_EQ(process.WaitForReport(3000), nullptr) << "no \"Unable to write to ...\"";
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(FileExists(userSettings_));
    wchar_t interval[16] = {};
    ::GetPrivateProfileStringW(L"disable", L"interval_second", L"", interval, 16,
                               userSettings_.c_str());
    EXPECT_STREQ(interval, L"60") << "what the program folder's file started with";
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Keepboot").exists);
}

// What the elevated instance is started with does the move and ends: run
// here directly, since Wine lends every process every right.
TEST_F(ProgramRights, ElevatedInstanceDoesTheNamedMoveAndEnds) {
    ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr);
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor", L"vendor.exe");
    const std::wstring command = L"\"" + exe_ + L"\" -move value HKLM 0 \"" +
                                 std::wstring(kMachineRunKey) + L"\" Vendor value HKLM 0 \"" +
                                 std::wstring(kMachineRunKey) + L"\" Gone";
    EXPECT_EQ(RunToEnd(command), 1) << "one named entry was not there";
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor").exists);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kStore + L"Vendor", L"command"), L"vendor.exe");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Vendor").c_str());
}

// The logon task, made and removed through the Task Scheduler of the
// throwaway prefix (under another name than the program's own).
class LogonTaskTest : public Program {
protected:
    void TearDown() override {
        SetStandardUserMode(false);
        LogonTaskSelfStart(kName)->Set(false, exe_);
        Program::TearDown();
    }
    static constexpr wchar_t kName[] = L"Keepboot Test Task";
};

TEST_F(LogonTaskTest, IsMadeReplacingTheRunValueAndRemoved) {
    const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SetStringValue(HKEY_LOCAL_MACHINE, run, L"Keepboot", L"\"C:\\Old\\Keepboot.exe\" -start");
    const std::unique_ptr<SelfStart> task = LogonTaskSelfStart(kName);
    ASSERT_EQ(task->Set(true, exe_), SelfStart::Result::Done);
    EXPECT_TRUE(task->Registered());
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, run, L"Keepboot").exists)
        << "the earlier version's Run value goes when the task is made";
    ASSERT_EQ(task->Set(false, exe_), SelfStart::Result::Done);
    EXPECT_FALSE(task->Registered());
    EXPECT_EQ(task->Set(false, exe_), SelfStart::Result::Done) << "nothing to remove";

    SetStandardUserMode(true);
    EXPECT_EQ(task->Set(true, exe_), SelfStart::Result::NeedsAdministrator);
    EXPECT_FALSE(task->Registered());
}

// Wine's scheduler keeps no trigger or principal of a task it is given, so
// what Windows is given is checked as text.
TEST(LogonTaskDefinition, StartsHiddenAtThisUsersLogonWithTheHighestRights) {
    const std::wstring xml = LogonTaskXml(L"C:\\A&B\\Keepboot.exe", L"S-1-5-21-1-2-3-1001");
    for (const wchar_t* part :
         {L"<LogonTrigger><Enabled>true</Enabled><UserId>S-1-5-21-1-2-3-1001</UserId></LogonTrigger>",
          L"<RunLevel>HighestAvailable</RunLevel>", L"<LogonType>InteractiveToken</LogonType>",
          L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
          L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
          L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
          L"<Command>C:\\A&amp;B\\Keepboot.exe</Command><Arguments>-start</Arguments>"})
        EXPECT_NE(xml.find(part), std::wstring::npos) << Narrow(part);
}

}  // namespace
}  // namespace kb::test
