#include "FormHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "startup/StartupPlaces.h"

namespace kb::test {
namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class ListPage : public FormTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        FormTest::TearDown();
    }
    // Live: Alpha (machine), Bravo (user), shortcut Link; stored: Zulu (user).
    void MakeEntries() {
        SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Alpha", L"alpha.exe");
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Bravo", L"bravo.exe");
        target_ = MakeShortcut(UserStartup(), L"Link");
        const std::wstring sub = std::wstring(kStartupRegStore) + L"\\Zulu";
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Zulu");
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", L"zulu.exe");
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"hkey", L"HKCU");
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"key", kRun);
    }
    void SetChecked(int row, bool checked) { ListView_SetCheckState(form->ListView, row, checked); }

    std::wstring target_;
};

TEST_F(ListPage, ApplyMovesTheChangedRowsAndRebuildsTheList) {
    MakeEntries();
    TDisableForm& f = MakeForm();
    ASSERT_EQ(ListRows(f.ListView).size(), 4u);
    SetChecked(0, false);  // Alpha
    SetChecked(2, false);  // Link
    SetChecked(3, true);   // Zulu
    f.ApplyButtonClick();

    const std::wstring hklm = L"HKLM\\" + kRun, hkcu = L"HKCU\\" + kRun;
    const std::vector<ListRow> expected = {
        {L"Bravo", L"bravo.exe", hkcu, true},
        {L"Zulu", L"zulu.exe", hkcu, true},
        {L"Alpha", L"alpha.exe", hklm, false},
        {L"Link", TDisableForm::QuoteCommandLine(target_), L"Startup", false},
    };
    EXPECT_EQ(ListRows(f.ListView), expected);
    EXPECT_FALSE(kb::FileExists(UserStartup() + L"\\Link.lnk"));
    EXPECT_EQ(Column(f.RunTable, RunCol::ListIndex), (std::vector<std::wstring>{L"0", L"1"}));
}

TEST_F(ListPage, RefrushThrowsAwayUnappliedChanges) {
    MakeEntries();
    TDisableForm& f = MakeForm();
    const std::vector<ListRow> before = ListRows(f.ListView);
    SetChecked(0, false);
    SetChecked(3, true);
    f.RefrushButtonClick();
    EXPECT_EQ(ListRows(f.ListView), before);
    f.ApplyButtonClick();
    EXPECT_EQ(ListRows(f.ListView), before) << "nothing was left to apply";
}

TEST_F(ListPage, ApplyWithNothingListedOnlyRefreshes) {
    TDisableForm& f = MakeForm();
    f.ApplyButtonClick();
    EXPECT_TRUE(ListRows(f.ListView).empty());
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Late", L"late.exe");
    f.ApplyButtonClick();
    EXPECT_EQ(ListRows(f.ListView).size(), 1u);
}

TEST_F(ListPage, RowsWithoutAListRowAreSkipped) {
    MakeEntries();
    TDisableForm& f = MakeForm();
    SetChecked(0, false);
    SetChecked(1, false);
    f.RunTable.SetCell(0, RunCol::ListIndex, L"junk");
    f.RunTable.SetCell(1, RunCol::ListIndex, L"99");
    f.ApplyButtonClick();
    EXPECT_EQ(f.RunTable.RowCount(), 2u) << "neither entry moved";
}

TEST_F(ListPage, RefusedWriteStopsThePassAndKeepsTheMarks) {
    MakeEntries();
    TDisableForm& f = MakeForm();
    SetChecked(0, false);
    SetChecked(1, false);
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryWrite; });
    EXPECT_THROW(f.ApplyButtonClick(), Error);
    SetFaultInjector({});
    const std::vector<ListRow> rows = ListRows(f.ListView);
    EXPECT_FALSE(rows[0].checked) << "no refresh after a raised error";
    EXPECT_FALSE(rows[1].checked);
    f.RefrushButtonClick();
    EXPECT_EQ(f.RunTable.RowCount(), 2u) << "both entries are still live";
}

TEST_F(ListPage, SpaceTogglesTheFocusedRow) {
    MakeEntries();
    TDisableForm& f = MakeForm();
    ListView_SetItemState(f.ListView, 1, LVIS_FOCUSED | LVIS_SELECTED,
                          LVIS_FOCUSED | LVIS_SELECTED);
    ::SendMessageW(f.ListView, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(f.ListView, WM_KEYUP, VK_SPACE, 0);
    EXPECT_FALSE(ListRows(f.ListView)[1].checked);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

class Pages : public FormTest {};

TEST_F(Pages, CtrlTabTurnsThePagesBothWays) {
    TDisableForm& f = MakeForm();
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const MSG tab{f.ListView, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(f.PreTranslateMessage(tab));
    EXPECT_EQ(TabCtrl_GetCurSel(f.PageControl), 1);
    EXPECT_TRUE(::GetWindowLongW(::GetParent(f.ListView), GWL_STYLE) & WS_VISIBLE);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    EXPECT_TRUE(f.PreTranslateMessage(tab));
    EXPECT_TRUE(f.PreTranslateMessage(tab));
    EXPECT_EQ(TabCtrl_GetCurSel(f.PageControl), 2) << "backwards from the first wraps round";
    keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_FALSE(f.PreTranslateMessage(tab)) << "a plain Tab moves the focus as usual";
}

}  // namespace
}  // namespace kb::test
