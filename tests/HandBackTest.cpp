// What Keepboot disabled into the store goes back to Windows' own switches
// where one can say it: live again, switched off as Task Manager switches
// it off, so Windows lists it and can enable it. The store's entries are
// written as the other utility lays them out, or disabled by this program.
#include "CoreHarness.h"
#include "guard/Guard.h"
#include "guard/HandBack.h"
#include "places/TaskManager.h"
#include "platform/Faults.h"
#include "store/Store.h"
#include "platform/CurrentUser.h"

namespace kb::test {
namespace {

const std::wstring kRunOnce = kCv + L"RunOnce";
using Outcome = HandedBack::Outcome;

class HandBack : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        Pss();
        SetTaskManagerSwitchesAvailable(true);
    }
    void TearDown() override {
        SetStandardUserMode(false);
        CoreTest::TearDown();
    }
    static std::optional<Outcome> OutcomeOf(const std::vector<HandedBack>& outcomes, const std::wstring& item) {
        for (const HandedBack& e : outcomes)
            if (e.item == item) return e.outcome;
        return std::nullopt;
    }
    static bool SwitchedOff(HKEY root, const std::wstring& approvedKey, const std::wstring& name) {
        const std::optional<RegValue> value = SwitchValue(root, approvedKey, name);
        // Task Manager's form: 12 bytes, the first odd, then when.
        return value && value->type == REG_BINARY && value->data.size() == 12 && (value->data[0] & 1) &&
               std::any_of(value->data.begin() + 4, value->data.end(), [](BYTE b) { return b != 0; });
    }
    bool StillStored(const std::wstring& item) {
        const StoredEntries stored = Stored();
        return std::any_of(stored.values.begin(), stored.values.end(), [&](const auto& e) { return e.item == item; }) ||
               std::any_of(stored.shortcuts.begin(), stored.shortcuts.end(),
                           [&](const auto& e) { return e.item == item; });
    }
};

// One of each, handed back in one run: where its switch is, or why it stays.
TEST_F(HandBack, EachEntryASwitchCanSayGoesBackSwitchedOffAndTheRestStaysWhole) {
    StoreValueEntry(L"User", L"User", L"user.exe");
    StoreValueEntry(L"Machine", L"Machine", L"\"C:\\Program Files\\m.exe\" -tray", L"HKLM");
    StoreValueEntry(L"Once", L"Once", L"once.exe", L"HKCU", kRunOnce);
    StoreValueEntry(L"Taken", L"Taken", L"stored.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Taken", L"live.exe");
    // Disabled by another user of the machine: never this user's to get back.
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Theirs", L"theirs.exe");
    SetCurrentUserSidForTesting(L"S-1-5-21-1-2-3-1002");
    ASSERT_EQ(DisableRunValue(Value(L"Theirs")), MoveResult::Moved);
    SetCurrentUserSidForTesting(std::nullopt);
    MakeShortcut(UserStartup(), L"Tray");
    MakeShortcut(CommonStartup(), L"Shared");
    const std::string trayBytes = ReadFileBytes(UserStartup() + L"\\Tray.lnk");
    // Into the store, as this program disables them where Windows reads no switch.
    SetTaskManagerSwitchesAvailable(false);
    ASSERT_EQ(DisableShortcut(Shortcut(L"Tray"), Folders()), MoveResult::Moved);
    ASSERT_EQ(DisableShortcut(Shortcut(L"Shared"), Folders()), MoveResult::Moved);
    SetTaskManagerSwitchesAvailable(true);

    // A guard that runs meanwhile, asking about whatever is new.
    StartupGuard guard(Folders());
    guard.Reload();
    const std::vector<HandedBack> outcomes = HandBackToWindows(Folders(), false);
    Names asked;
    guard.Check(
        Policy::Ask, [&](const StartupEntry& entry) { asked.push_back(TextOf(entry).item); return Decision::Disable; },
        [](const StartupEntry&) {});
    EXPECT_TRUE(asked.empty()) << "what is switched off starts nothing, and is no question";
    const struct {
        const wchar_t* item;
        Outcome outcome;
        HKEY root;  // where its switch is, when handed back
        const wchar_t* approvedKey;
        const wchar_t* switchName;
    } cases[] = {
        {L"User", Outcome::HandedBack, HKEY_CURRENT_USER, L"Run", L"User"},
        {L"Machine", Outcome::HandedBack, HKEY_LOCAL_MACHINE, L"Run", L"Machine"},
        {L"Tray", Outcome::HandedBack, HKEY_CURRENT_USER, kTaskManagerFolderKey, L"Tray.lnk"},
        {L"Shared", Outcome::HandedBack, HKEY_LOCAL_MACHINE, kTaskManagerFolderKey, L"Shared.lnk"},
        {L"Once", Outcome::NoSwitch, HKEY_CURRENT_USER, L"RunOnce", L"Once"},
        {L"Taken", Outcome::NameTaken, HKEY_CURRENT_USER, L"Run", L"Taken"},
        {L"Theirs", Outcome::NotTheirs, HKEY_CURRENT_USER, L"Run", L"Theirs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.item));
        EXPECT_EQ(OutcomeOf(outcomes, c.item), c.outcome);
        const bool back = c.outcome == Outcome::HandedBack;
        EXPECT_EQ(SwitchedOff(c.root, c.approvedKey, c.switchName), back);
        EXPECT_NE(StillStored(c.item), back) << "handed back, or kept whole";
    }
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"User"), Text(L"user.exe"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Machine"), Text(L"\"C:\\Program Files\\m.exe\" -tray"));
    EXPECT_EQ(ReadFileBytes(UserStartup() + L"\\Tray.lnk"), trayBytes) << "the very file";
    EXPECT_TRUE(FileExists(CommonStartup() + L"\\Shared.lnk"));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Taken"), Text(L"live.exe")) << "the live one left alone";
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Theirs").exists);
    // Listed as Windows lists them now: live, and unchecked.
    EXPECT_TRUE(Value(L"User").disabledByTaskManager);
    EXPECT_TRUE(Value(L"Machine", L"HKLM").disabledByTaskManager);
    EXPECT_TRUE(Shortcut(L"Tray").disabledByTaskManager);
}

// Where the hand-back cannot be whole nothing of it stays: a standard user
// may not take an entry out of the shared store, so the switch set off for
// it is put back as it was. As the system, only the machine's places are
// handed back; before Windows 8, which reads no switch, nothing is.
TEST_F(HandBack, WhatCannotBeHandedBackWholeStaysAsItWas) {
    StoreValueEntry(L"User", L"User", L"user.exe");
    StoreValueEntry(L"Machine", L"Machine", L"m.exe", L"HKLM");
    const BYTE enabled[12] = {0x02};
    SetRawValue(HKEY_CURRENT_USER, std::wstring(kStartupApprovedKey) + L"\\Run", L"User", REG_BINARY, enabled,
                sizeof enabled);
    const struct {
        const char* what;
        bool standardUser, switches, machineOnly;
        Outcome user, machine;
    } cases[] = {
        {"before Windows 8", false, false, false, Outcome::NoSwitch, Outcome::NoSwitch},
        {"a standard user", true, true, false, Outcome::NotMoved, Outcome::NotMoved},
        {"as the system", false, true, true, Outcome::NotTheirs, Outcome::HandedBack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetStandardUserMode(c.standardUser, {Windows(), CommonStartup()});
        SetTaskManagerSwitchesAvailable(c.switches);
        const std::vector<HandedBack> outcomes = HandBackToWindows(Folders(), c.machineOnly);
        SetStandardUserMode(false);
        EXPECT_EQ(OutcomeOf(outcomes, L"User"), c.user);
        EXPECT_EQ(OutcomeOf(outcomes, L"Machine"), c.machine);
        EXPECT_TRUE(StillStored(L"User"));
        EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"User").exists);
        EXPECT_EQ(SwitchValue(HKEY_CURRENT_USER, L"Run", L"User"),
                  (RegValue{REG_BINARY, std::vector<BYTE>(enabled, enabled + 12)}))
            << "its switch as it was";
    }
    EXPECT_TRUE(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Machine").exists);
}

}  // namespace
}  // namespace kb::test
