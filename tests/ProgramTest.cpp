// Whole-program tests of the program itself: one instance, its window and
// icon, its settings file, the machine's views, the logon task.
#include "ProgramFixtures.h"
#include "app/Texts.h"
#include "platform/CurrentUser.h"

namespace kb::test {
namespace {

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
// nobody from guarding: only a Keepboot that answers does. One a start may
// not open (an elevated guard's, refused to a standard user) is taken as a
// guard's too: a start by hand brings that guard forward, never a second.
TEST_F(Program, MutexHeldByAnotherProgramDoesNotStopTheGuard) {
    UseTestedBuild();
    {
        const UniqueHandle impostor(::CreateMutexW(nullptr, FALSE, L"Keepboot"));
        ASSERT_TRUE(impostor);
        KeepbootProcess& process = Start(L"-start");
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return Watching(window); }));
        Quit(process, window);
    }
    KeepbootProcess& elevated = Start(L"-start");
    const HWND window = elevated.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", L"1");
    KeepbootProcess& second = Start();
    ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr);
    DWORD code = 99;
    ASSERT_TRUE(second.WaitForExit(&code, 20000)) << "no second guard";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; })) << "brought forward";
    Quit(elevated, window);
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


// The logon tasks, made and removed through the Task Scheduler of the
// throwaway prefix: each user's own.
class LogonTaskTest : public Program {
protected:
    void TearDown() override {
        SetStandardUserMode(false);
        for (const wchar_t* sid : {kFirst, kSecond}) LogonTaskSelfStart(sid)->Set(false, exe_);
        LogonTaskSelfStart(CurrentUserSid())->Set(false, exe_);
        Program::TearDown();
    }
    static constexpr wchar_t kFirst[] = L"S-1-5-21-1-2-3-1001";
    static constexpr wchar_t kSecond[] = L"S-1-5-21-1-2-3-1002";
};

TEST_F(LogonTaskTest, EachUserHasTheirOwnReplacingTheRunValue) {
    const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SetStringValue(HKEY_LOCAL_MACHINE, run, L"Keepboot", L"\"C:\\Old\\Keepboot.exe\" -start");
    const std::unique_ptr<SelfStart> first = LogonTaskSelfStart(kFirst), second = LogonTaskSelfStart(kSecond);
    ASSERT_EQ(first->Set(true, exe_), SelfStart::Result::Done);
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, run, L"Keepboot").exists)
        << "the earlier version's Run value goes when the task is made";
    EXPECT_FALSE(second->Registered()) << "one user's task is not another's";
    ASSERT_EQ(second->Set(true, exe_), SelfStart::Result::Done);
    EXPECT_TRUE(first->Registered());
    ASSERT_EQ(first->Set(false, exe_), SelfStart::Result::Done);
    EXPECT_FALSE(first->Registered());
    EXPECT_TRUE(second->Registered()) << "each removed alone";
    EXPECT_EQ(first->Set(false, exe_), SelfStart::Result::Done) << "nothing to remove";
    ASSERT_EQ(first->Set(true, exe_), SelfStart::Result::Done);
    RemoveEverySelfStart();
    EXPECT_FALSE(first->Registered() || second->Registered()) << "removing the program removes every user's";

    SetStandardUserMode(true);
    EXPECT_EQ(first->Set(true, exe_), SelfStart::Result::NeedsAdministrator);
    EXPECT_FALSE(first->Registered());
}

// A standard user ticks the box: the elevated instance makes that user's
// task, whoever lends it the rights.
TEST_F(LogonTaskTest, TheElevatedInstanceMakesTheTaskOfTheUserWhoTicked) {
    KeepbootProcess& process = StartTestedWith(L"KEEPBOOT_TEST_STANDARD_USER");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(FindDescendant(window, IdSelfStartBox), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return LogonTaskSelfStart(CurrentUserSid())->Registered(); }));
    EXPECT_TRUE(WaitUntil([&] {
        return ::SendMessageW(FindDescendant(window, IdSelfStartBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }));
    // Untick and Quit at once: the end waits for the elevated instance and
    // says no failure of what it did.
    ::PostMessageW(FindDescendant(window, IdSelfStartBox), BM_CLICK, 0, 0);
    Quit(process, window);
    EXPECT_FALSE(LogonTaskSelfStart(CurrentUserSid())->Registered());
}

// The window never waits on the Task Scheduler: with one that never answers
// (the test build's seam), a tick leaves the window answering, greys the box
// until it gives up, says so, and Quit still ends the program.
TEST_F(LogonTaskTest, ASchedulerThatNeverAnswersHoldsNoWindow) {
    KeepbootProcess& process = StartTestedWith(L"KEEPBOOT_TEST_SILENT_SCHEDULER");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND box = FindDescendant(window, IdSelfStartBox);
    ::PostMessageW(box, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowEnabled(box); })) << "greyed while under way";
    DWORD_PTR status = 0;
    EXPECT_NE(::SendMessageTimeoutW(window, MainWindow::kStatusMessage, 0, 0, SMTO_ABORTIFHUNG, 2000, &status), 0)
        << "the window answers meanwhile";
    const HWND report = process.WaitForReport();
    ASSERT_NE(report, nullptr);
    EXPECT_NE(KeepbootProcess::ReportText(report).find(UiText(IDS_SCHEDULER_SILENT, {L"10"})), std::wstring::npos)
        << Narrow(KeepbootProcess::ReportText(report));
    KeepbootProcess::CloseReport(report);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(box) != FALSE; }));
    EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "nothing changed, nothing shown as changed";
    Quit(process, window);
}

// Wine's scheduler keeps no trigger or principal of a task it is given, so
// what Windows is given is checked as text.
TEST(LogonTaskDefinition, StartsHiddenAtThisUsersLogonWithTheHighestRights) {
    const std::wstring xml = LogonTaskXml(L"C:\\A&B\\Keepboot.exe", L"S-1-5-21-1-2-3-1001");
    EXPECT_EQ(LogonTaskName(L"S-1-5-21-1-2-3-1001"), L"Keepboot (S-1-5-21-1-2-3-1001)");
    for (const wchar_t* part :
         {L"<LogonTrigger><Enabled>true</Enabled><UserId>S-1-5-21-1-2-3-1001</UserId></LogonTrigger>",
          L"<Priority>5</Priority>",
          L"<RunLevel>HighestAvailable</RunLevel>", L"<LogonType>InteractiveToken</LogonType>",
          L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
          L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
          L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
          L"<Command>C:\\A&amp;B\\Keepboot.exe</Command><Arguments>-start</Arguments>"})
        EXPECT_NE(xml.find(part), std::wstring::npos) << Narrow(part);
}

}  // namespace
}  // namespace kb::test
