// The guard as Windows 10 and 11 run it: a standard user's process, which
// may read the machine's places and the shared store but write neither.
// The standard-user mode of the fault layer refuses what Windows refuses.
#include "CoreHarness.h"
#include "platform/Faults.h"
#include "platform/Registry.h"
#include "guard/EntryKey.h"
#include "guard/Guard.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"
#include "places/TaskManager.h"

namespace kb::test {
namespace {

const std::wstring kRunOnce = kCv + L"RunOnce";

class StandardUser : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        UserStartup();
        Windows();
        SetStandardUserMode(true, {Windows(), CommonStartup()});
    }
    bool Live(HKEY root, const std::wstring& key, const std::wstring& name) {
        return ReadRawValue(root, key, name).exists;
    }
    bool SwitchedOff(const std::wstring& approvedKey, const std::wstring& name) {
        return TaskManagerSwitches(HKEY_CURRENT_USER, approvedKey).Disabled(name);
    }
};

TEST_F(StandardUser, MachineEntriesWaitForAdministratorRightsAndNothingMoves) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    MakeShortcut(CommonStartup(), L"Shared");
    StoreValueEntry(L"Old", L"Old", L"old.exe");

    EXPECT_EQ(DisableRunValue(Value(L"Vendor", L"HKLM")), MoveResult::NeedsAdministrator);
    EXPECT_EQ(DisableShortcut(Shortcut(L"Shared"), Folders()), MoveResult::NeedsAdministrator);
    EXPECT_EQ(EnableRunValue(StoredValue(L"Old")), MoveResult::NeedsAdministrator);
    EXPECT_TRUE(Live(HKEY_LOCAL_MACHINE, kRun, L"Vendor"));
    EXPECT_TRUE(FileExists(CommonStartup() + L"\\Shared.lnk"));
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, kRun, L"Old")) << "nothing goes live that stays stored";
    EXPECT_EQ(NamesOf(Stored().values), Names{L"Old"});
    // What the list and the prompt mark with the shield.
    for (const StartupEntry& entry : {StartupEntry(Value(L"Vendor", L"HKLM")),
                                      StartupEntry(Shortcut(L"Shared")),
                                      StartupEntry(StoredValue(L"Old"))})
        EXPECT_TRUE(WritesMachinePlaces(entry));
}

TEST_F(StandardUser, UserEntriesAreSwitchedOffWhereWindowsReadsTheSwitches) {
    SetTaskManagerSwitchesAvailable(true);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Updater", L"upd.exe");
    MakeShortcut(UserStartup(), L"Tray");

    ASSERT_EQ(DisableRunValue(Value(L"Updater")), MoveResult::Moved);
    ASSERT_EQ(DisableShortcut(Shortcut(L"Tray"), Folders()), MoveResult::Moved);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, kRun, L"Updater")) << "it stays where it is";
    EXPECT_TRUE(SwitchedOff(L"Run", L"Updater"));
    EXPECT_TRUE(SwitchedOff(kTaskManagerFolderKey, L"Tray.lnk"));
    EXPECT_TRUE(Value(L"Updater").disabledByTaskManager) << "listed unchecked";
    EXPECT_TRUE(Stored().values.empty());

    // Ticked again on the list: switched on, as Task Manager does.
    EXPECT_EQ(MoveEntry(Value(L"Updater"), Folders()), MoveResult::Moved);
    EXPECT_EQ(MoveEntry(Shortcut(L"Tray"), Folders()), MoveResult::Moved);
    EXPECT_FALSE(Value(L"Updater").disabledByTaskManager);
    EXPECT_FALSE(Shortcut(L"Tray").disabledByTaskManager);
}

// RunOnce has no switch, nor has Windows 7: the user's own store keeps
// what the user disabled, in the shared layout, and gives it back whole.
TEST_F(StandardUser, WithoutASwitchTheUsersOwnStoreKeepsTheEntry) {
    SetTaskManagerSwitchesAvailable(false);
    SetStringValue(HKEY_CURRENT_USER, kRunOnce, L"Setup", L"%TEMP%\\setup.exe /finish",
                   REG_EXPAND_SZ);
    MakeShortcut(UserStartup(), L"Tray");
    const std::string bytes = ReadFileBytes(UserStartup() + L"\\Tray.lnk");

    ASSERT_EQ(DisableRunValue(Value(L"Setup")), MoveResult::Moved);
    ASSERT_EQ(DisableShortcut(Shortcut(L"Tray"), Folders()), MoveResult::Moved);
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, kRunOnce, L"Setup"));
    EXPECT_FALSE(FileExists(UserStartup() + L"\\Tray.lnk"));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, std::wstring(kUserRunStore) + L"\\Setup", L"item"),
              Text(L"Setup"));
    const StoredRunEntry value = StoredValue(L"Setup");
    const StoredShortcutEntry shortcut = StoredShortcut(L"Tray");
    EXPECT_EQ(value.store, StoreKind::User);
    EXPECT_EQ(shortcut.store, StoreKind::User);
    EXPECT_TRUE(DirectoryExists(Folders().userBackup)) << "the user store's backups";

    EXPECT_EQ(EnableRunValue(value), MoveResult::Moved);
    EXPECT_EQ(EnableShortcut(shortcut, Folders()), MoveResult::Moved);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRunOnce, L"Setup"),
              Text(L"%TEMP%\\setup.exe /finish", REG_EXPAND_SZ));
    EXPECT_EQ(ReadFileBytes(UserStartup() + L"\\Tray.lnk"), bytes) << "byte for byte";
    EXPECT_TRUE(Stored().values.empty());
    EXPECT_TRUE(Stored().shortcuts.empty());
}

// Every program of the user may write the user's store: an entry there is
// only ever given back to the user's own places.
TEST_F(StandardUser, UserStoreEntryNamingAMachineKeyIsNotListed) {
    const std::wstring path = std::wstring(kUserRunStore) + L"\\Planted";
    SetStringValue(HKEY_CURRENT_USER, path, L"item", L"Planted");
    SetStringValue(HKEY_CURRENT_USER, path, L"command", L"C:\\evil\\x.exe");
    SetStringValue(HKEY_CURRENT_USER, path, L"hkey", L"HKLM");
    SetStringValue(HKEY_CURRENT_USER, path, L"key", kRun);
    EXPECT_TRUE(Stored().values.empty());
}

TEST_F(StandardUser, ReadingAndCheckingAskForNoWriteRights) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Mine", L"mine.exe");
    StoreValueEntry(L"Old", L"Old", L"old.exe");
    MakeShortcut(CommonStartup(), L"Shared");
    StartupGuard guard(Folders());
    const unsigned long before = WriteOpens();
    guard.Reload();
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});
    EXPECT_EQ(WriteOpens(), before);
    EXPECT_EQ(NamesOf(guard.Known().live.Of<RunValueEntry>()), (Names{L"Vendor", L"Mine"}));
    EXPECT_EQ(NamesOf(guard.Known().live.Of<ShortcutEntry>()), Names{L"Shared"});
    EXPECT_EQ(NamesOf(guard.Known().stored.values), Names{L"Old"});
}

TEST_F(StandardUser, NewMachineEntryIsReportedOnceAndLentRightsOnlyWhenAsked) {
    StartupGuard guard(Folders());
    Told told;
    told.Listen(guard);
    guard.Reload();
    int elevations = 0;
    guard.SetElevation([&](const StartupEntry&) {
        ++elevations;
        return MoveResult::NeedsAdministrator;  // the user declined
    });
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    const auto check = [&](Policy policy) {
        guard.Check(policy, [](const StartupEntry&) { return Decision::Disable; },
                    [](const StartupEntry&) {});
    };
    check(Policy::DisableSilently);
    EXPECT_EQ(elevations, 0) << "no request for rights behind the user's back";
    const std::vector<NeedsAdministrator> waiting = told.Take<NeedsAdministrator>();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].entry.item, L"Vendor");
    EXPECT_TRUE(told.Take<NotDisabled>().empty()) << "no failure: a lack of rights";
    check(Policy::DisableSilently);
    EXPECT_TRUE(told.Take<NeedsAdministrator>().empty()) << "once while it stays";

    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Other", L"other.exe");
    check(Policy::Ask);
    EXPECT_EQ(elevations, 1) << "the user who answered Disable lends the rights";
    EXPECT_TRUE(Live(HKEY_LOCAL_MACHINE, kRun, L"Other"));
}

TEST_F(StandardUser, SwitchTurnedBackOnFromOutsideIsNew) {
    SetTaskManagerSwitchesAvailable(true);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Updater", L"upd.exe");
    StartupGuard guard(Folders());
    guard.Reload();
    ASSERT_EQ(DisableRunValue(Value(L"Updater")), MoveResult::Moved);  // as Task Manager does
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});  // known while it starts nothing
    const BYTE on[12] = {0x02};
    SetRawValue(HKEY_CURRENT_USER, std::wstring(kStartupApprovedKey) + L"\\Run", L"Updater",
                REG_BINARY, on, sizeof on);
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});
    EXPECT_TRUE(SwitchedOff(L"Run", L"Updater")) << "switched off again";
}

// The elevated instance finds in its own reading the very entry the
// other instance named, of each kind; a key of nothing finds nothing.
TEST_F(CoreTest, EntryKeysFindTheSameEntryInAnotherReading) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", L"tool.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"mine.exe");
    MakeShortcut(UserStartup(), L"Link");
    StoreValueEntry(L"Old", L"Old", L"old.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"RunOnceEx\\0001", L"1", L"step.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Aside", L"aside.exe");
    Inventory inventory{Live(), Stored(), {}};
    ASSERT_EQ(inventory.live.Of<AsideEntry>().size(), 2u) << "a step, and a value moved aside";
    std::vector<std::wstring> texts;
    const std::vector<StartupEntry> entries = inventory.InListOrder();
    for (const StartupEntry& entry : entries)
        for (const std::wstring& text : KeyOf(entry)) texts.push_back(text);
    std::size_t at = 0;
    for (const StartupEntry& entry : entries) {
        const std::optional<StartupEntry> found = FindByKey(inventory, texts, at);
        ASSERT_TRUE(found);
        EXPECT_EQ(TextOf(*found).command, TextOf(entry).command);
        EXPECT_EQ(TextOf(*found).location, TextOf(entry).location);
    }
    EXPECT_EQ(at, texts.size());

    std::vector<std::wstring> gone{L"value", L"4", L"HKCU", L"0", kRun, L"Gone"};
    at = 0;
    EXPECT_FALSE(FindByKey(inventory, gone, at));
    EXPECT_EQ(at, gone.size());
    std::vector<std::wstring> unknown{L"task", L"2", L"a", L"b"};
    const std::vector<std::wstring> known = KeyOf(entries.front());
    unknown.insert(unknown.end(), known.begin(), known.end());
    at = 0;
    EXPECT_FALSE(FindByKey(inventory, unknown, at));
    EXPECT_EQ(at, 4u) << "a kind it does not know is passed over";
    EXPECT_TRUE(FindByKey(inventory, unknown, at));
    std::vector<std::wstring> cut{L"value", L"4", L"HKCU"};
    at = 0;
    EXPECT_FALSE(FindByKey(inventory, cut, at));
    EXPECT_EQ(at, cut.size()) << "a malformed key ends the list";
}

}  // namespace
}  // namespace kb::test
