#include "WindowHarness.h"
#include "app/services/FindingWords.h"
#include "app/services/History.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "store/Store.h"

namespace kb::test {
namespace {

class ListPage : public WindowTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        WindowTest::TearDown();
    }
    // Live: Alpha (machine), Bravo (user), shortcut Link; stored: Zulu (user).
    void MakeEntries() {
        SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Alpha", L"alpha.exe");
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Bravo", L"bravo.exe");
        target_ = MakeShortcut(UserStartup(), L"Link");
        StoreValueEntry(L"Zulu", L"Zulu", L"zulu.exe");
    }
    void SetChecked(int row, bool checked) {
        ListView_SetCheckState(window->Pages().List().Controls().list, row, checked);
    }
    std::vector<ListRow> Rows() { return ListRows(window->Pages().List().Controls().list); }

    std::wstring target_;
};

TEST_F(ListPage, ShowsLiveThenStoredEntriesInBlockOrder) {
    MakeEntries();
    const std::wstring folder = std::wstring(kStartupFolderStore) + L"\\C:^Gone.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"item", L"Gone");
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"command", L"gone.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"location", L"Common Startup");
    MakeWindow();
    EXPECT_EQ(Rows(), (std::vector<ListRow>{
                          {L"Alpha", L"alpha.exe", L"HKLM\\" + kRun, true},
                          {L"Bravo", L"bravo.exe", L"HKCU\\" + kRun, true},
                          {L"Link", target_, L"Startup", true},
                          {L"Zulu", L"zulu.exe", L"HKCU\\" + kRun, false},
                          {L"Gone", L"gone.exe", L"Common Startup", false},
                      }));
}

// A click on a column's header sorts by it (Location: each place's entries
// together), a second click turns the order round, and a reload keeps it.
TEST_F(ListPage, AColumnClickSortsByItAndAReloadKeepsTheOrder) {
    MakeEntries();
    MakeWindow();
    const auto click = [&](int column) {
        NMLISTVIEW notice{};
        notice.hdr = {window->Pages().List().Controls().list, IdStartupList, LVN_COLUMNCLICK};
        notice.iSubItem = column;
        ::SendMessageW(window->Pages().List().Handle(), WM_NOTIFY, IdStartupList,
                       reinterpret_cast<LPARAM>(&notice));
    };
    const auto column = [&](int which) {
        std::vector<std::wstring> texts;
        for (const ListRow& row : Rows())
            texts.push_back(which == 0 ? row.item : row.location);
        return texts;
    };
    click(2);
    EXPECT_EQ(column(2), (std::vector<std::wstring>{L"HKCU\\" + kRun, L"HKCU\\" + kRun,
                                                    L"HKLM\\" + kRun, L"Startup"}));
    EXPECT_EQ(column(0), (std::vector<std::wstring>{L"Bravo", L"Zulu", L"Alpha", L"Link"}))
        << "the same place keeps the reading's order";
    click(2);
    EXPECT_EQ(column(0), (std::vector<std::wstring>{L"Link", L"Alpha", L"Zulu", L"Bravo"}));
    window->Pages().List().Reload();
    EXPECT_EQ(column(0), (std::vector<std::wstring>{L"Link", L"Alpha", L"Zulu", L"Bravo"}));
}

TEST_F(ListPage, ApplyMovesTheChangedRowsAndRebuildsTheList) {
    MakeEntries();
    MakeWindow();
    ASSERT_EQ(Rows().size(), 4u);
    SetChecked(0, false);  // Alpha
    SetChecked(2, false);  // Link
    SetChecked(3, true);   // Zulu
    window->Pages().List().Apply();

    EXPECT_EQ(Rows(), (std::vector<ListRow>{
                          {L"Bravo", L"bravo.exe", L"HKCU\\" + kRun, true},
                          {L"Zulu", L"zulu.exe", L"HKCU\\" + kRun, true},
                          {L"Alpha", L"alpha.exe", L"HKLM\\" + kRun, false},
                          {L"Link", QuoteCommandLine(target_), L"Startup", false},
                      }));
    EXPECT_FALSE(FileExists(UserStartup() + L"\\Link.lnk"));
}

// Every kind in one pass, a logon value among them: each is moved, the
// logon value back to Windows' own (none).
TEST_F(ListPage, EveryKindChangedInOnePassIsMoved) {
    MakeEntries();
    const std::wstring processor = L"Software\\Microsoft\\Command Processor";
    SetStringValue(HKEY_CURRENT_USER, processor, L"AutoRun", L"doskey.exe");
    MakeWindow();
    const std::vector<ListRow> before = Rows();
    ASSERT_EQ(before.size(), 5u);
    for (std::size_t row = 0; row < before.size(); ++row) SetChecked(static_cast<int>(row), !before[row].checked);
    window->Pages().List().Apply();

    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, processor, L"AutoRun").exists);
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Alpha").exists);
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Bravo").exists);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Zulu").text, L"zulu.exe");
    EXPECT_FALSE(FileExists(UserStartup() + L"\\Link.lnk"));
    std::vector<std::wstring> checked;
    for (const ListRow& row : Rows())
        if (row.checked) checked.push_back(row.item);
    EXPECT_EQ(checked, std::vector<std::wstring>{L"Zulu"});
}

TEST_F(ListPage, ReloadThrowsAwayUnappliedChanges) {
    MakeEntries();
    MakeWindow();
    const std::vector<ListRow> before = Rows();
    SetChecked(0, false);
    SetChecked(3, true);
    window->Pages().List().Reload();
    EXPECT_EQ(Rows(), before);
    window->Pages().List().Apply();
    EXPECT_EQ(Rows(), before) << "nothing was left to apply";
}

TEST_F(ListPage, ApplyWithNothingListedOnlyReloads) {
    MakeWindow();
    window->Pages().List().Apply();
    EXPECT_TRUE(Rows().empty());
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Late", L"late.exe");
    window->Pages().List().Apply();
    EXPECT_EQ(Rows().size(), 1u);
}

// A pass that stops part-way still reloads: the list shows where every
// entry really is, and what it enabled stays known to the watch.
TEST_F(ListPage, RefusedWriteStopsThePassAndStillReloads) {
    MakeEntries();
    MakeWindow();
    window->Pages().Settings().ChoosePolicies(0, 2);
    SetChecked(3, true);   // Zulu: enabled first of the two below
    SetChecked(2, false);  // Link
    // Every write refused once Zulu is back: Link cannot be stored.
    SetFaultInjector([&](FaultPoint point) {
        return point == FaultPoint::RegistryWrite &&
               ReadRawValue(HKEY_CURRENT_USER, kRun, L"Zulu").exists;
    });
    window->Pages().List().Apply();
    SetFaultInjector({});
    EXPECT_EQ(Reports().size(), 1u) << "said once, from the top-level loop";
    const std::vector<ListRow> rows = Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2], (ListRow{L"Zulu", L"zulu.exe", L"HKCU\\" + kRun, true}));
    EXPECT_TRUE(rows[3].checked) << "Link stayed where it was, and says so";
    Tick();
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Zulu").exists);
}

// Every entry Apply could not move is said, once, with why, and recorded:
// a name taken live, an entry that changed since it was listed.
TEST_F(ListPage, EachEntryApplyCannotMoveIsSaidWithWhyAndRecorded) {
    SetStringValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Taken", L"aside.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Taken", L"live.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Moving", L"moving.exe");
    MakeWindow();
    const std::vector<ListRow> rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    // Moving unchecked, the Taken moved aside checked; the live Taken stays.
    for (std::size_t row = 0; row < rows.size(); ++row)
        if (rows[row].item == L"Moving" || !rows[row].checked)
            SetChecked(static_cast<int>(row), !rows[row].checked);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Moving", L"other.exe");  // after it was listed
    window->Pages().List().Apply();
    EXPECT_TRUE(reports.empty()) << "not inside the handling";
    EXPECT_EQ(Reports(), (Names{L"Cannot disable 'Moving' (HKCU\\" + kRun + L"): " + WhyNotMoved(MoveResult::Changed) +
                                L"; it stays where it is\nCannot enable 'Taken' (HKCU\\" + kRun + L"): " +
                                WhyNotMoved(MoveResult::NameTaken) + L"; it stays where it is."}));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Taken").text, L"live.exe") << "never overwritten";
    const std::vector<HistoryRecord> records =
        Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].what + L"/" + records[0].by + L"/" + records[0].item + L"/" + records[0].detail,
              L"Could not be disabled/you/Moving/" + WhyNotMoved(MoveResult::Changed));
    EXPECT_EQ(records[1].what + L"/" + records[1].item, L"Could not be enabled/Taken");
}

TEST_F(ListPage, SpaceTogglesTheFocusedRow) {
    MakeEntries();
    MakeWindow();
    const HWND list = window->Pages().List().Controls().list;
    ListView_SetItemState(list, 1, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ::SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(list, WM_KEYUP, VK_SPACE, 0);
    EXPECT_FALSE(Rows()[1].checked);
}

TEST_F(ListPage, CtrlTabTurnsThePagesBothWays) {
    MakeWindow();
    const HWND pages = window->Pages().Tabs();
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const MSG tab{window->Pages().List().Controls().list, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_TRUE(window->Pages().Turn(window->Handle(), tab));
    EXPECT_EQ(TabCtrl_GetCurSel(pages), 1);
    EXPECT_TRUE(::GetWindowLongW(::GetParent(window->Pages().List().Controls().list), GWL_STYLE) & WS_VISIBLE);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    EXPECT_TRUE(window->Pages().Turn(window->Handle(), tab));
    EXPECT_TRUE(window->Pages().Turn(window->Handle(), tab));
    EXPECT_EQ(TabCtrl_GetCurSel(pages), 3) << "backwards from the first wraps round to the last";
    keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_FALSE(window->Pages().Turn(window->Handle(), tab)) << "a plain Tab moves the focus as usual";
}

}  // namespace
}  // namespace kb::test
