// The watch as the main window runs it: the timer's checks, the list rows
// of allowed entries, reloads during a question, and the window's lifetime.
#include <set>
#include <thread>

#include "WindowHarness.h"
#include "platform/Error.h"
#include "platform/ShowableText.h"
#include "app/ErrorReport.h"
#include "app/PromptDialog.h"
#include "platform/Faults.h"
#include "app/services/MessagePump.h"

namespace kb::test {
namespace {

std::wstring Question(const std::wstring& name) {
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

class Watch : public WindowTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        WindowTest::TearDown();
    }
    MainWindow& Ready(int policy) {
        MainWindow& w = MakeWindow();
        w.Pages().Settings().ChoosePolicies(policy, 2);
        return w;
    }
    bool Live(const std::wstring& name) { return ReadRawValue(HKEY_CURRENT_USER, kRun, name).exists; }
};

TEST_F(Watch, AllowedEntryIsListedCheckedAtTheEnd) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Old", L"old.exe");
    MainWindow& w = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    answer = [](const std::wstring&) { return Decision::Allow; };
    Tick();
    EXPECT_EQ(questions, (Names{Question(L"New")}));
    EXPECT_EQ(ListRows(w.Pages().List().Controls().list),
              (std::vector<ListRow>{{L"Old", L"old.exe", L"HKLM\\" + kRun, true},
                                    {L"New", L"new.exe", L"HKCU\\" + kRun, true}}));
}

TEST_F(Watch, DisabledEntryWaitsForTheNextReloadToBeListed) {
    MainWindow& w = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Tick();
    EXPECT_FALSE(Live(L"New"));
    EXPECT_TRUE(ListRows(w.Pages().List().Controls().list).empty());
    w.Pages().List().Reload();
    EXPECT_EQ(ListRows(w.Pages().List().Controls().list),
              (std::vector<ListRow>{{L"New", L"new.exe", L"HKCU\\" + kRun, false}}));
}

TEST_F(Watch, ReloadAskedForDuringAQuestionWaitsForTheChecksEnd) {
    MainWindow& w = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Alpha", L"a.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bravo", L"b.exe");
    answer = [&](const std::wstring&) {
        w.Pages().List().Reload();  // the user reloads the list while the question waits
        EXPECT_TRUE(w.Guard().Known().live.Of<RunValueEntry>().empty()) << "what the check compares with stays";
        return Decision::Leave;
    };
    Tick();
    EXPECT_EQ(questions, (Names{Question(L"Alpha"), Question(L"Bravo")}));
    EXPECT_EQ(ListRows(w.Pages().List().Controls().list).size(), 2u) << "the reload ran once the check was over";
    Tick();
    EXPECT_EQ(questions.size(), 4u) << "what was left is asked about again: the reload made nothing known";
}

// A report (of the user's own action, or of something unexpected) waits
// for its OK; the guard does not.
// What comes while the user refreshes the list or applies it is not made
// known by them: the next check handles it by its policy, and records it.
TEST_F(Watch, WhatArrivesDuringARefrushOrAnApplyGoesThroughItsPolicy) {
    const std::wstring component = L"Software\\Microsoft\\Active Setup\\Installed Components\\{arrival}";
    const auto arrive = [&] {
        SetStringValue(HKEY_CURRENT_USER, kRun, L"UserArrival", L"user.exe");
        SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"MachineArrival", L"machine.exe");
        SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"RunOnce", L"OnceArrival", L"once.exe");
        SetStringValue(HKEY_LOCAL_MACHINE, component, L"StubPath", L"component.exe");
    };
    const struct {
        const char* what;
        std::function<void(MainWindow&)> act;
    } cases[] = {
        {"a Refrush", [&](MainWindow& w) { arrive(), w.Pages().List().Reload(); }},
        // The writers come while Apply moves the user's entry.
        {"an Apply", [&](MainWindow& w) {
             const std::vector<ListRow> rows = ListRows(w.Pages().List().Controls().list);
             for (std::size_t row = 0; row < rows.size(); ++row)
                 if (rows[row].item == L"Mine")
                     ListView_SetCheckState(w.Pages().List().Controls().list, static_cast<int>(row), FALSE);
             bool arrived = false;
             SetFaultInjector([&](FaultPoint point) {
                 if (point == FaultPoint::RegistryWrite && !std::exchange(arrived, true)) arrive();
                 return false;
             });
             w.Pages().List().Apply();
             SetFaultInjector({});
             EXPECT_TRUE(arrived);
             EXPECT_FALSE(Live(L"Mine"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Mine", L"mine.exe");
        MainWindow& w = Ready(0);
        c.act(w);
        // A component is moved once its writer has been quiet a while.
        for (const DWORD start = ::GetTickCount();
             RawKeyExists(HKEY_LOCAL_MACHINE, component) && ::GetTickCount() - start < 15000; ::Sleep(50))
            Tick();
        EXPECT_FALSE(Live(L"UserArrival"));
        EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"MachineArrival").exists);
        EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kCv + L"RunOnce", L"OnceArrival").exists);
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, component));
        std::set<std::wstring> recorded;
        for (const HistoryRecord& r : Records())
            if (r.kind == RecordKind::Disabled) recorded.insert(r.item);
        EXPECT_EQ(recorded, (std::set<std::wstring>{L"UserArrival", L"MachineArrival", L"OnceArrival", L"{arrival}"}));
        window.reset();
        ::DeleteFileW((Folder(L"App") + L"\\history.log").c_str());
    }
}

TEST_F(Watch, WatchGoesOnWhileAReportIsOpen) {
    MainWindow& w = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    SetErrorReportSink([&](const std::wstring& text) {
        reports.push_back(text);
        Tick();
        EXPECT_FALSE(Live(L"New")) << "disabled while the report is open";
    });
    ShowErrorReport(L"something");
    EXPECT_EQ(Reports().size(), 1u);
    EXPECT_TRUE(w.Ready());
}

// What the guard has to say is a notice: nothing waits for it, every one
// is kept in the history, and none comes again while its cause stays.
TEST_F(Watch, NoticesPauseNothingAndAreKeptInTheHistory) {
    const DWORD number = 1;
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    MainWindow& w = Ready(0);
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Blob", REG_BINARY, &number, sizeof number);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Tick();
    EXPECT_FALSE(Live(L"New"));
    Tick();
    EXPECT_TRUE(Reports().empty()) << "no modal report";
    EXPECT_EQ(NoticeLines(w.Pages().History().Controls().list),
              (Names{L"Invalid data type for 'Blob'", L"Invalid data type for 'Counter'"}));
}

// A Startup folder that is a file is named on the list page, once in the
// notices, and blinds no other place.
TEST_F(Watch, UnreadableFolderIsNamedAndTheOthersAreGuarded) {
    WriteFileBytes(UserStartup() + L"-file", "");
    StartupFolders folders = Folders();
    folders.userStartup += L"-file";
    MainWindow& w = MakeWindow({}, folders);
    w.Pages().Settings().ChoosePolicies(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Tick();
    EXPECT_FALSE(Live(L"New"));
    w.Pages().List().Reload();
    EXPECT_EQ(WindowText(w.Pages().List().Controls().unreadablePlaces), L"Not read: " + UserStartup() + L"-file");
    EXPECT_EQ(NoticeLines(w.Pages().History().Controls().list),
              (Names{L"Cannot read " + UserStartup() +
                     L"-file: it is not a folder. What it held before stays guarded."}));
    EXPECT_TRUE(Reports().empty());
}

// A long check handles the window's messages between its steps: the window
// answers, and Quit ends the check part-way, leaving the rest as it is.
TEST_F(Watch, QuitEndsALongCheckPartWay) {
    MainWindow& w = Ready(0);
    constexpr int kNew = 500;
    for (int i = 0; i < kNew; ++i)
        SetStringValue(HKEY_CURRENT_USER, kRun, L"New " + std::to_wstring(i), L"new.exe");
    // Quit once the check has begun its moves: from another thread, as the
    // user's click comes while the check runs.
    std::thread user([&] {
        for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < 10000 && Live(L"New 0");) ::Sleep(1);
        ::PostMessageW(w.Handle(), WM_CLOSE, 0, 0);
    });
    Tick();
    user.join();
    EXPECT_FALSE(Live(L"New 0")) << "the check began";
    EXPECT_TRUE(Live(L"New " + std::to_wstring(kNew - 1))) << "and was ended by Quit";
    EXPECT_FALSE(w.Timer().Enabled());
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the loop the check returns to ends too";
}

// Closing with a settings file that cannot be written: the report of it
// runs a message loop, and no check may run on a window going away.
TEST_F(Watch, NoCheckOnceTheTeardownBegan) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    MainWindow& w = Ready(0);
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::SettingsWrite; });
    SetErrorReportSink([&](const std::wstring& text) {
        reports.push_back(text);
        SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
        Tick();
    });
    ::SendMessageW(w.Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Reports(), (Names{L"Unable to write to " + SettingsFile() + L".\n\n" +
                                SystemErrorText(ERROR_WRITE_FAULT) + L"."}));
    EXPECT_TRUE(Live(L"Known"));
    EXPECT_TRUE(Live(L"New"));
    EXPECT_FALSE(w.Timer().Enabled());
}

class Prompt : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        dialog.Create();
    }
    PromptDialog dialog;
};

TEST_F(Prompt, HasItsLayoutAndStaysHiddenUntilAsked) {
    EXPECT_FALSE(::IsWindowVisible(dialog.Handle()));
    EXPECT_EQ(WindowText(dialog.Handle()), L"Keepboot");
    RECT client{};
    ::GetClientRect(dialog.Handle(), &client);
    const DpiScale scale;
    EXPECT_EQ(client.right, scale(384));
    EXPECT_EQ(client.bottom, scale(118 + 77)) << "room for what would start, and from where";
    // Centred where the user works: the work area of the monitor under the
    // pointer; and back there at the next question after being dragged away.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT& work = monitor.rcWork;
    const auto expectCentred = [&](const char* when) {
        RECT frame{};
        ::GetWindowRect(dialog.Handle(), &frame);
        EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1) << when;
        EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1) << when;
    };
    expectCentred("made");
    ::SetWindowPos(dialog.Handle(), nullptr, work.left, work.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    AskAndWait(dialog, L"where");
    expectCentred("asked again");
    EXPECT_TRUE(::GetWindowLongW(dialog.DisableButton(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_FALSE(::GetWindowLongW(dialog.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
}

TEST_F(Prompt, EnterDisablesEscCancelsAndTheCloseBoxCancels) {
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(AskAndWait(dialog, L"first"), Decision::Disable);
    EXPECT_FALSE(::IsWindowVisible(dialog.Handle()));

    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(AskAndWait(dialog, L"second"), Decision::Leave);

    ::PostMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(AskAndWait(dialog, L"third"), Decision::Leave);

    ::PostMessageW(dialog.EnableButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(AskAndWait(dialog, L"fourth"), Decision::Allow);
    EXPECT_EQ(WindowText(dialog.Question()), L"fourth");
}

// What would start, below the question, each field whole: the program
// (a decoy in the arguments cannot hide the one that really starts), its
// arguments, what it started before, and the place. A path too long for
// one line wraps at its folders, and every line shows.
TEST_F(Prompt, ShowsTheProgramThatReallyStartsWhole) {
    const std::wstring decoy = L"C:\\Users\\Public\\Downloads\\upd\\svchelper.exe --cfg=" +
                               std::wstring(200, L'a') +
                               L" \"C:\\Program Files\\Microsoft OneDrive\\OneDrive.exe\" /background";
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EntryDetails details = DetailsOf(RunValueEntry{
        {HKEY_CURRENT_USER, L"HKCU", kRun, 0, L"Run"}, L"Updater", decoy, REG_SZ, false, {}});
    details.before = L"C:\\Tools\\updater.exe";
    AskAndWait(dialog, L"question", details);
    EXPECT_EQ(WindowText(dialog.Starts()), L"Starts: C:\\Users\\Public\\Downloads\\upd\\svchelper.exe");
    const std::wstring arguments = WindowText(dialog.Arguments());
    EXPECT_EQ(arguments, L"Arguments: " + details.arguments);
    EXPECT_NE(arguments.find(std::wstring(200, L'a') + L" \"C:\\Program Files\\Microsoft OneDrive\\OneDrive.exe\" /background"),
              std::wstring::npos) << "nothing cut";
    EXPECT_EQ(WindowText(dialog.Before()), L"Before: C:\\Tools\\updater.exe");
    EXPECT_EQ(WindowText(dialog.From()), L"From: HKCU\\" + kRun);

    const std::wstring deep = L"C:\\Program Files (x86)\\Some Vendor With A Rather Long Name\\Background Updater "
                              L"Service\\Version 12.4.1\\bin\\x64\\" + std::wstring(30, L'd') + L"\\updater.exe";
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    AskAndWait(dialog, L"question", {deep, L"", L"HKCU\\" + kRun, L""});
    const std::wstring starts = WindowText(dialog.Starts());
    EXPECT_EQ(starts, L"Starts: " + deep);
    const int lines = static_cast<int>(::SendMessageW(dialog.Starts(), EM_GETLINECOUNT, 0, 0));
    EXPECT_GE(lines, 2) << "too long for one line";
    for (int line = 1; line < lines; ++line) {
        const auto at = static_cast<std::size_t>(::SendMessageW(dialog.Starts(), EM_LINEINDEX, line, 0));
        ASSERT_GT(at, 0u);
        EXPECT_TRUE(starts[at - 1] == L'\\' || starts[at - 1] == L' ') << "line " << line << " starts at "
                                                                       << Narrow(starts.substr(at, 12));
    }
    EXPECT_EQ(CutTexts(dialog.Handle()), std::vector<std::wstring>{}) << "every line shows";

    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    AskAndWait(dialog, L"a start page changed");
    EXPECT_EQ(WindowText(dialog.Starts()) + WindowText(dialog.From()), L"") << "nothing to show";
}

// A name or command may carry characters that hide or turn round what
// is around them: they are written out wherever the text is shown.
TEST(ShowableText, WritesOutControlsAndDirectionMarks) {
    EXPECT_EQ(Showable(L"abc\u202Eexe.txt"), L"abc<U+202E>exe.txt");
    EXPECT_EQ(Showable(L"a\tb\r\n\u200F\u2066"), L"a<U+0009>b<U+000D><U+000A><U+200F><U+2066>");
    EXPECT_EQ(Showable(L"Caf\u00E9 \u00AD ok"), L"Caf\u00E9 \u00AD ok");
    // Blanks that would push what follows out of sight are counted.
    EXPECT_EQ(Showable(L"a   b" + std::wstring(5, L' ') + L"c\u3000\u2003\u00A0\u2009d"),
              L"a   b<5 blanks>c<4 blanks>d");
    EXPECT_EQ(Showable(Showable(L"x\u202E" + std::wstring(9, L' '))), L"x<U+202E><9 blanks>") << "shown once";
    EXPECT_EQ(ShowableWithin(std::wstring(50, L'a') + std::wstring(50, L'z'), 60).size(), 60u);
    EXPECT_TRUE(ShowableWithin(std::wstring(50, L'a') + std::wstring(50, L'z'), 60).ends_with(L"zzzz"));
}

// Whatever a value holds, the question shows all of its words and what it
// hides: blanks that would push a payload out of sight are counted, the
// dialog grows to hold a long question, up to its monitor's work area, and
// only a value of thousands of characters loses its middle, to an ellipsis.
// The question and its buttons always stay on the dialog.
TEST_F(Prompt, TheQuestionShowsTheWholeTruthWhateverTheValue) {
    const auto question = [](const std::wstring& value) {
        return L"'AutoRun' (HKLM\\Software\\Microsoft\\Command Processor) will change to \"" + value +
               L"\", do you want to disbale it?";
    };
    const std::wstring padded = L"doskey.exe /macrofile=C:\\m.txt" + std::wstring(400, L' ') +
                                L"& c:\\evil\\payload.exe";
    const std::wstring userinit = L"C:\\Windows\\system32\\userinit.exe,C:\\Program Files\\Common Files\\"
                                  L"Some Vendor\\Session Helper\\Version 4.2\\helper.exe,C:\\Users\\Public\\"
                                  L"Libraries\\Cache\\Temp\\Updates\\Staging\\x.exe,";
    const std::wstring huge = L"C:\\start.exe " + std::wstring(1000000, L'x') + L" c:\\evil\\end.exe";
    const DpiScale scale;
    for (const std::wstring& value : {padded, userinit, huge}) {
        ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        AskAndWait(dialog, question(value), {L"doskey.exe; c:\\evil\\payload.exe", L"", L"HKLM", L""});
        const std::wstring shown = WindowText(dialog.Question());
        if (value == huge) {
            EXPECT_TRUE(shown.starts_with(L"'AutoRun' (HKLM")) << Narrow(shown.substr(0, 80));
            EXPECT_TRUE(shown.ends_with(L"x c:\\evil\\end.exe\", do you want to disbale it?"))
                << Narrow(shown.substr(shown.size() - 80));
            EXPECT_NE(shown.find(L"x\u2026x"), std::wstring::npos) << "its middle gone, to an ellipsis";
            EXPECT_LE(shown.size(), 4001u);
        } else {
            EXPECT_EQ(shown, Showable(question(value))) << "every word";
            EXPECT_EQ(CutTexts(dialog.Handle()), std::vector<std::wstring>{}) << "and every line shows";
        }
        if (value == padded) {
            EXPECT_NE(shown.find(L"<400 blanks>& c:\\evil\\payload.exe"), std::wstring::npos) << Narrow(shown);
        }
        RECT client{};
        ::GetClientRect(dialog.Handle(), &client);
        if (value == userinit) {
            EXPECT_GT(client.bottom, scale(118 + 77)) << "grown to hold it";
        }
        // Every button on the dialog, and the dialog on its monitor.
        for (const HWND button : {dialog.DisableButton(), dialog.EnableButton()}) {
            RECT r{};
            ::GetWindowRect(button, &r);
            ::MapWindowPoints(nullptr, dialog.Handle(), reinterpret_cast<POINT*>(&r), 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom);
        }
        RECT frame{}, work{};
        ::GetWindowRect(dialog.Handle(), &frame);
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_LE(frame.bottom - frame.top, work.bottom - work.top);
    }
    EXPECT_EQ(WindowText(dialog.Starts()), L"Starts: doskey.exe; c:\\evil\\payload.exe") << "every program";
}

bool queuedCallRan = false;
VOID CALLBACK QueuedCall(ULONG_PTR) {
    queuedCallRan = true;
}

// The service manager's word of a service made comes as a call queued to
// the thread that asked for it: the window's wait runs it, and goes on as
// after a message.
TEST(MessagePump, TheWaitRunsCallsQueuedToItsThreadAndGoesOn) {
    queuedCallRan = false;
    ASSERT_TRUE(::QueueUserAPC(&QueuedCall, ::GetCurrentThread(), 0));
    const UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(WaitForMessageOr({never.get()}), std::nullopt);
    EXPECT_TRUE(queuedCallRan);
}

}  // namespace
}  // namespace kb::test
