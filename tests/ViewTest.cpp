// 64-bit Windows and the later forms of the shared store: both views of
// the machine's Run-type keys, the store's later layout, and the switches
// Task Manager keeps for the entries it disabled.
#include <cstdlib>

#include "CoreHarness.h"
#include "platform/Registry.h"
#include "guard/Guard.h"
#include "guard/HandBack.h"
#include "places/TaskManager.h"
#include "reading/Inventory.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"

namespace kb::test {
namespace {

const std::wstring kRegStore = kStartupRegStore;
const std::wstring kFolderStore = kStartupFolderStore;
const BYTE kSwitchOff[12] = {0x03};

class LaterForms : public CoreTest {};

TEST_F(LaterForms, PlacesOf64BitWindowsHaveBothMachineViews) {
    const std::vector<RunKeyPlace> places = RunKeyPlacesFor(true);
    ASSERT_EQ(places.size(), 22u);
    EXPECT_EQ(places[0].Location(), L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(places[4].Location(),
              L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(places[0].approvedKey, L"Run");
    EXPECT_EQ(places[4].approvedKey, L"Run32");
    for (int i = 0; i < 8; ++i) EXPECT_EQ(places[i].view, static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_EQ(places[8].Location(), L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
        << "the user's keys once: one set in both views";
    EXPECT_EQ(places[10].view, 0u);
    // The user's own 32-bit branch, a plain key of the user's.
    EXPECT_EQ(places[11].Location(),
              L"HKCU\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(places[12].Location(),
              L"HKCU\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    EXPECT_EQ(places[12].view, 0u);
    // The other lists after the Run-type keys: the machine's in both views.
    EXPECT_EQ(places[13].Location(),
              L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run");
    EXPECT_EQ(places[16].Location(),
              L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run");
    for (int i = 13; i < 19; ++i) EXPECT_EQ(places[i].view, static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_EQ(places[21].Location(),
              L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\"
              L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    EXPECT_EQ(places[21].view, 0u);

    const std::vector<RunKeyPlace> plain = RunKeyPlacesFor(false);
    EXPECT_EQ(plain.size(), 13u);
    for (const RunKeyPlace& place : plain) EXPECT_EQ(place.view, 0u);
}

// As the utility's later versions lay them out: a shortcut's location is
// its folder's path, its backup copy item.lnk + backupExtension, and both
// kinds carry the date they were disabled.
TEST_F(LaterForms, StoreEntriesOfTheLaterFormListAndEnable) {
    const std::wstring pss = Pss();
    const ShellLinkData link = AsRead(RichLink(L"later"));
    WriteShellLink(pss + L"\\Later.lnk.Startup", link);
    const std::wstring sub = kFolderStore + L"\\" + L"Later";
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Later");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", QuoteCommandLine(link.Target));
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"location", UserStartup());
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"backup", pss);
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"backupExtension", L".Startup");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"path", UserStartup() + L"\\Later.lnk");
    StoreValueEntry(L"Dated", L"Dated", L"dated.exe");
    for (const wchar_t* part : {L"YEAR", L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"}) {
        const DWORD number = 7;
        SetRawValue(HKEY_LOCAL_MACHINE, sub, part, REG_DWORD, &number, sizeof number);
        SetRawValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Dated", part, REG_DWORD, &number,
                    sizeof number);
    }

    const std::string copy = ReadFileBytes(pss + L"\\Later.lnk.Startup");
    ASSERT_EQ(MoveResult::Moved, EnableShortcut(StoredShortcut(L"Later"), Folders()));
    EXPECT_EQ(ReadFileBytes(UserStartup() + L"\\Later.lnk"), copy) << "the backup copy itself";
    EXPECT_FALSE(FileExists(pss + L"\\Later.lnk.Startup"));
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Dated")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Dated").text, L"dated.exe");
    EXPECT_TRUE(skipped.empty()) << "the date values are no entry's text";
}

TEST_F(LaterForms, EntriesDisabledHereCarryTheDate) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"tool.exe");
    MakeShortcut(UserStartup(), L"Link");
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool")));
    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Link"), Folders()));
    for (const std::wstring& sub :
         {kRegStore + L"\\Tool", StoredShortcut(L"Link").StoreKeyPath()}) {
        const RawValue year = ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"YEAR");
        EXPECT_EQ(year.type, static_cast<DWORD>(REG_DWORD)) << Narrow(sub);
        for (const wchar_t* part : {L"MONTH", L"DAY", L"HOUR", L"MINUTE", L"SECOND"})
            EXPECT_TRUE(ReadRawValue(HKEY_LOCAL_MACHINE, sub, part).exists) << Narrow(part);
    }
}

// Task Manager disables an entry where it stands; Windows then does not
// start it. Listed disabled, left alone by the watch, enabled here where
// Task Manager would.
TEST_F(LaterForms, TaskManagerDisabledEntriesAreListedDisabledAndEnabledHere) {
    StartupGuard guard(Folders());
    guard.Reload();
    const std::wstring approved = kStartupApprovedKey;
    SetStringValue(HKEY_CURRENT_USER, kRun, L"TmOff", L"tm.exe");
    SetRawValue(HKEY_CURRENT_USER, approved + L"\\Run", L"TmOff", REG_BINARY, kSwitchOff,
                sizeof kSwitchOff);
    MakeShortcut(UserStartup(), L"TmLink");
    SetRawValue(HKEY_CURRENT_USER, approved + L"\\StartupFolder", L"TmLink.lnk", REG_BINARY,
                kSwitchOff, sizeof kSwitchOff);

    EXPECT_TRUE(Value(L"TmOff").disabledByTaskManager);
    EXPECT_FALSE(TextOf(Value(L"TmOff")).enabled);
    EXPECT_TRUE(Shortcut(L"TmLink").disabledByTaskManager);
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"TmOff").exists) << "never taken for new";
    EXPECT_TRUE(FileExists(UserStartup() + L"\\TmLink.lnk"));
    EXPECT_TRUE(Stored().values.empty());

    EXPECT_EQ(MoveResult::Moved, MoveEntry(Value(L"TmOff"), Folders()));
    EXPECT_EQ(MoveResult::Moved, MoveEntry(Shortcut(L"TmLink"), Folders()));
    EXPECT_FALSE(Value(L"TmOff").disabledByTaskManager);
    EXPECT_FALSE(Shortcut(L"TmLink").disabledByTaskManager);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, approved + L"\\Run", L"TmOff").type,
              static_cast<DWORD>(REG_BINARY));
}

// The real registry of a 64-bit throwaway prefix, where a 32-bit program
// meets redirection as on 64-bit Windows (the sandbox's redirected roots
// have one view only).
class RealViews : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("KEEPBOOT_THROWAWAY_PREFIX"))
            GTEST_SKIP() << "the real registry is only used in a throwaway Wine prefix";
        if (!Is64BitWindows()) GTEST_SKIP() << "32-bit Windows has one view";
    }
    void TearDown() override {
        for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            for (const auto& [path, name] : values_)
                if (OpenedKey key = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, path, view))
                    key->DeleteValue(name);
            for (const std::wstring& sub : stored_)
                RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kRegStore + L"\\" + sub, view);
        }
    }
    void AddMachineValue(const std::wstring& name, const std::wstring& command, REGSAM view) {
        values_.emplace_back(kRun, name);
        stored_.push_back(name);
        SetStringValue(HKEY_LOCAL_MACHINE, kRun, name, command, REG_SZ, view);
    }
    static const RunValueEntry* Find(const LiveEntries& live, const std::wstring& name) {
        for (const RunValueEntry& e : live.Of<RunValueEntry>())
            if (e.name == name) return &e;
        return nullptr;
    }
    static std::optional<StoredRunEntry> StoredOf(const std::wstring& item) {
        std::vector<SkippedValue> skipped;
        for (const StoredRunEntry& e : ReadStoredEntries(skipped).values)
            if (e.item == item) return e;
        return std::nullopt;
    }
    static bool In(REGSAM view, const std::wstring& name) {
        return ReadRawValue(HKEY_LOCAL_MACHINE, kRun, name, view).exists;
    }

    std::vector<std::pair<std::wstring, std::wstring>> values_;
    std::vector<std::wstring> stored_;
};

TEST_F(RealViews, BothMachineViewsAreListedAndEachComesBackToItsOwn) {
    AddMachineValue(L"Keepboot View 64", L"C:\\sixty-four.exe", KEY_WOW64_64KEY);
    AddMachineValue(L"Keepboot View 32", L"C:\\thirty-two.exe", KEY_WOW64_32KEY);
    std::vector<SkippedValue> skipped;
    const LiveEntries live = ReadLiveEntries({}, skipped);
    const RunValueEntry* native = Find(live, L"Keepboot View 64");
    const RunValueEntry* wow = Find(live, L"Keepboot View 32");
    ASSERT_TRUE(native && wow);
    EXPECT_EQ(native->place.Location(), L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(wow->place.Location(),
              L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");

    for (const RunValueEntry* entry : {native, wow}) {
        SCOPED_TRACE(Narrow(entry->name));
        ASSERT_EQ(MoveResult::Moved, DisableRunValue(*entry));
        const std::wstring sub = kRegStore + L"\\" + entry->name;
        EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_64KEY)) << "the 64-bit store";
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_32KEY));
    }
    EXPECT_FALSE(In(KEY_WOW64_64KEY, L"Keepboot View 64"));
    EXPECT_FALSE(In(KEY_WOW64_32KEY, L"Keepboot View 32"));

    for (const wchar_t* name : {L"Keepboot View 64", L"Keepboot View 32"}) {
        const std::optional<StoredRunEntry> stored = StoredOf(name);
        ASSERT_TRUE(stored) << Narrow(name);
        EXPECT_EQ(MoveResult::Moved, EnableRunValue(*stored));
    }
    EXPECT_TRUE(In(KEY_WOW64_64KEY, L"Keepboot View 64"));
    EXPECT_FALSE(In(KEY_WOW64_32KEY, L"Keepboot View 64"));
    EXPECT_TRUE(In(KEY_WOW64_32KEY, L"Keepboot View 32"));
    EXPECT_FALSE(In(KEY_WOW64_64KEY, L"Keepboot View 32"));
}

// What this program stored in the 32-bit view before it knew of views is
// listed still, and goes back into the 32-bit view it came from.
TEST_F(RealViews, EntryStoredInThe32BitViewBeforeEnablesThere) {
    const std::wstring name = L"Keepboot Old Entry";
    values_.emplace_back(kRun, name);
    stored_.push_back(name);
    const std::wstring sub = kRegStore + L"\\" + name;
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", name, REG_SZ, KEY_WOW64_32KEY);
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", L"C:\\old.exe", REG_SZ, KEY_WOW64_32KEY);
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"hkey", L"HKLM", REG_SZ, KEY_WOW64_32KEY);
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"key", kRun, REG_SZ, KEY_WOW64_32KEY);
    const std::optional<StoredRunEntry> stored = StoredOf(name);
    ASSERT_TRUE(stored);
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(*stored));
    EXPECT_TRUE(In(KEY_WOW64_32KEY, name));
    EXPECT_FALSE(In(KEY_WOW64_64KEY, name));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_32KEY));
}

// Handed back to Windows, each machine entry goes into its own view and
// is switched off by its own switch: Run32 is the 32-bit keys', whether the
// store names them by their WOW6432Node path or kept the entry in its
// 32-bit view.
TEST_F(RealViews, EachViewsEntryIsHandedBackUnderItsOwnSwitch) {
    SetTaskManagerSwitchesAvailable(true);
    const std::wstring wow = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    const struct {
        const wchar_t* name;
        REGSAM storeView;
        std::wstring key;
        REGSAM liveView;
        const wchar_t* approvedKey;
    } cases[] = {
        {L"Keepboot Back 64", KEY_WOW64_64KEY, kRun, KEY_WOW64_64KEY, L"Run"},
        {L"Keepboot Back 32", KEY_WOW64_64KEY, wow, KEY_WOW64_32KEY, L"Run32"},
        {L"Keepboot Back Old 32", KEY_WOW64_32KEY, kRun, KEY_WOW64_32KEY, L"Run32"},
    };
    for (const auto& c : cases) {
        values_.emplace_back(kRun, c.name);
        stored_.push_back(c.name);
        const std::wstring sub = kRegStore + L"\\" + c.name;
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", c.name, REG_SZ, c.storeView);
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", L"C:\\back.exe", REG_SZ, c.storeView);
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"hkey", L"HKLM", REG_SZ, c.storeView);
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"key", c.key, REG_SZ, c.storeView);
    }
    const std::vector<HandedBack> outcomes = HandBackToWindows({}, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        const auto outcome = std::find_if(outcomes.begin(), outcomes.end(),
                                          [&](const HandedBack& e) { return e.item == c.name; });
        ASSERT_NE(outcome, outcomes.end());
        EXPECT_EQ(outcome->outcome, HandedBack::Outcome::HandedBack);
        EXPECT_TRUE(In(c.liveView, c.name));
        EXPECT_FALSE(In(c.liveView == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, c.name));
        EXPECT_TRUE(TaskManagerSwitches(HKEY_LOCAL_MACHINE, c.approvedKey).Disabled(c.name));
        EXPECT_FALSE(SwitchValue(HKEY_LOCAL_MACHINE, std::wstring(c.approvedKey) == L"Run" ? L"Run32" : L"Run", c.name))
            << "no other entry's switch";
        RestoreSwitch(HKEY_LOCAL_MACHINE, c.approvedKey, c.name, std::nullopt);
    }
    SetTaskManagerSwitchesAvailable(std::nullopt);
}

}  // namespace
}  // namespace kb::test
