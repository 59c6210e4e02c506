// The watch's rules without a window: a signalled place is found by its
// record and checked at once; a change seen during a question waits for the
// check under way and is checked right after it.
#include <algorithm>
#include <map>
#include <thread>

#include "CoreHarness.h"
#include "platform/Faults.h"
#include "reading/Inventory.h"
#include "store/Items.h"
#include "logon/LogonPrograms.h"
#include "store/KeptItems.h"
#include "watch/Watcher.h"

namespace kb::test {
namespace {

class WatcherTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (HasFatalFailure()) return;
        host_.askAboutEntry = [this](const StartupEntry& entry) { return Answer(entry); };
        host_.tell = [this](const WatchEvent& event) {
            if (const auto* change = std::get_if<LogonValueChange>(&event)) logonChanges_.push_back(*change);
            if (const auto* finding = std::get_if<Finding>(&event)) findings_.push_back(*finding);
            if (const auto* outcome = std::get_if<CheckOutcome>(&event)) outcomes_.push_back(*outcome);
        };
        StartWatch();
    }
    // A watch that starts from what the places hold now.
    void StartWatch() {
        watcher_.reset();
        findings_.clear();
        guard_ = std::make_unique<StartupGuard>(Folders());
        watcher_ = std::make_unique<Watcher>(*guard_, false, host_);
        watcher_->SetReady();
        watcher_->CheckEverything();  // the first whole reading
        watcher_->WatchChanges();
    }
    void TearDown() override {
        watcher_.reset();
        guard_.reset();
        CoreTest::TearDown();
    }
    // Waits for signals as the message loop does, handing each to the
    // watch, until the value is gone from its key (the user's Run key).
    bool DisabledInTime(const std::wstring& name, HKEY root = HKEY_CURRENT_USER,
                        const std::wstring& key = kRun, REGSAM view = 0) {
        return InTime([&] { return !ReadRawValue(root, key, name, view).exists; });
    }
    bool InTime(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
        for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < timeoutMs;) {
            if (done()) return true;
            const std::vector<HANDLE>& handles = watcher_->Handles();
            const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                        handles.data(), FALSE, 100);
            if (woke < WAIT_OBJECT_0 + handles.size()) watcher_->OnSignalled();
            watcher_->ResumeDeferred();
        }
        return done();
    }

    std::function<Decision(const StartupEntry&)> answer_ = [](const StartupEntry&) {
        return Decision::Disable;
    };
    Decision Answer(const StartupEntry& entry) { return answer_(entry); }
    std::unique_ptr<StartupGuard> guard_;
    std::vector<CheckOutcome> outcomes_;  // as the watch told them
    WatchHost host_;
    std::unique_ptr<Watcher> watcher_;
    std::vector<LogonValueChange> logonChanges_;
    std::vector<Finding> findings_;
    long FindingsOf(Finding::Kind kind) const {
        return std::count_if(findings_.begin(), findings_.end(), [&](const Finding& f) { return f.kind == kind; });
    }
};

TEST_F(WatcherTest, EveryPlaceIsARecordAndFolderLocationsOnlyWhenFollowed) {
    const auto count = [](const std::vector<WatchedPlace>& places, WatchedPlace::Kind kind) {
        return std::count_if(places.begin(), places.end(),
                             [&](const WatchedPlace& p) { return p.kind == kind; });
    };
    for (const bool follow : {false, true}) {
        const std::vector<WatchedPlace> places = PlacesToWatch(Folders(), follow);
        // Every live place once, by its id; the Startup folders where they are.
        ASSERT_EQ(count(places, WatchedPlace::Kind::Entries), static_cast<std::ptrdiff_t>(LivePlaces().size()));
        for (PlaceId id = 0; id < LivePlaces().size(); ++id) {
            EXPECT_EQ(places[id].index, id);
            const auto* folder = std::get_if<StartupFolderPlace>(&LivePlaces()[id]);
            EXPECT_EQ(places[id].where.kind, WatchOf(LivePlaces()[id], Folders()).kind);
            if (folder) {
                EXPECT_EQ(places[id].where.path, folder->FolderIn(Folders()));
            }
        }
        EXPECT_EQ(count(places, WatchedPlace::Kind::StartPages), 2);
        EXPECT_EQ(count(places, WatchedPlace::Kind::FolderLocations), follow ? 4 : 0);
    }
}

TEST_F(WatcherTest, SignalledPlaceIsCheckedAtOnce) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Planted", L"planted.exe");
    ASSERT_TRUE(DisabledInTime(L"Planted"));
    EXPECT_EQ(watcher_->Count().fullChecks, 1u) << "only the first reading";
    EXPECT_GE(watcher_->Count().placeChecks, 1u);
}

// Every list of values logon runs is watched, also one whose key (deep
// below a key that is there) does not exist until the value is written.
TEST_F(WatcherTest, AValueInAnyListIsTakenAtOnceAndKeptWhole) {
    // The user's 32-bit branch last: once a Wow6432Node key is made below
    // HKCU\Software, Wine redirects this 32-bit process's later keys there
    // (Windows 7 and later share HKCU\Software between the views), and the
    // keys already watched would hear nothing more.
    std::vector<RunKeyPlace> places = RunKeyPlaces();
    std::stable_partition(places.begin(), places.end(), [](const RunKeyPlace& p) {
        return !(p.root == HKEY_CURRENT_USER && p.keyPath.starts_with(L"Software\\Wow6432Node"));
    });
    for (const RunKeyPlace& place : places) {
        SCOPED_TRACE(Narrow(place.Location()));
        SetStringValue(place.root, place.keyPath, L"Planted", L"planted.exe -x", REG_EXPAND_SZ,
                       place.view);
        ASSERT_TRUE(DisabledInTime(L"Planted", place.root, place.keyPath, place.view));
        const StoredRunEntry stored = StoredValue(L"Planted");
        EXPECT_EQ(stored.Location(), place.Location());
        ASSERT_EQ(MoveResult::Moved, guard_->Move(stored));
        EXPECT_EQ(ReadRawValue(place.root, place.keyPath, L"Planted", place.view),
                  (RawValue{true, REG_EXPAND_SZ, L"planted.exe -x"}));
        ::RegDeleteKeyValueW(place.root, place.keyPath.c_str(), L"Planted");
        guard_->Reload();
    }
    EXPECT_EQ(watcher_->Count().fullChecks, 1u) << "each taken by its change notification";
}

// An entry of a place the store cannot hold is moved aside at once: a new
// RunOnceEx step, and a known component whose StubPath now starts another
// program (a change below the place's own key).
TEST_F(WatcherTest, ANewStepOrARewrittenStubPathIsMovedAsideAtOnce) {
    const std::wstring components = L"Software\\Microsoft\\Active Setup\\Installed Components";
    const std::wstring component = components + L"\\{Known}";
    SetStringValue(HKEY_LOCAL_MACHINE, component, L"StubPath", L"known.exe");
    StartWatch();
    const std::wstring runOnceEx = kCv + L"RunOnceEx";
    SetStringValue(HKEY_CURRENT_USER, runOnceEx + L"\\0001", L"1", L"step.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, component, L"StubPath", L"other.exe");
    EXPECT_TRUE(InTime([&] {
        return !RawKeyExists(HKEY_CURRENT_USER, runOnceEx + L"\\0001") &&
               !RawKeyExists(HKEY_LOCAL_MACHINE, component);
    }));
    EXPECT_EQ(watcher_->Count().fullChecks, 1u) << "by their change notifications";
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, KeptEntryPath(1), L"1").text, L"step.exe")
        << "kept where RunOnceEx never looks";
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, components + L"\\AutorunsDisabled\\{Known}",
                           L"StubPath").text,
              L"other.exe");
}

// An installer writes an entry one value at a time, as reg.exe and most
// installers do, with pauses, and goes on after the entry was moved: the
// entry ends whole aside (or kept), nothing of it live, every value in
// exactly one copy, and it comes back whole.
TEST_F(WatcherTest, AnEntryWrittenOneValueAtATimeEndsWholeAndDisabled) {
    const std::wstring component = L"Software\\Microsoft\\Active Setup\\Installed Components\\{Inst}";
    const std::wstring step = kCv + L"RunOnceEx\\0001";
    struct Write {
        HKEY root;
        std::wstring key, name, text;
        DWORD pauseMs;  // before the write
    };
    // Pauses of 0 to 50 ms between writes, then, for each entry, one more
    // value well after the entry was moved.
    std::vector<Write> writes = {
        {HKEY_LOCAL_MACHINE, component, L"StubPath", L"C:\\inst.exe /user", 0},
        {HKEY_CURRENT_USER, step, L"", L"Installing", 10},
        {HKEY_LOCAL_MACHINE, component, L"Version", L"1,0,0,0", 50},
        {HKEY_CURRENT_USER, step, L"1", L"C:\\one.exe", 0},
        {HKEY_LOCAL_MACHINE, component, L"Locale", L"EN", 30},
        {HKEY_CURRENT_USER, step + L"\\Depend", L"1", L"C:\\hook.dll", 45},
        {HKEY_CURRENT_USER, step, L"2", L"C:\\two.exe", 20},
        {HKEY_LOCAL_MACHINE, component, L"ComponentID", L"Inst", 5},
        {HKEY_LOCAL_MACHINE, component, L"IsInstalled", L"1", 2500},
        {HKEY_CURRENT_USER, step, L"Note", L"", 10},
    };
    // And a component of 2,000 values written as fast as can be.
    const std::wstring big = L"Software\\Microsoft\\Active Setup\\Installed Components\\{Big}";
    for (int i = 0; i < 2000; ++i)
        writes.push_back({HKEY_LOCAL_MACHINE, big, i == 0 ? L"StubPath" : L"V" + std::to_wstring(i),
                          i == 0 ? L"big.exe" : std::to_wstring(i), 0});
    std::thread installer([&] {
        for (const Write& w : writes) {
            ::Sleep(w.pauseMs);
            SetStringValue(w.root, w.key, w.name, w.text);
        }
    });
    const auto wholeAndDisabled = [&] {
        const LiveEntries read = ReadLiveEntries(Folders(), skipped);
        std::map<std::wstring, RegTree> disabled;
        for (const AsideEntry& e : read.Of<AsideEntry>()) {
            if (e.Enabled()) return false;
            disabled[e.name] = *ReadTree(e.place.root, SpotKeyPath(e), e.place.view);
        }
        return disabled.size() == 3 && disabled[L"{Inst}"].values.size() == 5 &&
               disabled[L"0001"].values.size() == 4 && disabled[L"0001"].subkeys.size() == 1 &&
               disabled[L"{Big}"].values.size() == 2000 &&
               !RawKeyExists(HKEY_LOCAL_MACHINE, component) && !RawKeyExists(HKEY_CURRENT_USER, step) &&
               !RawKeyExists(HKEY_LOCAL_MACHINE, big);
    };
    const bool done = InTime(wholeAndDisabled, 30000);
    installer.join();
    ASSERT_TRUE(done || InTime(wholeAndDisabled, 5000));

    // Each back live from the list, whole.
    guard_->Reload();
    const std::vector<AsideEntry> disabled = guard_->Listed().live.Of<AsideEntry>();
    for (const AsideEntry& e : disabled) ASSERT_EQ(guard_->Move(e), MoveResult::Moved);
    const std::optional<RegTree> back = ReadTree(HKEY_LOCAL_MACHINE, component, 0);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->values.size(), 5u);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, step + L"\\Depend", L"1").text, L"C:\\hook.dll");
    EXPECT_EQ(ReadTree(HKEY_LOCAL_MACHINE, big, 0)->values.size(), 2000u);
}

// A logon value is never moved: a change is undone to the known good (the
// value, its type and bytes; or no value where there was none), or allowed
// and known good from then on.
TEST_F(WatcherTest, ALogonValueChangedIsPutBackAndAllowedIsKnownGoodFromThen) {
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring windows = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    const std::wstring cmd = L"Software\\Microsoft\\Command Processor";
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"explorer.exe", REG_SZ);
    StartWatch();
    const auto shell = [&] { return ReadRawValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell"); };

    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"explorer.exe, evil.exe", REG_EXPAND_SZ);
    SetStringValue(HKEY_CURRENT_USER, cmd, L"AutoRun", L"evil.cmd");
    const DWORD on = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, windows, L"LoadAppInit_DLLs", REG_DWORD, &on, sizeof on);
    EXPECT_TRUE(InTime([&] {
        return shell() == RawValue{true, REG_SZ, L"explorer.exe"} &&
               !ReadRawValue(HKEY_CURRENT_USER, cmd, L"AutoRun").exists &&
               !ReadRawValue(HKEY_LOCAL_MACHINE, windows, L"LoadAppInit_DLLs").exists;
    })) << "put back as they were, by the change notifications";
    EXPECT_EQ(watcher_->Count().fullChecks, 1u);
    ASSERT_EQ(logonChanges_.size(), 3u);
    EXPECT_EQ(TextOf(logonChanges_[0].found), L"explorer.exe, evil.exe");

    watcher_->SetPolicies(Policy::Allow, Policy::Allow);
    const std::wstring newShell = Target(L"newshell");
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", newShell, REG_SZ);
    watcher_->CheckEverything();
    watcher_->SetPolicies(Policy::DisableSilently, Policy::Allow);
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"evil.exe", REG_SZ);
    EXPECT_TRUE(InTime([&] { return shell() == RawValue{true, REG_SZ, newShell}; }))
        << "what was allowed is what is put back";

    // A standard user cannot put the machine's value back: told once, and
    // nobody is asked again at every check.
    host_.askAboutValue = [](const ValueQuestion&, const EntryDetails&) -> Decision {
        ADD_FAILURE() << "asked about a value it cannot put back";
        return Decision::Leave;
    };
    StartWatch();
    watcher_->SetPolicies(Policy::Ask, Policy::Allow);
    SetStandardUserMode(true);
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"evil.exe", REG_SZ);
    EXPECT_TRUE(InTime([&] { return FindingsOf(Finding::Kind::LogonValueRefused) > 0; }));
    watcher_->CheckEverything();
    watcher_->CheckEverything();
    EXPECT_EQ(FindingsOf(Finding::Kind::LogonValueRefused), 1);
    EXPECT_EQ(shell(), (RawValue{true, REG_SZ, L"evil.exe"}));
}

// A logon value is never put back to harm: a repair to Windows' own is
// never undone, even of a value tampered with before the watch started
// (which is said at once); and what names a program no longer there is not
// written back: the user is told and asked, and Disable puts Windows' own
// value back instead.
TEST_F(WatcherTest, ALogonValueIsNeverPutBackToHarm) {
    using Kind = LogonValueChange::Kind;
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring own = WindowsDefaultOf(LogonValues()[1]) ? WindowsDefaultOf(LogonValues()[1])->Text() : L"";
    const std::wstring myShell = Target(L"myshell");
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Userinit", own + L"C:\\evil\\persist.exe,");
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", myShell);
    std::vector<ValueQuestion> questions;
    host_.askAboutValue = [&](const ValueQuestion& question, const EntryDetails&) {
        questions.push_back(question);
        return questions.size() == 1 ? Decision::Leave : Decision::Disable;
    };
    StartWatch();
    const auto changesOf = [&](Kind kind) {
        return std::count_if(logonChanges_.begin(), logonChanges_.end(),
                             [&](const LogonValueChange& c) { return c.kind == kind; });
    };
    EXPECT_EQ(changesOf(Kind::NotWindowsOwn), 2) << "the tampered value and the shell, said at the start";
    const LogonDifference difference = HowItDiffers(LogonValues()[1], ReadLogonValue(LogonValues()[1])->value());
    EXPECT_EQ(difference.kind, LogonDifference::Kind::StartsBesidesOwn);
    EXPECT_EQ(difference.programs.back(), L"C:\\evil\\persist.exe");

    // Repaired as an administrator or an antivirus would: it stays.
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Userinit", own);
    EXPECT_TRUE(InTime([&] { return changesOf(Kind::Repaired) == 1; }));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, winlogon, L"Userinit").text, own) << "never undone";

    // The shell uninstalled, then the value changed: never put back.
    ASSERT_TRUE(DeleteFileAt(myShell).Done());
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"C:\\evil\\shell.exe");
    EXPECT_TRUE(InTime([&] { return questions.size() == 1; })) << "asked, under disable silently too";
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell").text, L"C:\\evil\\shell.exe");
    EXPECT_EQ(FindingsOf(Finding::Kind::LogonValueNamesMissing), 1);
    watcher_->CheckEverything();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell").text, L"explorer.exe")
        << "Disable put Windows' own back";
    EXPECT_EQ(findings_.size(), 1u) << "told once";
}

// Every logon value is watched and put back by its change notification.
TEST_F(WatcherTest, EveryLogonValueIsPutBackAtOnce) {
    // A path without blanks: AppInit_DLLs separates its libraries by them.
    const std::wstring good = Folder(L"Bin") + L"\\good.exe";
    WriteFileBytes(good, "MZ");
    for (const LogonValue& value : LogonValues())
        SetStringValue(value.root, value.keyPath, value.name, good, REG_SZ, value.view);
    StartWatch();
    for (const LogonValue& value : LogonValues()) {
        SCOPED_TRACE(Narrow(value.Location() + L" " + value.name));
        SetStringValue(value.root, value.keyPath, value.name, L"bad.exe", REG_EXPAND_SZ, value.view);
        EXPECT_TRUE(InTime([&] {
            return ReadRawValue(value.root, value.keyPath, value.name, value.view) ==
                   RawValue{true, REG_SZ, good};
        }));
    }
    EXPECT_EQ(watcher_->Count().fullChecks, 1u);
}

// What changes while the user is being asked is not lost, nor checked in
// the middle of the question: it is checked as soon as the question ends.
TEST_F(WatcherTest, ChangeDuringAQuestionIsCheckedRightAfterIt) {
    watcher_->SetPolicies(Policy::Ask, Policy::Allow);
    bool signalledDuringQuestion = false;
    answer_ = [&](const StartupEntry& entry) {
        if (TextOf(entry).item == L"First") {
            SetStringValue(HKEY_CURRENT_USER, kRun, L"Second", L"second.exe");
            const std::vector<HANDLE>& handles = watcher_->Handles();
            const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                        handles.data(), FALSE, 5000);
            signalledDuringQuestion = woke < WAIT_OBJECT_0 + handles.size();
            if (signalledDuringQuestion) watcher_->OnSignalled();
            EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Second").exists)
                << "not checked while the question is open";
        }
        return Decision::Disable;
    };
    SetStringValue(HKEY_CURRENT_USER, kRun, L"First", L"first.exe");
    ASSERT_TRUE(DisabledInTime(L"First"));
    EXPECT_TRUE(signalledDuringQuestion);
    EXPECT_TRUE(DisabledInTime(L"Second"));
}

// Nothing holds the watch: a check meets an unanswered question, leaves its
// entry as it is (known before: its old command is still said) and is not
// told again; the answer acts on it later. While the user's move runs, a
// change and the interval's check wait, and run right after it.
TEST_F(WatcherTest, AnUnansweredQuestionOrAMoveDelaysNothingAndLosesNothing) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"known.exe");
    StartWatch();
    watcher_->SetPolicies(Policy::Ask, Policy::Allow);
    std::vector<std::wstring> asked;
    answer_ = [&](const StartupEntry& entry) {
        asked.push_back(TextOf(entry).item + L"|" + guard_->PreviousCommand(entry).value_or(L""));
        return Decision::Later;
    };
    std::vector<CheckOutcome>& outcomes = outcomes_;
    outcomes.clear();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"C:\\evil\\known.exe");
    ASSERT_TRUE(InTime([&] { return !asked.empty(); }));
    watcher_->CheckEverything();
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"Known|known.exe", L"Known|known.exe"}))
        << "met again, its earlier command still known";
    EXPECT_TRUE(outcomes.empty()) << "nothing on record while it waits";
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Known").text, L"C:\\evil\\known.exe");

    const StartupEntry live = *std::find_if(guard_->Known().live.Of<RunValueEntry>().begin(), guard_->Known().live.Of<RunValueEntry>().end(),
                                            [](const RunValueEntry& e) { return e.name == L"Known"; });
    EXPECT_EQ(TextOf(live).command, L"known.exe") << "the known one stays known meanwhile";
    std::vector<SkippedValue> notRead;
    std::vector<RunValueEntry> scanned = ReadLiveEntries(Folders(), notRead).Of<RunValueEntry>();
    std::erase_if(scanned, [](const RunValueEntry& e) { return e.name != L"Known"; });
    ASSERT_EQ(scanned.size(), 1u);
    guard_->Answer(scanned.front(), Decision::Disable, {});
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Known").exists, false) << "the answer acts at once";
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes.front().action, CheckOutcome::Disabled);
    EXPECT_EQ(outcomes.front().previously, L"known.exe");

    // The user's move: nothing is checked until it ends, then all of it.
    answer_ = [](const StartupEntry&) { return Decision::Disable; };
    int ended = 0;
    host_.checkEnded = [&] { ++ended; };
    StartWatch();
    watcher_->SetPolicies(Policy::DisableSilently, Policy::Allow);
    {
        const Watcher::Hold hold = watcher_->HoldChecks();
        EXPECT_TRUE(watcher_->Busy());
        SetStringValue(HKEY_CURRENT_USER, kRun, L"During", L"during.exe");
        watcher_->CheckEverything();
        EXPECT_FALSE(InTime([] { return false; }, 500));
        EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"During").exists) << "no check during the move";
    }
    const unsigned long full = watcher_->Count().fullChecks;
    watcher_->ResumeDeferred();
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"During").exists) << "checked right after it";
    EXPECT_EQ(watcher_->Count().fullChecks, full + 1) << "the interval's check put off, not dropped";
    EXPECT_GE(ended, 1) << "what was put off for the move ran";
}

// A write that fails where the watch decided something is said once while
// it lasts, and recorded as nothing done: a logon value's put-back, and a
// start page the user allowed whose writing back fails (the answer stands,
// and nobody is asked again).
TEST_F(WatcherTest, AFailedWriteOfADecisionIsSaidOnce) {
    struct Case {
        const char* name;
        Policy startup, startPages;
        std::function<void()> change;
        Finding::Kind said;
    };
    const std::wstring cmd = L"Software\\Microsoft\\Command Processor";
    int asked = 0;
    host_.askAboutValue = [&](const ValueQuestion&, const EntryDetails&) {
        ++asked;
        return Decision::Allow;
    };
    const Case cases[] = {
        {"logon value", Policy::DisableSilently, Policy::Allow,
         [&] { SetStringValue(HKEY_CURRENT_USER, cmd, L"AutoRun", L"evil.cmd"); },
         Finding::Kind::LogonValueNotPutBack},
        {"start page allowed", Policy::Allow, Policy::Ask,
         [&] { SetStringValue(HKEY_CURRENT_USER, kStartPageKey, L"Start Page", L"http://new.example/"); },
         Finding::Kind::StartPageNotWrittenBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetStringValue(HKEY_CURRENT_USER, kStartPageKey, L"Start Page", L"http://home.example/");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, cmd.c_str(), L"AutoRun");
        StartWatch();
        watcher_->Defend(1, L"http://home.example/");  // the user's own
        watcher_->SetPolicies(c.startup, c.startPages);
        asked = 0;
        logonChanges_.clear();
        c.change();
        // Every write fails, a deletion too (Windows' own AutoRun is none).
        SetFaultInjector([](FaultPoint point) {
            return point == FaultPoint::RegistryWrite || point == FaultPoint::RegistryDeleteValue;
        });
        for (int i = 0; i < 3; ++i) watcher_->CheckEverything();
        SetFaultInjector({});
        EXPECT_EQ(FindingsOf(c.said), 1);
        for (const Finding& finding : findings_) {
            if (finding.kind == c.said) {
                EXPECT_EQ(finding.code, static_cast<DWORD>(ERROR_WRITE_FAULT)) << "Windows' reason goes with it";
            }
        }
        EXPECT_EQ(FindingsOf(Finding::Kind::StartPageNotPutBack), 0);
        EXPECT_LE(asked, 1) << "an answer is not asked for again";
        for (const LogonValueChange& change : logonChanges_)
            EXPECT_NE(change.decision, Decision::Disable) << "never on record as put back";
    }
    EXPECT_EQ(watcher_->Defended(1), L"http://new.example/") << "the user's answer stands";
}

}  // namespace
}  // namespace kb::test
