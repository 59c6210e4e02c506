// What the guard knows outlives it: a guard made after another one ended
// compares with what the last one knew, not with what the places hold at
// its start; a record that cannot be read whole is said, never taken for
// "nothing known"; the machine's record is the administrators'.
#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "CoreHarness.h"
#include "TaskXml.h"
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
        told = Told();
        told.Listen(*guard);
        guard->SetKeeping(StartupGuard::Keeping::Everything);
        guard->Restore();
        return *guard;
    }
    std::vector<CheckOutcome> Check(Policy policy, Decision answer = Decision::Disable) {
        told.Take<CheckOutcome>();
        guard->Check(policy, [&](const StartupEntry&) { return answer; }, [](const StartupEntry&) {});
        return told.Take<CheckOutcome>();
    }
    std::vector<RecordNote> NotedRecords() {
        std::vector<RecordNote> notes;
        for (const RecordsNoted& noted : told.Take<RecordsNoted>())
            notes.insert(notes.end(), noted.notes.begin(), noted.notes.end());
        return notes;
    }
    std::vector<RecordState> Notes() {
        std::vector<RecordState> states;
        for (const RecordNote& note : NotedRecords()) states.push_back(note.state);
        return states;
    }
    std::unique_ptr<StartupGuard> guard;
    Told told;
};

TEST_F(Keeping, WhatCameWhileNoGuardRanIsNewAtTheNextStart) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Before", L"before.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    NewRun();
    EXPECT_EQ(Notes(), (std::vector<RecordState>{RecordState::Missing, RecordState::Missing}))
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
    EXPECT_TRUE(Notes().empty());
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
    PlantTask(L"\\Vendor\\Updater", Utf16File(TaskXml(L"C:\\Vendor\\update.exe")));
    WriteServiceKey(L"Updater", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\service.exe");
    NewRun();
    guard.reset();
    std::set<std::wstring> kinds;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RecordLines lines;
        ASSERT_EQ(ReadRecord(root, kEntriesRecord, lines), RecordState::Read);
        for (const std::vector<std::wstring>& line : lines) kinds.insert(line.at(0));
    }
    EXPECT_EQ(kinds, (std::set<std::wstring>{L"file", L"item", L"kinds", L"service", L"task", L"value"}));
    NewRun();
    EXPECT_TRUE(Check(Policy::DisableSilently).empty()) << "each one known from the record";
}

// A record written before a kind of place was guarded (an earlier version's,
// which names no kinds) does not make every entry of that kind new at the
// first start after the upgrade: they are learned as at a first start, and
// what comes after is new.
TEST_F(Keeping, AKindTheRecordDoesNotCoverIsLearnedNotTakenForNew) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    PlantTask(L"\\Vendor\\Updater", Utf16File(TaskXml(L"C:\\Vendor\\update.exe")));
    WriteServiceKey(L"Updater", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\service.exe");
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        ASSERT_EQ(WriteRecord(root, kEntriesRecord,
                              root == HKEY_CURRENT_USER
                                  ? RecordLines{{L"value", L"HKCU\\" + std::wstring(kRun), L"Known", L"known.exe"}}
                                  : RecordLines{}),
                  ERROR_SUCCESS);
    NewRun();
    EXPECT_TRUE(Check(Policy::DisableSilently).empty()) << "the task and the service learned, not disabled";
    guard.reset();
    WriteServiceKey(L"Later", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\later.exe");
    NewRun();
    const std::vector<CheckOutcome> outcomes = Check(Policy::Ask, Decision::Leave);
    ASSERT_EQ(outcomes.size(), 1u) << "the record now covers every kind";
    EXPECT_EQ(outcomes[0].entry.item, L"Later");
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
    const std::vector<RecordState> notes = Notes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), RecordState::Broken), notes.end());
    EXPECT_TRUE(Check(Policy::DisableSilently).empty());
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Known").text, L"known.exe");
    guard.reset();
    NewRun();
    EXPECT_TRUE(Notes().empty()) << "written whole again";
}

// Only an administrator writes the machine's record; a standard user's
// guard keeps none of its own (the user's programs could write it), says so
// once, and a refused or failed write leaves the last whole record as it was.
TEST_F(Keeping, TheMachinesRecordIsTheAdministratorsAndAFailedWriteKeepsTheLastOne) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
    SetStandardUserMode(true);
    NewRun();
    const std::vector<RecordNote> notes = NotedRecords();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_TRUE(!notes[0].machine && notes[0].state == RecordState::Missing) << "the user's first start";
    EXPECT_TRUE(notes[1].machine && notes[1].needsAdministrator) << "the machine's record needs an administrator";
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRecordsKey, kEntriesRecord).exists);
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRecordsKey, kOldMachineCopyRecord).exists);
    guard.reset();
    NewRun();
    EXPECT_TRUE(Notes().empty()) << "said at the user's first start only";
    guard.reset();
    SetStandardUserMode(false);
    NewRun();  // an administrator's run keeps the machine's record
    guard.reset();
    SetStandardUserMode(true);
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
    EXPECT_TRUE(Notes().empty()) << "whole";
    const std::vector<CheckOutcome> again = Check(Policy::Ask, Decision::Leave);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].entry.item, L"Unkept") << "its allowing was not kept";
}


// Every way an entry becomes known reaches the record the next start reads,
// and what a start shows is what the places hold, whether or not an earlier
// run left a record. Each case runs both ways.
class KeptAcrossStarts;
struct StartCase {
    const char* name;
    void (*run)(KeptAcrossStarts& test);
};

class KeptAcrossStarts : public Keeping, public ::testing::WithParamInterface<std::tuple<StartCase, bool>> {
protected:
    void SetUp() override {
        Keeping::SetUp();
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Before", L"before.exe");
        // An earlier run's record, or none: the very first start.
        if (std::get<1>(GetParam())) {
            NewRun();
            guard.reset();
        }
    }

public:
    using Keeping::Check;
    using Keeping::guard;
    using Keeping::told;
    using Keeping::NewRun;
    using CoreTest::MakeShortcut;
    using CoreTest::Pss;
    using CoreTest::UserStartup;
    bool WithRecord() const { return std::get<1>(GetParam()); }
    // The next start's check, by the silent policy: what it takes as new.
    std::vector<std::wstring> NewAtTheNextStart() {
        guard.reset();
        NewRun();
        std::vector<std::wstring> found;
        for (const CheckOutcome& o : Check(Policy::DisableSilently)) found.push_back(o.entry.item);
        return found;
    }
};

const StartCase kStartCases[] = {
    // What the "allow" policy lets through is known, as an answer is.
    {"AllowedByThePolicy",
     [](KeptAcrossStarts& test) {
         test.NewRun();
         SetStringValue(HKEY_CURRENT_USER, kRun, L"Meanwhile", L"meanwhile.exe");
         const std::vector<CheckOutcome> outcomes = test.Check(Policy::Allow);
         ASSERT_EQ(outcomes.size(), 1u);
         EXPECT_EQ(outcomes[0].action, CheckOutcome::Allowed);
         EXPECT_FALSE(outcomes[0].asked);
         EXPECT_TRUE(test.NewAtTheNextStart().empty()) << "allowed, and known at the next start";
         EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Meanwhile").text, L"meanwhile.exe");
     }},
    // A record that cannot be written is said once, and written at the next
    // check that can.
    {"RecordWrittenOnceItCanBe",
     [](KeptAcrossStarts& test) {
         test.NewRun();
         test.told.Take<RecordNotKept>();
         SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryWrite; });
         SetStringValue(HKEY_CURRENT_USER, kRun, L"Answered", L"answered.exe");
         test.Check(Policy::Ask, Decision::Allow);
         EXPECT_EQ(test.told.Take<RecordNotKept>().size(), 1u) << "said";
         test.Check(Policy::Ask, Decision::Allow);
         EXPECT_TRUE(test.told.Take<RecordNotKept>().empty()) << "once while it lasts";
         SetFaultInjector({});
         EXPECT_TRUE(test.Check(Policy::Ask, Decision::Leave).empty());
         EXPECT_TRUE(test.NewAtTheNextStart().empty()) << "the answer was kept at the next check";
     }},
    // The list is a reading of the places, never the last run's record: what
    // went meanwhile is not shown, what came is, and a known expandable
    // value and a known shortcut move from it at the first try.
    {"ListedAsThePlacesHoldThem",
     [](KeptAcrossStarts& test) {
         const std::wstring expandable = L"%SystemRoot%\\tool.exe";
         SetRawValue(HKEY_CURRENT_USER, kRun, L"Expanding", REG_EXPAND_SZ, expandable.c_str(),
                     static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)));
         test.MakeShortcut(test.UserStartup(), L"Link");
         test.Pss();
         if (test.WithRecord()) {
             test.NewRun();
             test.guard.reset();
         }
         ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Before");
         SetStringValue(HKEY_CURRENT_USER, kRun, L"Added", L"added.exe");
         test.NewRun();
         const Inventory& listed = test.guard->Listed();
         std::vector<std::wstring> values;
         for (const RunValueEntry& e : listed.live.Of<RunValueEntry>()) values.push_back(e.name);
         std::sort(values.begin(), values.end());
         EXPECT_EQ(values, (std::vector<std::wstring>{L"Added", L"Expanding"}));
         ASSERT_EQ(listed.live.Of<ShortcutEntry>().size(), 1u);
         const std::vector<StartupEntry> shown = listed.InListOrder();
         for (const StartupEntry& entry : shown) {
             const std::wstring name = TextOf(entry).item;
             if (name == L"Expanding" || name == L"Link") {
                 EXPECT_EQ(test.guard->Move(entry), MoveResult::Moved) << Narrow(name);
             }
         }
         EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Expanding").exists);
     }},
    // A store that cannot be listed is said; every other place is guarded.
    {"UnlistableStoreStillGuardsThePlaces",
     [](KeptAcrossStarts& test) {
         test.Pss();
         SetStringValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Held",
                        L"item", L"Held");
         SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryList; });
         ASSERT_NO_THROW(test.NewRun());
         const std::vector<SkippedValue> said = test.told.Take<SkippedValue>();
         EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](const SkippedValue& v) {
             return v.unreadable && v.key.find(L"MSConfig") != std::wstring::npos;
         }));
         test.Check(Policy::DisableSilently);
         // The folders are read without listing a key: a shortcut dropped now
         // is taken at the next check.
         test.MakeShortcut(test.UserStartup(), L"Dropped");
         const std::vector<CheckOutcome> outcomes = test.Check(Policy::DisableSilently);
         SetFaultInjector({});
         ASSERT_EQ(outcomes.size(), 1u);
         EXPECT_EQ(outcomes[0].entry.item, L"Dropped");
         EXPECT_EQ(outcomes[0].action, CheckOutcome::Disabled);
     }},
};

TEST_P(KeptAcrossStarts, AtTheNextStart) {
    std::get<0>(GetParam()).run(*this);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeptAcrossStarts,
                         ::testing::Combine(::testing::ValuesIn(kStartCases), ::testing::Bool()),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) +
                                    (std::get<1>(test.param) ? "_WithARecord" : "_AtTheFirstStart");
                         });

}  // namespace
}  // namespace kb::test
