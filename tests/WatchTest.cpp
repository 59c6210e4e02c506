// The watch as the main window runs it: the timer's checks, the list rows
// of allowed entries, reloads during a question, and the window's lifetime.
#include "WindowHarness.h"
#include "app/ErrorReport.h"
#include "app/PromptDialog.h"
#include "platform/Faults.h"

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
        w.Ui().startupPolicy.SetItemIndex(policy);
        w.Ui().startPagePolicy.SetItemIndex(2);
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
    EXPECT_EQ(ListRows(w.Ui().startupList),
              (std::vector<ListRow>{{L"Old", L"old.exe", L"HKLM\\" + kRun, true},
                                    {L"New", L"new.exe", L"HKCU\\" + kRun, true}}));
}

TEST_F(Watch, DisabledEntryWaitsForTheNextReloadToBeListed) {
    MainWindow& w = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Tick();
    EXPECT_FALSE(Live(L"New"));
    EXPECT_TRUE(ListRows(w.Ui().startupList).empty());
    w.ReloadStartupList();
    EXPECT_EQ(ListRows(w.Ui().startupList),
              (std::vector<ListRow>{{L"New", L"new.exe", L"HKCU\\" + kRun, false}}));
}

TEST_F(Watch, ReloadAskedForDuringAQuestionWaitsForTheChecksEnd) {
    MainWindow& w = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Alpha", L"a.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bravo", L"b.exe");
    answer = [&](const std::wstring&) {
        w.ReloadStartupList();  // the user reloads the list while the question waits
        EXPECT_TRUE(w.Guard().Known().live.values.empty()) << "what the check compares with stays";
        return Decision::Leave;
    };
    Tick();
    EXPECT_EQ(questions, (Names{Question(L"Alpha"), Question(L"Bravo")}));
    EXPECT_EQ(ListRows(w.Ui().startupList).size(), 2u) << "the reload ran once the check was over";
    Tick();
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(Watch, NoCheckWhileAReportIsOpen) {
    MainWindow& w = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    SetErrorReportSink([&](const std::wstring& text) {
        reports.push_back(text);
        Tick();  // checks keep coming while the report is open
    });
    ShowErrorReport(L"something");
    EXPECT_TRUE(Live(L"New"));
    SetErrorReportSink([&](const std::wstring& text) { reports.push_back(text); });
    Tick();
    EXPECT_FALSE(Live(L"New")) << "the next check after the report";
    EXPECT_TRUE(w.Ready());
}

TEST_F(Watch, ValueThatIsNotTextIsReportedOnce) {
    const DWORD number = 1;
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    Ready(0);
    EXPECT_EQ(reports, (Names{L"Invalid data type for 'Counter'"}));
    Tick();
    Tick();
    EXPECT_EQ(reports.size(), 1u);
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
    EXPECT_EQ(reports, (Names{L"Unable to write to " + SettingsFile() + L"."}));
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
    EXPECT_EQ(client.bottom, scale(118 + 34)) << "room for what would start";
    RECT frame{};
    ::GetWindowRect(dialog.Handle(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_TRUE(::GetWindowLongW(dialog.DisableButton(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_FALSE(::GetWindowLongW(dialog.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
}

TEST_F(Prompt, EnterDisablesEscCancelsAndTheCloseBoxCancels) {
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(dialog.Ask(L"first"), Decision::Disable);
    EXPECT_FALSE(::IsWindowVisible(dialog.Handle()));

    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(dialog.Ask(L"second"), Decision::Leave);

    ::PostMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.Ask(L"third"), Decision::Leave);

    ::PostMessageW(dialog.EnableButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.Ask(L"fourth"), Decision::Allow);
    EXPECT_EQ(WindowText(dialog.Question()), L"fourth");
}

// What would start, below the question; a long command line is shortened
// in the middle, so both its program and its last arguments show.
TEST_F(Prompt, ShowsWhatWouldStartShortenedInTheMiddle) {
    const std::wstring command =
        L"\"C:\\Program Files\\Some Vendor\\Updater\\updater.exe\" --background --channel=stable "
        L"--report-to=https://updates.example/collect --last-argument";
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    dialog.Ask(L"question", {command, L"HKCU\\" + kRun});
    const std::wstring starts = WindowText(dialog.Starts());
    EXPECT_EQ(starts.rfind(L"Starts: \"C:\\Program Files\\", 0), 0u) << Narrow(starts);
    EXPECT_TRUE(starts.ends_with(L"--last-argument")) << Narrow(starts);
    EXPECT_NE(starts.find(L'\u2026'), std::wstring::npos) << "shortened, not cut";
    EXPECT_EQ(WindowText(dialog.From()), L"From: HKCU\\" + kRun);

    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    dialog.Ask(L"a start page changed");
    EXPECT_EQ(WindowText(dialog.Starts()) + WindowText(dialog.From()), L"") << "nothing to show";
}

TEST_F(Prompt, QuitWhileAskingCancelsAndPassesTheQuitOn) {
    ::PostQuitMessage(0);
    EXPECT_EQ(dialog.Ask(L"question"), Decision::Leave);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace kb::test
