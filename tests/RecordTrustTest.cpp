// What the guard knows of the machine's places, and the values it puts back
// there, come only from the records only administrators write: a record
// the user's programs can write, forged by one that knows the format and
// recomputes its checksum, never speaks for them. Below the user's key a
// guard with administrator rights trusts only what bears its seal, and a
// move is carried out only from a journal record it sealed. Each case
// starts from the records an earlier run left.
#include <algorithm>

#include "places/RecordSeal.h"

#include "CoreHarness.h"
#include "guard/Guard.h"
#include "guard/KnownKeeping.h"
#include "logon/LogonPrograms.h"
#include "logon/LogonValues.h"
#include "platform/FieldText.h"
#include "places/RecordSeal.h"
#include "store/MoveJournal.h"
#include "startpage/StartPages.h"
#include "watch/Watcher.h"

namespace kb::test {
namespace {

const std::wstring kCommandProcessor = L"Software\\Microsoft\\Command Processor";

std::size_t LogonIndex(HKEY root, const std::wstring& keyPath, const wchar_t* name) {
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i].root == root && values[i].keyPath == keyPath && values[i].name == std::wstring(name)) return i;
    ADD_FAILURE() << "no such logon value";
    return 0;
}

std::size_t MachinePage() {
    for (std::size_t i = 0; i < kStartPageCount; ++i)
        if (kStartPageValues[i].root == HKEY_LOCAL_MACHINE) return i;
    return 0;
}

class RecordTrust;
struct TrustCase {
    const char* name;
    void (*forge)(RecordTrust& test);
    void (*expect)(RecordTrust& test);
};

class RecordTrust : public CoreTest, public ::testing::WithParamInterface<TrustCase> {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (HasFatalFailure()) return;
        host_.tell = [this](const WatchEvent& event) { events.push_back(event); };
        host_.askAboutEntry = [](const StartupEntry&) { return Decision::Disable; };
        host_.askAboutValue = [](const auto&...) { return Decision::Disable; };
        SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor", L"vendor.exe");
        // A known good is put back only when what it names is there.
        realCmd = Target(L"real.cmd");
        SetStringValue(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun", realCmd);
        SetStringValue(HKEY_LOCAL_MACHINE, kStartPageKey, kStartPageValues[MachinePage()].name, L"http://real/");
        Run();  // the earlier run, an administrator's, leaves its records
        End();
        events.clear();
    }
    void TearDown() override {
        End();
        CoreTest::TearDown();
    }

public:
    // One run of the program as an administrator: its records taken back,
    // its first check made under "disable silently".
    void Run() {
        // In the program's order: the watch hears what the start finds.
        guard_ = std::make_unique<StartupGuard>(Folders());
        watcher_ = std::make_unique<Watcher>(*guard_, false, host_);
        guard_->SetKeeping(StartupGuard::Keeping::Everything);
        guard_->Restore();
        watcher_->SetKeeping(true);
        watcher_->SetPolicies(Policy::DisableSilently, Policy::DisableSilently);
        // As the start pages' page does: what was kept, or what is there.
        if (!watcher_->RestoreDefended())
            for (std::size_t i = 0; i < kStartPageCount; ++i) watcher_->Defend(i, ReadStartPage(i));
        watcher_->SetReady();
        watcher_->CheckEverything();
    }
    void End() {
        watcher_.reset();
        guard_.reset();
    }
    // The record with lines added, its checksum made again, as a forger does.
    static void Forge(HKEY root, const wchar_t* name, const RecordLines& added) {
        RecordLines lines;
        ReadRecord(root, name, lines);
        lines.insert(lines.end(), added.begin(), added.end());
        ASSERT_EQ(WriteRecord(root, name, lines), ERROR_SUCCESS);
    }
    // A record's line for the machine's Run value, as the guard writes one.
    RecordLines MachineLineOf(const std::wstring& name) {
        RecordLines lines;
        for (std::vector<std::wstring>& line : LinesOf(Live(), true, Folders()))
            if (std::find(line.begin(), line.end(), name) != line.end()) lines.push_back(std::move(line));
        EXPECT_EQ(lines.size(), 1u);
        return lines;
    }
    static RecordLines LogonLine(HKEY root, const std::wstring& keyPath, const wchar_t* name,
                                 const std::wstring& text) {
        const LogonValue& value = LogonValues().at(LogonIndex(root, keyPath, name));
        const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
        return {{value.Location(), value.name,
                 FieldOf(REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)))}};
    }
    // The user's Run value "Intruder" as a line of the record.
    std::wstring UserLineOfIntruder() {
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Intruder", L"intruder.exe");
        for (const std::vector<std::wstring>& fields : LinesOf(Live(), false, Folders()))
            if (std::find(fields.begin(), fields.end(), L"Intruder") != fields.end()) {
                std::wstring line;
                for (const std::wstring& field : fields) line += (line.empty() ? L"" : L"\t") + EscapedField(field);
                return line;
            }
        ADD_FAILURE() << "no line";
        return {};
    }
    long FindingsOf(Finding::Kind kind) const {
        return std::count_if(events.begin(), events.end(), [&](const WatchEvent& event) {
            const auto* finding = std::get_if<Finding>(&event);
            return finding && finding->kind == kind;
        });
    }
    std::vector<CheckOutcome> Outcomes() const {
        std::vector<CheckOutcome> outcomes;
        for (const WatchEvent& event : events)
            if (const auto* outcome = std::get_if<CheckOutcome>(&event)) outcomes.push_back(*outcome);
        return outcomes;
    }
    std::vector<LogonValueChange> LogonChanges() const {
        std::vector<LogonValueChange> changes;
        for (const WatchEvent& event : events)
            if (const auto* change = std::get_if<LogonValueChange>(&event)) changes.push_back(*change);
        return changes;
    }
    const Watcher& Watch() const { return *watcher_; }

    std::vector<WatchEvent> events;
    std::wstring realCmd;

private:
    WatchHost host_;
    std::unique_ptr<StartupGuard> guard_;
    std::unique_ptr<Watcher> watcher_;
};

void ExpectIntruderDisabledAtStart(RecordTrust& test) {
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Intruder").exists) << "came while away: disabled";
    const std::vector<CheckOutcome> outcomes = test.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].entry.item, L"Intruder");
    EXPECT_TRUE(outcomes[0].atStart);
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor").text, L"vendor.exe");
}

void ExpectRealAutoRunKept(RecordTrust& test) {
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun").text, test.realCmd)
        << "the forged known good was never written over the machine's value";
    EXPECT_TRUE(test.LogonChanges().empty());
}

const TrustCase kTrustCases[] = {
    {"AUserRecordNamingAMachineValue",
     [](RecordTrust& test) {
         SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Intruder", L"intruder.exe");
         RecordTrust::Forge(HKEY_CURRENT_USER, kEntriesRecord, test.MachineLineOf(L"Intruder"));
     },
     ExpectIntruderDisabledAtStart},
    {"AnEarlierVersionsCopyOfTheMachinesRecord",
     [](RecordTrust& test) {
         SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Intruder", L"intruder.exe");
         RecordTrust::Forge(HKEY_CURRENT_USER, kOldMachineCopyRecord, test.MachineLineOf(L"Intruder"));
     },
     [](RecordTrust& test) {
         ExpectIntruderDisabledAtStart(test);
         EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRecordsKey, kOldMachineCopyRecord).exists) << "removed";
     }},
    {"AUserLogonRecordNamingAMachineValue",
     [](RecordTrust&) {
         RecordTrust::Forge(HKEY_CURRENT_USER, L"LogonValues",
                            RecordTrust::LogonLine(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun", L"evil.bat"));
     },
     ExpectRealAutoRunKept},
    {"AnEarlierVersionsCopyOfTheMachinesLogonValues",
     [](RecordTrust&) {
         RecordTrust::Forge(HKEY_CURRENT_USER, L"MachineLogonValues",
                            RecordTrust::LogonLine(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun", L"evil.bat"));
     },
     ExpectRealAutoRunKept},
    // The earlier runs were a standard user's: no record of the machine's.
    {"AnEarlierVersionsCopyOfTheMachinesStartPages",
     [](RecordTrust&) {
         ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRecordsKey, L"StartPages");
         RecordTrust::Forge(HKEY_CURRENT_USER, L"MachineStartPages",
                            {{kStartPageValues[MachinePage()].name, L"defended", L"http://evil/"}});
     },
     [](RecordTrust& test) {
         EXPECT_EQ(test.Watch().Defended(MachinePage()), L"http://real/");
         EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kStartPageKey, kStartPageValues[MachinePage()].name).text,
                   L"http://real/");
     }},
    // The known good is kept by a run that changed nothing: what changes
    // while Keepboot is away is put back at the next start, not taken.
    {"ALogonValueChangedWhileAway",
     [](RecordTrust&) {
         SetStringValue(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun", L"c:\\evil\\persist.bat");
     },
     [](RecordTrust& test) {
         EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun").text, test.realCmd);
         const std::vector<LogonValueChange> changes = test.LogonChanges();
         ASSERT_EQ(changes.size(), 1u);
         EXPECT_TRUE(changes[0].atStart);
         EXPECT_EQ(changes[0].kind, LogonValueChange::Kind::Decided);
         EXPECT_EQ(changes[0].decision, Decision::Disable);
     }},
    // The user's own records: only what bears the administrators' seal.
    {"ALineAddedToTheUsersRecord",
     [](RecordTrust& test) {
         const std::wstring line = test.UserLineOfIntruder();
         RewriteUserRecord(kEntriesRecord, [&](std::vector<std::wstring>& lines) {
             lines.insert(lines.end() - 1, line);
         });
     },
     // Not trusted, and said: what the places hold is known from now on.
     [](RecordTrust& test) {
         EXPECT_EQ(test.FindingsOf(Finding::Kind::RecordForged), 1);
         EXPECT_EQ(test.FindingsOf(Finding::Kind::FirstStart), 0);
         EXPECT_TRUE(test.Outcomes().empty());
         EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Vendor").text, L"vendor.exe");
     }},
    {"TheUsersRecordWithItsSealTakenOff",
     [](RecordTrust& test) {
         const std::wstring line = test.UserLineOfIntruder();
         RewriteUserRecord(kEntriesRecord, [&](std::vector<std::wstring>& lines) { lines.back() = line; });
     },
     [](RecordTrust& test) { EXPECT_EQ(test.FindingsOf(Finding::Kind::RecordForged), 1); }},
    {"TheUsersRecordRemoved",
     [](RecordTrust&) { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRecordsKey, kEntriesRecord); },
     [](RecordTrust& test) {
         EXPECT_EQ(test.FindingsOf(Finding::Kind::RecordVanished), 1) << "said as that";
         EXPECT_EQ(test.FindingsOf(Finding::Kind::FirstStart), 0) << "not as a first start";
     }},
    // A move of the user's RunOnceEx step that never began, planted as one
    // cut short after its copy was whole.
    {"AMoveThatNeverBeganInTheUsersJournal",
     [](RecordTrust&) {
         SetStringValue(HKEY_CURRENT_USER, kCv + L"RunOnceEx\\0001", L"1", L"step.exe");
         const std::wstring record = std::wstring(kMovesKey) + L"\\1";
         SetStringValue(HKEY_CURRENT_USER, record, L"Place", kCv + L"RunOnceEx");
         SetStringValue(HKEY_CURRENT_USER, record, L"Name", L"0001");
         SetStringValue(HKEY_CURRENT_USER, record, L"Kind", L"key");
         SetStringValue(HKEY_CURRENT_USER, record, L"From", L"live");
         SetStringValue(HKEY_CURRENT_USER, record, L"To", L"kept 5");
         const DWORD copied = 1;
         SetRawValue(HKEY_CURRENT_USER, record, L"Copied", REG_DWORD, &copied, sizeof copied);
     },
     [](RecordTrust& test) {
         EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kCv + L"RunOnceEx\\0001", L"1").text, L"step.exe");
         EXPECT_EQ(test.FindingsOf(Finding::Kind::MoveFinished), 0);
         EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, std::wstring(kMovesKey) + L"\\1")) << "dropped";
     }},
};

TEST_P(RecordTrust, WhatTheUsersProgramsCanWriteIsNeverTakenOnTrust) {
    GetParam().forge(*this);
    if (HasFatalFailure()) return;
    Run();
    GetParam().expect(*this);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordTrust, ::testing::ValuesIn(kTrustCases),
                         [](const auto& test) { return std::string(test.param.name); });

// The seal is HMAC-SHA256 as RFC 4231 gives it: a short key, and one
// longer than a block, which is hashed first.
TEST(RecordSeal, IsHmacSha256AsPublished) {
    const std::string jefe = "Jefe", question = "what do ya want for nothing?";
    EXPECT_EQ(SealOf(std::vector<BYTE>(jefe.begin(), jefe.end()), question.data(), question.size()),
              L"5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    const std::string large = "Test Using Larger Than Block-Size Key - Hash Key First";
    EXPECT_EQ(SealOf(std::vector<BYTE>(131, 0xaa), large.data(), large.size()),
              L"60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

}  // namespace
}  // namespace kb::test
