// The watch's rules on the guard core alone: what counts as new, what each
// policy does with it, and that only a whole reading replaces what is
// known.
#include "CoreHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "guard/Guard.h"

namespace kb::test {
namespace {

std::wstring StoredPath(const std::wstring& name) {
    return std::wstring(kStartupRegStore) + L"\\" + name;
}

class Guard : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
    StartupGuard& Loaded() {
        guard = std::make_unique<StartupGuard>(Folders());
        told.Listen(*guard);
        guard->Reload();
        return *guard;
    }
    // One check, the questions collected and answered by answer.
    void Check(Policy policy) {
        guard->Check(
            policy,
            [this](const StartupEntry& entry) {
                asked.push_back(TextOf(entry).item);
                return answer;
            },
            [this](const StartupEntry& entry) { allowed.push_back(TextOf(entry).item); });
    }
    bool Live(HKEY root, const std::wstring& name) {
        return ReadRawValue(root, kRun, name).exists;
    }

    std::unique_ptr<StartupGuard> guard;
    Told told;
    Decision answer = Decision::Leave;
    Names asked, allowed;
};

TEST_F(Guard, DisablePolicyStoresEveryNewEntryWithoutAWord) {
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    MakeShortcut(UserStartup(), L"NewLink");
    Check(Policy::DisableSilently);
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, StoredPath(L"New")));
    EXPECT_FALSE(FileExists(UserStartup() + L"\\NewLink.lnk"));
    EXPECT_TRUE(guard->Known().live.Of<RunValueEntry>().empty()) << "a disabled entry is not made known";
}

TEST_F(Guard, AllowPolicyLeavesANewEntryAndKnowsItFromThenOn) {
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Check(Policy::Allow);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(allowed, (Names{L"New"}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New")) << "known, as an answer is";
}

TEST_F(Guard, AskPolicyAllowMakesTheEntryKnown) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Old", L"old.exe");
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    answer = Decision::Allow;
    Check(Policy::Ask);
    EXPECT_EQ(asked, (Names{L"New"}));
    EXPECT_EQ(allowed, (Names{L"New"}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_EQ(NamesOf(guard->Known().live.Of<RunValueEntry>()), (Names{L"Old", L"New"}));
    Check(Policy::Ask);
    EXPECT_EQ(asked.size(), 1u) << "known from now on";
}

TEST_F(Guard, AnAnswerCountsForItsOwnPlaceOnly) {
    Loaded();
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Dup", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"dup", L"user.exe");
    answer = Decision::Allow;
    Check(Policy::Ask);
    EXPECT_EQ(asked, (Names{L"Dup", L"dup"})) << "one name in two places is two entries";
    asked.clear();
    Check(Policy::Ask);
    EXPECT_TRUE(asked.empty()) << "both known now";
}

TEST_F(Guard, CancelAsksAgainAtTheNextCheck) {
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Check(Policy::Ask);
    Check(Policy::Ask);
    EXPECT_EQ(asked, (Names{L"New", L"New"}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"New"));
}

// A known entry is its place, its exact name and what it starts: a known
// name in another place, a look-alike name, a shortcut of a value's name
// and a known value rewritten to start something else are all new.
TEST_F(Guard, KnownIsThePlaceTheNameAndWhatItStarts) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"tool.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Steady", L"steady.exe");
    Loaded();
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"TOOL", L"tool.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Ste\u00ADady", L"steady.exe");
    MakeShortcut(UserStartup(), L"Tool");
    Check(Policy::Ask);
    EXPECT_EQ(asked, (Names{L"TOOL", L"Ste\u00ADady", L"Tool"}));

    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"TOOL");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Ste\u00ADady");
    ::DeleteFileW((UserStartup() + L"\\Tool.lnk").c_str());
    SetStringValue(HKEY_CURRENT_USER, kRun, L"tool", L"C:\\evil\\x.exe");
    std::optional<std::wstring> before;
    guard->Check(
        Policy::Ask,
        [&](const StartupEntry& entry) {
            before = guard->PreviousCommand(entry);
            return Decision::Disable;
        },
        [](const StartupEntry&) {});
    EXPECT_EQ(before, L"tool.exe") << "the prompt can show what it started before";
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"Tool")) << "disabled with what it starts now";
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, StoredPath(L"Tool"), L"command"),
              Text(L"C:\\evil\\x.exe"));
    const std::vector<ChangedEntry> changed = told.Take<ChangedEntry>();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].previously, L"tool.exe");
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Steady"));
}

// A RunOnce value is deleted by Windows once it ran: one made again is
// new, even with the command it had.
TEST_F(Guard, EntryThatWentAwayIsNewWhenItComesBack) {
    const std::wstring runOnce = kCv + L"RunOnce";
    SetStringValue(HKEY_CURRENT_USER, runOnce, L"Once", L"once.exe");
    Loaded();
    Check(Policy::DisableSilently);
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, runOnce, L"Once").exists) << "known";
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, runOnce.c_str(), L"Once");
    Check(Policy::DisableSilently);
    SetStringValue(HKEY_CURRENT_USER, runOnce, L"Once", L"once.exe");
    Check(Policy::DisableSilently);
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, runOnce, L"Once").exists);
}

// A value that is not text is no entry: the rest of its key is guarded,
// it is reported once, and its going away changes nothing.
TEST_F(Guard, ValueThatIsNotTextBlindsNothing) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    const DWORD number = 1;
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    Loaded();
    EXPECT_EQ(told.Take<SkippedValue>(), (std::vector<SkippedValue>{SkippedValue::NotText(L"HKCU\\" + kRun, L"Counter")}));
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Check(Policy::DisableSilently);
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"New"));
    Check(Policy::DisableSilently);
    EXPECT_TRUE(told.Take<SkippedValue>().empty()) << "reported once, not at every check";

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Counter");
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Known"));
}

TEST_F(Guard, ReadingThatIsNotWholeKeepsWhatIsKnown) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    MakeShortcut(UserStartup(), L"Link");
    Loaded();
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryList; });
    guard->Reload();
    SetFaultInjector({});
    EXPECT_EQ(NamesOf(guard->Known().live.Of<RunValueEntry>()), (Names{L"Known"}));
    EXPECT_EQ(guard->UnreadablePlaces(),
              (std::vector<SkippedValue>{SkippedValue::Unreadable(
                  L"HKCU\\" + kRun, WhyUnreadable::ValuesUnlisted)}));
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Known"));
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Link.lnk"));
}

// A Startup folder replaced by a file: its shortcuts stay known (none is
// new when the folder comes back), the other places are guarded, and it
// is reported once.
TEST_F(Guard, PlaceThatCannotBeReadKeepsItsLastReading) {
    const std::wstring startup = UserStartup(), moved = startup + L"-away";
    MakeShortcut(startup, L"Link");
    Loaded();
    ASSERT_TRUE(::MoveFileW(startup.c_str(), moved.c_str()));
    WriteFileBytes(startup, "");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    Check(Policy::DisableSilently);
    guard->Reload();
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"New"));
    EXPECT_EQ(NamesOf(guard->Known().live.Of<ShortcutEntry>()), (Names{L"Link"}));
    EXPECT_EQ(told.Take<SkippedValue>(),
              (std::vector<SkippedValue>{SkippedValue::Unreadable(startup, WhyUnreadable::NotAFolder)}));

    ASSERT_TRUE(::DeleteFileW(startup.c_str()));
    ASSERT_TRUE(::MoveFileW(moved.c_str(), startup.c_str()));
    Check(Policy::DisableSilently);
    EXPECT_TRUE(FileExists(startup + L"\\Link.lnk")) << "still known";
    EXPECT_TRUE(guard->UnreadablePlaces().empty());
}

// A Startup folder moved elsewhere: the shortcuts there are new, even one
// of the very name and target that was known in the old place.
TEST_F(Guard, MovedFolderHoldsNoKnownShortcut) {
    MakeShortcut(UserStartup(), L"Link");
    Loaded();
    StartupFolders moved = Folders();
    moved.userStartup = Folder(L"Elsewhere");
    MakeShortcut(moved.userStartup, L"Link");
    guard->MoveFolders(moved);
    Check(Policy::DisableSilently);
    EXPECT_FALSE(FileExists(moved.userStartup + L"\\Link.lnk"));
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Link.lnk")) << "logon no longer reads it";
}

// An odd store entry makes no reading fail: the shortcuts read after it
// stay known, so "disable all" leaves them where they are.
TEST_F(Guard, OddStoreEntryLeavesTheShortcutsKnown) {
    MakeShortcut(UserStartup(), L"Link");
    StoreValueEntry(L"Odd", L"Odd", L"odd.exe");
    const DWORD number = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, StoredPath(L"Odd"), L"command", REG_DWORD, &number,
                sizeof number);
    Loaded();
    Check(Policy::DisableSilently);
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Link.lnk"));
    EXPECT_EQ(told.Take<SkippedValue>().size(), 1u);
}

TEST_F(Guard, CheckBeforeAnyWholeReadingOnlyReads) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Present", L"present.exe");
    guard = std::make_unique<StartupGuard>(Folders());
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Present"));
    EXPECT_TRUE(guard->Loaded());
}

TEST_F(Guard, NothingHappensOnceShutDownBegan) {
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"First", L"first.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Second", L"second.exe");
    guard->Check(
        Policy::Ask,
        [&](const StartupEntry& entry) {
            asked.push_back(TextOf(entry).item);
            guard->ShutDown();  // the program ends while the question waits
            return Decision::Disable;
        },
        [](const StartupEntry&) {});
    EXPECT_EQ(asked, (Names{L"First"}));
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"First")) << "an answer after the shutdown does nothing";
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Second"));
}

TEST_F(Guard, EnabledEntryIsKnownBeforeAnyReload) {
    StoreValueEntry(L"Back", L"Back", L"back.exe");
    Loaded();
    ASSERT_EQ(guard->Move(StoredValue(L"Back")), MoveResult::Moved);
    Check(Policy::DisableSilently);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Back"));
}

// An entry the store cannot take (here: its key cannot be made) is
// reported once and not asked about again until it changes.
TEST_F(Guard, EntryThatCannotBeDisabledIsReportedOnceUntilItChanges) {
    Loaded();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Stuck", L"stuck.exe");
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryCreateKey; });
    answer = Decision::Disable;
    Check(Policy::Ask);
    Check(Policy::Ask);
    Check(Policy::DisableSilently);
    EXPECT_EQ(asked, (Names{L"Stuck"}));
    const auto unmovable = told.Take<NotDisabled>();
    ASSERT_EQ(unmovable.size(), 1u);
    EXPECT_EQ(unmovable[0].entry.location, L"HKCU\\" + kRun);
    EXPECT_EQ(unmovable[0].why, MoveResult::CannotMove);
    EXPECT_TRUE(Live(HKEY_CURRENT_USER, L"Stuck"));

    SetFaultInjector({});
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Stuck", L"changed.exe");
    Check(Policy::Ask);
    EXPECT_EQ(asked, (Names{L"Stuck", L"Stuck"})) << "changed, so asked again";
    EXPECT_FALSE(Live(HKEY_CURRENT_USER, L"Stuck"));
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// A program that puts itself back with a new argument each time it is
// disabled: nothing of it stays live, and the store holds one entry per
// command it tried, counting how often each came back.
TEST_F(Guard, ReAdderFillsNothingAndNothingStaysLive) {
    Loaded();
    for (int round = 0; round < 150; ++round) {
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Persist",
                       L"persist.exe --round=" + std::to_wstring(round % 3));
        Check(Policy::DisableSilently);
        ASSERT_FALSE(Live(HKEY_CURRENT_USER, L"Persist")) << "round " << round;
    }
    const StoredEntries stored = Stored();
    EXPECT_EQ(stored.values.size(), 3u);
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, StoredPath(L"Persist"), L"KeepbootDisabledCount"),
              Text(L"50"));
    EXPECT_TRUE(told.Take<NotDisabled>().empty());
}

}  // namespace
}  // namespace kb::test
