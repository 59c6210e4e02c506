// The administrator's policy, as Group Policy writes it: over the user's
// settings, live, and able to keep the guard from being quit.
#include "ProgramFixtures.h"
#include "app/ControlIds.h"
#include "policy/AdminPolicy.h"

namespace kb::test {
namespace {

class AdminPolicyProgram : public ProgramWatch {
protected:
    void TearDown() override {
        for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            ::RegDeleteTreeW(root, kAdminPolicyKey);
        ProgramWatch::TearDown();
    }
    static void SetPolicy(HKEY root, const wchar_t* name, DWORD number) {
        ASSERT_EQ(::RegSetKeyValueW(root, kAdminPolicyKey, name, REG_DWORD, &number, sizeof number),
                  ERROR_SUCCESS);
    }
    static bool Checked(HWND window, int id) {
        return ::SendMessageW(FindDescendant(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static bool Enabled(HWND window, int id) {
        return ::IsWindowEnabled(FindDescendant(window, id)) != FALSE;
    }
    static int RecordsSaying(const KeepbootProcess& process, HWND window, const std::wstring& what,
                             const std::wstring& detail) {
        const RemoteListView history(FindDescendant(window, IdHistoryList), process.Process());
        int count = 0;
        for (int row = 0; row < history.Count(); ++row)
            count += history.Text(row, 1) == what && history.Text(row, 4) == detail;
        return count;
    }
};

TEST_F(AdminPolicyProgram, OverridesTheUsersSettingsGreysThemAndFollowsEachChange) {
    // The user allows everything; the administrator says otherwise, the
    // machine's value over the user's policy key.
    ::WritePrivateProfileStringW(L"disable", L"system", L"2", (folder_ + L"\\Keepboot.ini").c_str());
    SetPolicy(HKEY_LOCAL_MACHINE, L"StartupPolicy", 0);
    SetPolicy(HKEY_CURRENT_USER, L"StartupPolicy", 2);
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window); }));
    EXPECT_TRUE(Checked(window, IdStartupPolicyItem0));
    EXPECT_FALSE(Enabled(window, IdStartupPolicyItem0 + 2));
    EXPECT_TRUE(Enabled(window, IdStartPagePolicyItem0)) << "what is not set stays the user's";
    EXPECT_TRUE(::GetWindowLongW(FindDescendant(window, IdAdministratorLine), GWL_STYLE) & WS_VISIBLE);
    // In force: a new Run value is disabled without a question.
    AddRunValue(L"Managed", L"managed.exe");
    EXPECT_TRUE(WaitUntil([&] { return StoredWhole(L"Managed", L"managed.exe"); }));

    // A refresh of the policy takes effect at once, and is recorded.
    SetPolicy(HKEY_LOCAL_MACHINE, L"StartupPolicy", 1);
    EXPECT_TRUE(WaitUntil([&] { return Checked(window, IdStartupPolicyItem0 + 1); }));
    EXPECT_TRUE(WaitUntil([&] {
        return RecordsSaying(process, window, L"Policy changed by your administrator (Group Policy)",
                             L"StartupPolicy: 1") == 1;
    }));
    // A value of the wrong type changes nothing and is said once.
    ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"StartPagePolicy", REG_SZ,
                                L"2", 4),
              ERROR_SUCCESS);
    const std::wstring wrong =
        L"The administrator's policy value 'StartPagePolicy' in HKEY_LOCAL_MACHINE\\"
        L"Software\\Policies\\Keepboot is not a number (REG_DWORD): it is ignored.";
    EXPECT_TRUE(WaitUntil([&] { return NoticesSaying(process, window, wrong) == 1; }));
    EXPECT_TRUE(Enabled(window, IdStartPagePolicyItem0));

    // Gone: the user's own choice is back, and still theirs in the file.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAdminPolicyKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAdminPolicyKey);
    EXPECT_TRUE(WaitUntil([&] { return Checked(window, IdStartupPolicyItem0 + 2); }));
    EXPECT_TRUE(Enabled(window, IdStartupPolicyItem0));
    // Read from the other process while its list may be filling: once whole, said once.
    EXPECT_TRUE(WaitUntil([&] { return NoticesSaying(process, window, wrong) == 1; }));
    Quit(process, window);
    wchar_t text[16] = {};
    ::GetPrivateProfileStringW(L"disable", L"system", L"", text, 16, (folder_ + L"\\Keepboot.ini").c_str());
    EXPECT_STREQ(text, L"2");
}

TEST_F(AdminPolicyProgram, MayNotQuitKeepsTheGuardRunningUntilThePolicyGoes) {
    SetPolicy(HKEY_LOCAL_MACHINE, L"AllowQuit", 0);
    // Started by the user, not at logon: the watch runs all the same.
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window); }));
    EXPECT_FALSE(Enabled(window, IdQuitButton));
    EXPECT_FALSE(Enabled(window, IdStartButton));
    EXPECT_TRUE(::GetWindowLongW(FindDescendant(window, IdAdministratorLine), GWL_STYLE) & WS_VISIBLE);
    // The close box and Alt+F4 come as WM_CLOSE: refused. Once the policy
    // goes, Quit is enabled again in the very same process.
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAdminPolicyKey);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(window, IdQuitButton); }));
    EXPECT_EQ(::WaitForSingleObject(process.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Quit(process, window);
}

TEST_F(AdminPolicyProgram, RestartWithTheRightsHandsOverEvenWhenItMayNotQuit) {
    SetPolicy(HKEY_LOCAL_MACHINE, L"AllowQuit", 0);
    KeepbootProcess& process = StartTestedWith(L"KEEPBOOT_TEST_STANDARD_USER");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window); }));
    ::PostMessageW(FindDescendant(window, IdRestartElevated), BM_CLICK, 0, 0);
    // The lock keeps a guard running: the one with the rights, in this one's place.
    DWORD code = 99;
    EXPECT_TRUE(process.WaitForExit(&code)) << "the guard without rights stays beside its successor";
    HWND successor = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        successor = ::FindWindowW(MainWindow::kClassName, nullptr);
        return successor && successor != window && Watching(successor);
    }));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAdminPolicyKey);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(successor, IdQuitButton); }));
    ::PostMessageW(FindDescendant(successor, IdQuitButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(successor); }));
}

}  // namespace
}  // namespace kb::test
