// What the guard knows outlives it: a guard made after another one ended
// compares with what the last one knew, not with what the places hold at
// its start; a record that cannot be read whole is said, never taken for
// "nothing known"; the machine's record is the administrators'.
#include <algorithm>
#include <set>

#include "CoreHarness.h"
#include "platform/Faults.h"
#include "guard/Guard.h"
#include "guard/KnownKeeping.h"

namespace kb::test {
namespace {

class Keeping : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
    // A guard as a new run of the program makes it.
    StartupGuard& NewRun() {
        guard = std::make_unique<StartupGuard>(Folders());
        guard->SetKeeping(StartupGuard::Keeping::Everything);
        guard->Restore();
        return *guard;
    }
    std::vector<CheckOutcome> Check(Policy policy, Decision answer = Decision::Disable) {
        std::vector<CheckOutcome> outcomes;
        guard->SetRecorder([&](const CheckOutcome& o) { outcomes.push_back(o); });
        guard->Check(policy, [&](const StartupEntry&) { return answer; }, [](const StartupEntry&) {});
        return outcomes;
    }
    static std::vector<RecordState> Notes(StartupGuard& g) {
        std::vector<RecordState> states;
        for (const auto& note : g.TakeNewlyNotedRecords()) states.push_back(note.state);
        return states;
    }
    std::unique_ptr<StartupGuard> guard;
};

TEST_F(Keeping, WhatCameWhileNoGuardRanIsNewAtTheNextStart) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Before", L"before.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    NewRun();
    EXPECT_EQ(Notes(*guard), (std::vector<RecordState>{RecordState::Missing, RecordState::Missing}))
        << "the very first start takes the places as they are, and says so";
    EXPECT_TRUE(Check(Policy::DisableSilently).empty());
    // Allowed in this run: known in the next.
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Allowed", L"allowed.exe");
    EXPECT_EQ(Check(Policy::Ask, Decision::Allow).size(), 1u);
    guard.reset();

    // While no guard runs: an installer at shutdown, a program on its exit.
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Meanwhile", L"meanwhile.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"rewritten.exe");
    MakeShortcut(UserStartup(), L"Dropped");
    NewRun();
    EXPECT_TRUE(Notes(*guard).empty());
    const std::vector<CheckOutcome> outcomes = Check(Policy::DisableSilently);
    std::vector<std::wstring> found;
    for (const CheckOutcome& o : outcomes) {
        EXPECT_TRUE(o.atStart) << Narrow(o.entry.item);
        EXPECT_EQ(o.action, CheckOutcome::Disabled);
        found.push_back(o.entry.item);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::wstring>{L"Dropped", L"Meanwhile", L"Vendor"}));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Allowed").text, L"allowed.exe") << "not asked again";
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Before").text, L"before.exe");
    EXPECT_TRUE(Check(Policy::DisableSilently).empty()) << "found at start only once";
}

// Each kind of live entry has its line in the record, and that line read
// back at the next start makes it known again: forgetting either for a
// kind would make all of its entries new at every start.
TEST_F(Keeping, EachKindOfEntryIsOnRecordAndKnownAgainAtTheNextStart) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Value", L"value.exe");
    MakeShortcut(UserStartup(), L"Link");
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"UserInitMprLogonScript", L"logon.cmd");
    NewRun();
    guard.reset();
    RecordLines lines;
    ASSERT_EQ(ReadRecord(HKEY_CURRENT_USER, kEntriesRecord, lines), RecordState::Read);
    std::set<std::wstring> kinds;
    for (const std::vector<std::wstring>& line : lines) kinds.insert(line.at(0));
    EXPECT_EQ(kinds, (std::set<std::wstring>{L"file", L"item", L"value"}));
    NewRun();
    EXPECT_TRUE(Check(Policy::DisableSilently).empty()) << "each one known from the record";
}

// A record that does not read back whole is said, and the places are taken
// as they are: never "nothing known", which would make everything new.
TEST_F(Keeping, ABrokenRecordIsSaidAndReplacedByTheFirstReading) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    NewRun();
    guard.reset();
    const RawValue kept = ReadRawValue(HKEY_CURRENT_USER, kRecordsKey, kEntriesRecord);
    ASSERT_TRUE(kept.exists);
    RegValue record = *RegKey::OpenForReading(HKEY_CURRENT_USER, kRecordsKey)->TryQuery(kEntriesRecord);
    record.data[record.data.size() / 2] ^= 0x5A;  // one byte changed
    SetRawValue(HKEY_CURRENT_USER, kRecordsKey, kEntriesRecord, REG_BINARY, record.data.data(),
                static_cast<DWORD>(record.data.size()));
    NewRun();
    const std::vector<RecordState> notes = Notes(*guard);
    EXPECT_NE(std::find(notes.begin(), notes.end(), RecordState::Broken), notes.end());
    EXPECT_TRUE(Check(Policy::DisableSilently).empty());
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Known").text, L"known.exe");
    guard.reset();
    NewRun();
    EXPECT_TRUE(Notes(*guard).empty()) << "written whole again";
}

// Only an administrator writes the machine's record; a standard user's
// guard keeps a copy of its own, and a refused or failed write leaves the
// last whole record as it was.
TEST_F(Keeping, TheMachinesRecordIsTheAdministratorsAndAFailedWriteKeepsTheLastOne) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    SetStandardUserMode(true);
    NewRun();
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRecordsKey, kEntriesRecord).exists);
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRecordsKey, kMachineCopyRecord).exists);
    guard.reset();
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Later", L"later.exe");
    NewRun();
    const std::vector<CheckOutcome> outcomes = Check(Policy::DisableSilently);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].entry.item, L"Later");
    EXPECT_EQ(outcomes[0].action, CheckOutcome::WaitsForAdministrator);
    guard.reset();
    SetStandardUserMode(false);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"Later");

    // Every write fails while a new entry is allowed: the record is the
    // last whole one, and says what it said.
    NewRun();
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryWrite; });
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Unkept", L"unkept.exe");
    Check(Policy::Ask, Decision::Allow);
    SetFaultInjector({});
    guard.reset();
    NewRun();
    EXPECT_TRUE(Notes(*guard).empty()) << "whole";
    const std::vector<CheckOutcome> again = Check(Policy::Ask, Decision::Leave);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].entry.item, L"Unkept") << "its allowing was not kept";
}

}  // namespace
}  // namespace kb::test
