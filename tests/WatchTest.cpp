#include "FormHarness.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "startup/StartupDlg.h"
#include "startup/StartupPlaces.h"

namespace kb::test {
namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
using Names = std::vector<std::wstring>;

std::wstring Question(const std::wstring& name) {
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

class Watch : public FormTest {
protected:
    TDisableForm& Ready(int policy) {
        TDisableForm& f = MakeForm();
        f.SystemRadioGroup.SetItemIndex(policy);
        return f;
    }
    bool Stored(const std::wstring& name) {
        return RawKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kStartupRegStore) + L"\\" + name);
    }
    bool Live(HKEY root, const std::wstring& name) {
        UniqueKey key;
        return ::RegOpenKeyExW(root, kRun.c_str(), 0, KEY_READ, key.put()) == 0 &&
               ::RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == 0;
    }
};

TEST_F(Watch, DisablePolicyStoresEveryNewEntryWithoutAWord) {
    TDisableForm& f = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    MakeShortcut(UserStartup(), L"NewLink");
    f.TimerTimer();
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_TRUE(Stored(L"New"));
    EXPECT_FALSE(kb::FileExists(UserStartup() + L"\\NewLink.lnk"));
    EXPECT_EQ(ListRows(f.ListView).size(), 0u) << "disabled entries wait for the next refresh";
    EXPECT_EQ(f.RunTable.RowCount(), 0u);
    EXPECT_FALSE(f.Scanning);
}

TEST_F(Watch, AllowPolicyOrNoItemReadsNothing) {
    for (const int policy : {2, -1}) {
        TDisableForm& f = Ready(policy);
        SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
        f.TimerTimer();
        EXPECT_TRUE(questions.empty());
        EXPECT_EQ(f.RunScanTable.RowCount(), 0u) << "nothing scanned";
        EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
    }
}

TEST_F(Watch, AskPolicyEnableMakesTheEntryKnownAndListed) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Old", L"old.exe");
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    answer = [](const std::wstring&) { return TStartupDlg::kEnable; };
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"New")}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_EQ(Column(f.RunTable, RunCol::Name), (Names{L"Old", L"New"}));
    EXPECT_EQ(Column(f.RunTable, RunCol::ListIndex), (Names{L"0", L"1"}));
    EXPECT_EQ(ListRows(f.ListView).back(), (ListRow{L"New", L"new.exe", L"HKCU\\" + kRun, true}));
    f.TimerTimer();
    EXPECT_EQ(questions.size(), 1u) << "known from now on";
}

TEST_F(Watch, EnablingTheFirstOfTwoNamesAnswersTheSecond) {
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Dup", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"dup", L"user.exe");
    answer = [](const std::wstring&) { return TStartupDlg::kEnable; };
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"Dup")}));
    EXPECT_EQ(ListRows(f.ListView).size(), 1u);
}

TEST_F(Watch, DisablingTheFirstOfTwoNamesAsksAboutTheSecond) {
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Dup", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"dup", L"user.exe");
    answer = [](const std::wstring&) { return TStartupDlg::kDisable; };
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"Dup"), Question(L"dup")}));
    EXPECT_FALSE(Live(HKEY_LOCAL_MACHINE, L"Dup"));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"dup")) << "the store holds one entry of a name";
}

TEST_F(Watch, CancelAsksAgainAtTheNextTick) {
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    f.TimerTimer();
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"New"), Question(L"New")}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_EQ(f.RunTable.RowCount(), 0u);
}

TEST_F(Watch, OnlyTheNameCountsAndEachKindHasItsOwnNames) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"tool.exe");
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"other command.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"TOOL", L"tool.exe");
    f.TimerTimer();
    EXPECT_TRUE(questions.empty());

    MakeShortcut(UserStartup(), L"Tool");
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"Tool")})) << "a shortcut is looked up among shortcuts";
}

TEST_F(Watch, EmptyScanChangesNothing) {
    TDisableForm& f = Ready(1);
    f.TimerTimer();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(f.RunTable.RowCount() + f.FolderTable.RowCount(), 0u);
}

TEST_F(Watch, ReloadAskedForDuringAPromptWaitsForTheTicksEnd) {
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Alpha", L"a.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bravo", L"b.exe");
    answer = [&](const std::wstring&) {
        f.RefrushButtonClick();  // the user presses Refrush while the prompt waits
        EXPECT_EQ(f.RunTable.RowCount(), 0u) << "the tick's tables stay whole";
        return TStartupDlg::kCancel;
    };
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(L"Alpha"), Question(L"Bravo")}));
    EXPECT_EQ(Column(f.RunTable, RunCol::Name), (Names{L"Alpha", L"Bravo"}))
        << "the reload ran once the tick was over";
    EXPECT_EQ(ListRows(f.ListView).size(), 2u);
    f.TimerTimer();
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(Watch, TickDoesNothingWhileBusyOrBeforeTheWindowIsReady) {
    TDisableForm& f = Ready(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    f.Scanning = true;
    f.TimerTimer();
    EXPECT_TRUE(f.Scanning);
    f.Scanning = false;
    f.FormReady = false;
    f.TimerTimer();
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
}

TEST_F(Watch, RecurringErrorIsReportedOnceWhileItsReportIsOpen) {
    TDisableForm& f = Ready(0);
    const DWORD number = 1;
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    int nested = 0;
    SetErrorReportSink([&](const std::wstring& text) {
        reports.push_back(text);
        // Ticks keep coming while the report is open.
        for (; nested < 3; ++nested) ::SendMessageW(f.Handle(), WM_TIMER, 1, 0);
    });
    ::SendMessageW(f.Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(reports, (Names{L"Invalid data type for 'Counter'"}));
    EXPECT_EQ(nested, 3);
    EXPECT_FALSE(f.Scanning) << "every tick clears it on the way out";
    ::SendMessageW(f.Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(reports.size(), 2u) << "once the report is closed, the next tick reports again";
}

class PromptDialog : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        if (HasFatalFailure()) return;
        dialog.Create();
    }
    TStartupDlg dialog;
};

TEST_F(PromptDialog, HasItsLayoutAndStaysHiddenUntilAsked) {
    EXPECT_FALSE(::IsWindowVisible(dialog.Handle()));
    wchar_t caption[64] = {};
    ::GetWindowTextW(dialog.Handle(), caption, 64);
    EXPECT_STREQ(caption, L"Keepboot");
    RECT client{};
    ::GetClientRect(dialog.Handle(), &client);
    const DpiScale scale;
    EXPECT_EQ(client.right, scale(384));
    EXPECT_EQ(client.bottom, scale(118));
    RECT frame{};
    ::GetWindowRect(dialog.Handle(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_TRUE(::GetWindowLongW(dialog.DisableBtn, GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_FALSE(::GetWindowLongW(dialog.Handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
}

TEST_F(PromptDialog, EnterDisablesEscCancelsAndTheCloseBoxCancels) {
    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(dialog.ShowPrompt(L"first"), TStartupDlg::kDisable);
    EXPECT_FALSE(::IsWindowVisible(dialog.Handle()));

    ::PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(dialog.ShowPrompt(L"second"), TStartupDlg::kCancel);

    ::PostMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.ShowPrompt(L"third"), TStartupDlg::kCancel);

    ::PostMessageW(dialog.EnableBtn, BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.ShowPrompt(L"fourth"), TStartupDlg::kEnable);
    wchar_t text[64] = {};
    ::GetWindowTextW(dialog.StaticText, text, 64);
    EXPECT_STREQ(text, L"fourth");
}

TEST_F(PromptDialog, QuitWhileAskingCancelsAndPassesTheQuitOn) {
    ::PostQuitMessage(0);
    EXPECT_EQ(dialog.ShowPrompt(L"question"), TStartupDlg::kCancel);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace kb::test
