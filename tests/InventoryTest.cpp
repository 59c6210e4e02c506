#include "CoreHarness.h"
#include "platform/TextCompare.h"
#include "guard/Guard.h"
#include "reading/Inventory.h"

namespace kb::test {
namespace {

class Inventory : public CoreTest {};

// Every live place has one id, which the reading, the guard and the watch
// share; a place that could not be read is not among those read whole, by
// its id, and every other place is.
TEST_F(Inventory, EveryLivePlaceHasOneIdAndAnUnreadableOneIsNotReadWhole) {
    const std::vector<LivePlace>& places = LivePlaces();
    for (PlaceId id = 0; id < places.size(); ++id) EXPECT_EQ(IdOf(places[id]), id);
    EXPECT_EQ(IdOf(AsidePlaceOf(RunKeyPlaces().at(0))), std::nullopt) << "not a live place of its own";
    const PlaceId user = *IdOf(StartupFolderPlace{.common = false}), common = *IdOf(StartupFolderPlace{.common = true});
    EXPECT_EQ(LocationOf(places[user], Folders()), Folders().userStartup);
    const PlaceSelection whole =
        PlaceSelection{}.ReadWhole(Folders(), {SkippedValue::Unreadable(Folders().userStartup, WhyUnreadable::Denied),
                                               SkippedValue::NotText(RunKeyPlaces().at(0).Location(), L"x")});
    EXPECT_FALSE(whole.Has(user));
    EXPECT_TRUE(whole.Has(common));
    EXPECT_TRUE(whole.Has(0)) << "a value that is not text leaves its key read whole";
    EXPECT_EQ(std::count(whole.selected.begin(), whole.selected.end(), true),
              static_cast<std::ptrdiff_t>(places.size() - 1));
}

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

    const std::vector<RunValueEntry> values = Live().Of<RunValueEntry>();
    ASSERT_EQ(values.size(), 10u);
    // The machine's Run key first, in the registry's own order within it.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(values[i].place.Location(), L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    const Names names = NamesOf(values);
    EXPECT_EQ(Names(names.begin() + 4, names.end()),
              (Names{L"m-ro", L"m-rs", L"m-rso", L"u-run", L"u-ro", L"u-rso"}));
    EXPECT_EQ(values[9].place.Location(),
              L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce");

    const RunValueEntry unnamed = Value(L"", L"HKLM");
    EXPECT_EQ(unnamed.command, L"default value");
    const RunValueEntry expand = Value(L"expand", L"HKLM");
    EXPECT_EQ(expand.command, L"%ProgramFiles%\\Tool\\tool.exe") << "held unexpanded";
    EXPECT_EQ(expand.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_TRUE(skipped.empty());
}

// Windows starts every file of a Startup folder, whatever its kind.
TEST_F(Inventory, ReadsEveryFileOfBothFoldersAllUsersFirst) {
    const std::wstring sharedTarget = MakeShortcut(CommonStartup(), L"Shared");
    const std::wstring toolTarget = MakeShortcut(UserStartup(), L"My.Tool");
    const std::wstring hiddenTarget = MakeShortcut(UserStartup(), L"Hidden");
    ::SetFileAttributesW((UserStartup() + L"\\Hidden.lnk").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ShellLinkData loud = LinkTo(toolTarget);
    loud.Arguments = L"/tray";
    WriteShellLink(UserStartup() + L"\\Loud.LNK", loud);
    Folder(L"Startup\\Old.lnk");  // a folder: Windows opens none
    WriteFileBytes(UserStartup() + L"\\Note.lnk", "not a shortcut");
    WriteFileBytes(UserStartup() + L"\\run.bat", "@echo off\r\n");
    // The folder's own settings, which the shell knows by their being hidden
    // and system, are none; Explorer opens one without those like any file.
    WriteFileBytes(UserStartup() + L"\\desktop.ini", "[.ShellClassInfo]\r\n");
    ::SetFileAttributesW((UserStartup() + L"\\desktop.ini").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileBytes(CommonStartup() + L"\\desktop.ini", "[.ShellClassInfo]\r\n");

    const std::vector<ShortcutEntry> shortcuts = Live().Of<ShortcutEntry>();
    ASSERT_EQ(shortcuts.size(), 7u) << "no folder, no folder settings";
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(shortcuts[i].location, L"Common Startup");
    EXPECT_EQ(Shortcut(L"desktop").fileName, L"desktop.ini") << "a plain one is a file Explorer opens";
    EXPECT_EQ(Shortcut(L"desktop").location, L"Common Startup");
    EXPECT_EQ(Narrow(Shortcut(L"Shared").command), Narrow(sharedTarget));
    EXPECT_EQ(Narrow(Shortcut(L"My.Tool").command), Narrow(toolTarget));
    EXPECT_EQ(Narrow(Shortcut(L"Hidden").command), Narrow(hiddenTarget));
    EXPECT_EQ(Shortcut(L"Loud").fileName, L"Loud.LNK") << "its own letter case";
    EXPECT_EQ(Narrow(Shortcut(L"Loud").command), Narrow(toolTarget + L" /tray"));
    EXPECT_FALSE(Shortcut(L"Note").link);
    EXPECT_EQ(Shortcut(L"Note").command, UserStartup() + L"\\Note.lnk") << "the file itself";
    EXPECT_EQ(Shortcut(L"run").fileName, L"run.bat");
    EXPECT_EQ(Shortcut(L"run").command, UserStartup() + L"\\run.bat");
    for (std::size_t i = 2; i < shortcuts.size(); ++i) EXPECT_EQ(shortcuts[i].location, L"Startup");
}

TEST_F(Inventory, ReadsTheStoreTakingOnlyCompleteEntries) {
    StoreValueEntry(L"Complete", L"Complete", L"C:\\Complete.exe");
    StoreValueEntry(L"NoHkey", L"NoHkey", L"C:\\NoHkey.exe", L"");
    const std::wstring folder = kStartupFolderStore;
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^Bare.lnk", L"item", L"Bare");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^Bare.lnk", L"command", L"C:\\bare.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^NoCommand.lnk", L"item", L"NoCommand");
    SetStringValue(HKEY_LOCAL_MACHINE, folder + L"\\C:^x^NoCommand.lnk", L"location", L"Startup");

    const StoredEntries stored = Stored();
    ASSERT_EQ(stored.values.size(), 1u);
    EXPECT_EQ(stored.values[0].subkey, L"Complete");
    EXPECT_EQ(stored.values[0].hkey, L"HKCU");
    EXPECT_EQ(stored.values[0].command, L"C:\\Complete.exe");
    EXPECT_EQ(stored.values[0].Location(), L"HKCU\\" + kRun);

    ASSERT_EQ(stored.shortcuts.size(), 1u);
    EXPECT_EQ(stored.shortcuts[0].item, L"Bare");
    EXPECT_EQ(stored.shortcuts[0].StoreKeyPath(), folder + L"\\C:^x^Bare.lnk");
    EXPECT_EQ(stored.shortcuts[0].location + stored.shortcuts[0].backup + stored.shortcuts[0].path,
              L"");
}

// A value that is not text starts nothing and cannot be stored: it is
// passed over and noted, and everything around it is read.
TEST_F(Inventory, ValuesThatAreNotTextAreSkippedAndNoted) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Before", L"a.exe");
    const DWORD number = 5;
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Blob", REG_BINARY, "xy", 2);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Later", L"b.exe");
    MakeShortcut(UserStartup(), L"Tool");
    StoreValueEntry(L"Odd", L"Odd", L"odd.exe");
    SetRawValue(HKEY_LOCAL_MACHINE, std::wstring(kStartupRegStore) + L"\\Odd", L"key", REG_DWORD,
                &number, sizeof number);
    StoreValueEntry(L"Fine", L"Fine", L"fine.exe");

    const LiveEntries live = Live();
    EXPECT_EQ(NamesOf(live.Of<RunValueEntry>()), (Names{L"Before", L"Later"}));
    EXPECT_EQ(live.Of<ShortcutEntry>().size(), 1u);
    EXPECT_EQ(NamesOf(Stored().values), (Names{L"Fine"}));
    EXPECT_EQ(skipped, (std::vector<SkippedValue>{
                           SkippedValue::NotText(L"HKLM\\" + kRun, L"Counter"),
                           SkippedValue::NotText(L"HKCU\\" + kRun, L"Blob"),
                           SkippedValue::NotText(L"HKLM\\" + std::wstring(kStartupRegStore) + L"\\Odd", L"key")}));
}

// As the registry and the file system compare names: by code point,
// ignoring case, never by the locale (which ignores a soft hyphen).
TEST_F(Inventory, NamesCompareOrdinallyIgnoringLetterCase) {
    EXPECT_TRUE(EqualIgnoringCase(L"Alpha", L"ALPHA"));
    EXPECT_TRUE(EqualIgnoringCase(L"ÉCLAIR", L"éclair"));
    EXPECT_FALSE(EqualIgnoringCase(L"alph", L"alpha"));
    EXPECT_FALSE(EqualIgnoringCase(L"", L"a"));
    EXPECT_FALSE(EqualIgnoringCase(L"Keep\u00ADboot", L"Keepboot"));
}

}  // namespace
}  // namespace kb::test
