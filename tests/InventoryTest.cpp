#include "FormHarness.h"
#include "startup/StartupPlaces.h"

namespace kb::test {
namespace {

const std::wstring kCv = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
using Names = std::vector<std::wstring>;

class Inventory : public FormTest {};

TEST_F(Inventory, ReadsTheSevenKeysInOrderAndNothingElse) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"u-rso", L"7");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunOnce", L"u-ro", L"6");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"u-run", L"5");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunServices", L"u-rs", L"never read");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"RunServicesOnce", L"m-rso", L"4");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"RunServices", L"m-rs", L"3");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"RunOnce", L"m-ro", L"2");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"m-run", L"1");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"u-run", L"same name, other key");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"", L"default value");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"expand", L"%ProgramFiles%\\Tool\\tool.exe",
                   REG_EXPAND_SZ);

    TDisableForm& f = MakeForm();
    EXPECT_TRUE(reports.empty());
    const Names locations = Column(f.RunTable, RunCol::Location);
    ASSERT_EQ(f.RunTable.RowCount(), 10u);
    // The machine's Run key first, in the registry's own order within it.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(locations[i], L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    const Names names = Column(f.RunTable, RunCol::Name);
    const Names rest(names.begin() + 4, names.end());
    EXPECT_EQ(rest, (Names{L"m-ro", L"m-rs", L"m-rso", L"u-run", L"u-ro", L"u-rso"}));
    EXPECT_EQ(locations[9], L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce");

    const int unnamed = f.RunTable.FindIgnoringCase(RunCol::Name, L"");
    ASSERT_GE(unnamed, 0);
    EXPECT_EQ(f.RunTable.Cell(unnamed, RunCol::Command), L"default value");
    const int expand = f.RunTable.FindIgnoringCase(RunCol::Name, L"EXPAND");
    ASSERT_GE(expand, 0);
    EXPECT_EQ(f.RunTable.Cell(expand, RunCol::Command), L"%ProgramFiles%\\Tool\\tool.exe");
    EXPECT_EQ(f.RunTable.FindIgnoringCase(RunCol::Name, L"u-rs"), -1);
}

TEST_F(Inventory, ReadsBothFoldersAllUsersFirstWhateverTheEntries) {
    const std::wstring sharedTarget = MakeShortcut(CommonStartup(), L"Shared");
    const std::wstring toolTarget = MakeShortcut(UserStartup(), L"My.Tool");
    const std::wstring hiddenTarget = MakeShortcut(UserStartup(), L"Hidden");
    ::SetFileAttributesW((UserStartup() + L"\\Hidden.lnk").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Folder(L"Startup\\Old.lnk");
    WriteFileBytes(UserStartup() + L"\\Note.lnk", "not a shortcut");
    WriteFileBytes(UserStartup() + L"\\readme.txt", "not listed");

    TDisableForm& f = MakeForm();
    ASSERT_EQ(f.FolderTable.RowCount(), 5u);
    EXPECT_EQ(f.FolderTable.Cell(0, FolderCol::Name), L"Shared");
    EXPECT_EQ(f.FolderTable.Cell(0, FolderCol::Location), L"Common Startup");
    EXPECT_EQ(Narrow(f.FolderTable.Cell(0, FolderCol::Target)), Narrow(sharedTarget));

    auto row = [&](const std::wstring& name) {
        const int i = f.FolderTable.FindIgnoringCase(FolderCol::Name, name);
        EXPECT_GE(i, 1) << Narrow(name);
        return i < 0 ? 0u : static_cast<std::size_t>(i);
    };
    EXPECT_EQ(Narrow(f.FolderTable.Cell(row(L"My.Tool"), FolderCol::Target)), Narrow(toolTarget));
    EXPECT_EQ(Narrow(f.FolderTable.Cell(row(L"Hidden"), FolderCol::Target)), Narrow(hiddenTarget));
    EXPECT_EQ(f.FolderTable.Cell(row(L"Old"), FolderCol::Target), L"");
    EXPECT_EQ(f.FolderTable.Cell(row(L"Note"), FolderCol::Target), L"");
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_EQ(f.FolderTable.Cell(i, FolderCol::Location), L"Startup");
}

TEST_F(Inventory, ReadsTheStoreTakingOnlyCompleteEntries) {
    const std::wstring reg = kStartupRegStore, folder = kStartupFolderStore;
    auto regEntry = [&](const std::wstring& sub, const std::wstring& hkey) {
        SetStringValue(HKEY_LOCAL_MACHINE, reg + L"\\" + sub, L"item", sub);
        SetStringValue(HKEY_LOCAL_MACHINE, reg + L"\\" + sub, L"command", L"C:\\" + sub + L".exe");
        SetStringValue(HKEY_LOCAL_MACHINE, reg + L"\\" + sub, L"key", kCv + L"Run");
        if (!hkey.empty()) SetStringValue(HKEY_LOCAL_MACHINE, reg + L"\\" + sub, L"hkey", hkey);
    };
    regEntry(L"Complete", L"HKCU");
    regEntry(L"NoHkey", L"");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^Bare.lnk", L"item", L"Bare");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^Bare.lnk", L"command", L"C:\\bare.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^NoCommand.lnk", L"item", L"NoCommand");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^NoCommand.lnk", L"location", L"Startup");

    TDisableForm& f = MakeForm();
    ASSERT_EQ(f.DisabledRunTable.RowCount(), 1u);
    EXPECT_EQ(f.DisabledRunTable.Cell(0, DisabledRunCol::Item), L"Complete");
    EXPECT_EQ(f.DisabledRunTable.Cell(0, DisabledRunCol::HKey), L"HKCU");
    EXPECT_EQ(f.DisabledRunTable.Cell(0, DisabledRunCol::Command), L"C:\\Complete.exe");
    EXPECT_EQ(f.DisabledRunTable.Cell(0, DisabledRunCol::Key), kCv + L"Run");

    ASSERT_EQ(f.DisabledFolderTable.RowCount(), 1u);
    EXPECT_EQ(f.DisabledFolderTable.Cell(0, DisabledFolderCol::Item), L"Bare");
    EXPECT_EQ(f.DisabledFolderTable.Cell(0, DisabledFolderCol::StoreKeyPath),
              folder + L"\\C:^x^Bare.lnk");
    EXPECT_EQ(f.DisabledFolderTable.Cell(0, DisabledFolderCol::Location), L"");
    EXPECT_EQ(f.DisabledFolderTable.Cell(0, DisabledFolderCol::Backup), L"");
    EXPECT_EQ(f.DisabledFolderTable.Cell(0, DisabledFolderCol::Path), L"");
}

TEST_F(Inventory, NonTextValueEndsThePassAndIsReported) {
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Before", L"a.exe");
    const DWORD number = 5;
    SetRawValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Counter", REG_DWORD, &number, sizeof number);
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Later", L"b.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kStartupRegStore) + L"\\Later", L"item", L"x");
    MakeShortcut(UserStartup(), L"Tool");

    TDisableForm& f = MakeForm();
    ASSERT_EQ(reports, (Names{L"Invalid data type for 'Counter'"}));
    EXPECT_TRUE(f.FormReady) << "creation ends, but the window is ready";
    EXPECT_EQ(Column(f.RunTable, RunCol::Name), (Names{L"Before"}));
    EXPECT_EQ(f.DisabledRunTable.RowCount(), 0u);
    EXPECT_EQ(f.FolderTable.RowCount(), 0u);
    EXPECT_EQ(f.DisabledFolderTable.RowCount(), 0u);
    EXPECT_EQ(ListView_GetItemCount(f.ListView), 0) << "the list is filled after the inventory";

    // Once the value is text, the next inventory is whole again.
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Counter", L"c.exe");
    f.RefrushButtonClick();
    EXPECT_EQ(f.RunTable.RowCount(), 3u);
    EXPECT_EQ(f.FolderTable.RowCount(), 1u);
    EXPECT_EQ(ListView_GetItemCount(f.ListView), 4);
}

TEST_F(Inventory, ScanningSendsRowsToTheScanTables) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Tool", L"tool.exe");
    MakeShortcut(UserStartup(), L"Link");
    TDisableForm& f = MakeForm();
    ASSERT_EQ(f.RunTable.RowCount(), 1u);

    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"New", L"new.exe");
    f.Scanning = true;
    f.ScanRunKey(HKEY_CURRENT_USER, L"HKCU", kCv + L"Run");
    f.ScanStartupFolder(L"Startup", f.StartupDir);
    f.Scanning = false;
    EXPECT_EQ(Column(f.RunScanTable, RunCol::Name), (Names{L"New", L"Tool"}));
    EXPECT_EQ(Column(f.RunScanTable, RunCol::ListIndex), (Names{L"-1", L"-1"}));
    EXPECT_EQ(Column(f.FolderScanTable, FolderCol::Name), (Names{L"Link"}));
    EXPECT_EQ(f.RunTable.RowCount(), 1u) << "the inventory tables are left alone";
    EXPECT_EQ(f.FolderTable.RowCount(), 1u);

    // An inventory leaves the scan tables as the last scan left them.
    f.RefrushButtonClick();
    EXPECT_EQ(f.RunScanTable.RowCount(), 2u);
    EXPECT_EQ(f.FolderScanTable.RowCount(), 1u);
}

TEST_F(Inventory, ListShowsTheFourTablesInBlockOrder) {
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"One", L"one.exe");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Two", L"two.exe");
    const std::wstring target = MakeShortcut(UserStartup(), L"Link");
    const std::wstring reg = std::wstring(kStartupRegStore) + L"\\Off";
    SetStringValue(HKEY_LOCAL_MACHINE, reg, L"item", L"Off");
    SetStringValue(HKEY_LOCAL_MACHINE, reg, L"command", L"off.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, reg, L"key", kCv + L"Run");
    SetStringValue(HKEY_LOCAL_MACHINE, reg, L"hkey", L"HKCU");
    const std::wstring folder = std::wstring(kStartupFolderStore) + L"\\C:^Gone.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"item", L"Gone");
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"command", L"gone.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, folder, L"location", L"Common Startup");

    TDisableForm& f = MakeForm();
    const std::wstring run = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::vector<ListRow> expected = {
        {L"One", L"one.exe", L"HKLM" + run, true},
        {L"Two", L"two.exe", L"HKCU" + run, true},
        {L"Link", target, L"Startup", true},
        {L"Off", L"off.exe", L"HKCU" + run, false},
        {L"Gone", L"gone.exe", L"Common Startup", false},
    };
    const std::vector<ListRow> rows = ListRows(f.ListView);
    ASSERT_EQ(rows.size(), expected.size());
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(Column(f.RunTable, RunCol::ListIndex), (Names{L"0", L"1"}));
    EXPECT_EQ(Column(f.FolderTable, FolderCol::ListIndex), (Names{L"2"}));
    EXPECT_EQ(Column(f.DisabledRunTable, DisabledRunCol::ListIndex), (Names{L"3"}));
    EXPECT_EQ(Column(f.DisabledFolderTable, DisabledFolderCol::ListIndex), (Names{L"4"}));
}

TEST_F(Inventory, FindsNamesIgnoringLetterCase) {
    TextTable table(RunCol::Count);
    table.Append({L"Alpha", L"a", L"HKLM\\x", L"-1"});
    table.Append({L"ÉCLAIR", L"b", L"HKLM\\x", L"-1"});
    table.Append({L"alpha", L"c", L"HKCU\\x", L"-1"});
    EXPECT_EQ(table.FindIgnoringCase(RunCol::Name, L"ALPHA"), 0) << "the first match";
    EXPECT_EQ(table.FindIgnoringCase(RunCol::Name, L"éclair"), 1);
    EXPECT_EQ(table.FindIgnoringCase(RunCol::Name, L"alph"), -1);
    EXPECT_EQ(table.FindIgnoringCase(RunCol::Name, L""), -1);
    EXPECT_THROW(table.Append({L"short row"}), std::invalid_argument);
    EXPECT_EQ(table.RowCount(), 3u);
}

}  // namespace
}  // namespace kb::test
