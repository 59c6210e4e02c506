// Whole-program tests of the watch between its intervals: change
// notifications, and the same for a standard user.
#include "ProgramFixtures.h"
#include "ProbeService.h"
#include "app/services/Elevation.h"
#include "app/services/HistoryKeeper.h"
#include "app/Texts.h"

namespace kb::test {
namespace {

TEST_F(ProgramNotifications, ValueAndShortcutAreDisabledWellInsideTheInterval) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"Quick", L"quick.exe");
    DWORD added = ::GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Quick"); }, kWellInsideAnInterval));
    std::cout << "[ notify ] value disabled " << ::GetTickCount() - added << " ms after it appeared\n";
    EXPECT_TRUE(StoredWhole(L"Quick", L"quick.exe"));
    // And it is on record, in this user's history file.
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::any_of(records.begin(), records.end(), [](const HistoryRecord& r) {
            return r.what == L"Disabled" && r.by == L"the watch" && r.item == L"Quick" &&
                   r.command == L"quick.exe";
        });
    }));

    AddStartupShortcut(L"Keepboot Quick Link", LinkTo(exe_));
    added = ::GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return !FileExists(shortcut_); }, kWellInsideAnInterval));
    std::cout << "[ notify ] shortcut disabled " << ::GetTickCount() - added << " ms after it appeared\n";
    const std::wstring folderStore = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";
    std::wstring subkey = shortcut_;
    std::replace(subkey.begin(), subkey.end(), L'\\', L'^');
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, folderStore + L"\\" + subkey, L"item"),
              L"Keepboot Quick Link")
        << "stored, not lost";
    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 1u) << "only the first, at start: no interval has passed";
    Quit(process, window_);
}

// Any file dropped into the Startup folder is taken at once, whatever its
// kind, and comes back from the list as the very bytes it was.
TEST_F(ProgramNotifications, AnyFileDroppedIntoStartupIsTakenAndComesBackWhole) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    wchar_t folder[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE));
    const std::map<std::wstring, std::string> files{
        {L"Keepboot Batch.bat", "@echo off\r\nstart quick.exe\r\n"},
        {L"Keepboot Program.exe", std::string("MZ\x90\0", 4) + std::string(5000, 'x')},
        {L"Keepboot Site.url", "[InternetShortcut]\r\nURL=https://example.invalid/\r\n"}};
    for (const auto& [name, bytes] : files) {
        files_.push_back(std::wstring(folder) + L"\\" + name);
        WriteFileBytes(files_.back(), bytes);
    }
    const auto all = [&](const auto& is) {
        return std::all_of(files_.begin(), files_.end(), is);
    };
    ASSERT_TRUE(WaitUntil([&] { return all([](const std::wstring& f) { return !FileExists(f); }); },
                          kWellInsideAnInterval));

    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    const auto row = [&](const std::wstring& name) { return list.Find(name.substr(0, name.rfind(L'.'))); };
    ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] {
        return std::all_of(files.begin(), files.end(), [&](const auto& f) { return row(f.first) >= 0; });
    }));
    for (const auto& [name, bytes] : files) list.SetChecked(row(name), true);
    ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return all([](const std::wstring& f) { return FileExists(f); }); }));
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadFileBytes(std::wstring(folder) + L"\\" + name), bytes) << Narrow(name);
    Quit(process, window_);
}

// Moving the user's Startup folder does not walk around the watch: the
// folder is guarded where logon now takes it from, at once.
TEST_F(ProgramNotifications, MovedStartupFolderIsGuardedWhereItIsNow) {
    const std::wstring key = kUserShellFoldersKey;
    const RawValue before = ReadRawValue(HKEY_CURRENT_USER, key, L"Startup");
    ScopeExit restore([&] {
        if (before.exists)
            SetStringValue(HKEY_CURRENT_USER, key, L"Startup", before.text, before.type);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Startup");
    });
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    const std::wstring moved = folder_ + L"\\Moved Startup";
    ASSERT_TRUE(::CreateDirectoryW(moved.c_str(), nullptr));
    SetStringValue(HKEY_CURRENT_USER, key, L"Startup", moved, REG_EXPAND_SZ);
    EXPECT_TRUE(WaitUntil(
        [&] { return NoticesSaying(process, window_, L"The Startup folder is now " + moved + L".") == 1; },
        kWellInsideAnInterval));
    shortcut_ = moved + L"\\Planted.lnk";
    WriteShellLink(shortcut_, LinkTo(exe_));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(shortcut_); }, kWellInsideAnInterval));
    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 1u) << "only the first, at start: no interval has passed";

    // Moved where the shell cannot take it from: named as the setting says,
    // once, however many checks come after.
    const std::wstring nowhere = L"%KEEPBOOT_NO_SUCH_FOLDER%\\Startup";
    SetStringValue(HKEY_CURRENT_USER, key, L"Startup", nowhere, REG_EXPAND_SZ);
    const auto unreachable = [&] {
        return NoticesSaying(process, window_, L"The Startup folder is now set to " + nowhere +
                                                   L", which cannot be reached; Keepboot watches it again once "
                                                   L"Windows can find it.");
    };
    EXPECT_TRUE(WaitUntil([&] { return unreachable() == 1; }, kWellInsideAnInterval));
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Later", L"later.exe");  // one more check
    EXPECT_TRUE(WaitUntil([&] { return !ReadRawValue(HKEY_CURRENT_USER, kRun, L"Later").exists; },
                          kWellInsideAnInterval));
    EXPECT_EQ(unreachable(), 1);
    EXPECT_EQ(NoticesSaying(process, window_, L"The Startup folder is now ."), 0);
    Quit(process, window_);
}

// A watched key deleted and made again is watched again at once, not only
// at the next interval. (Wine renames no folder that a change notification
// holds open, so the same for a Startup folder cannot be played here.)
TEST_F(ProgramNotifications, KeyDeletedAndMadeAgainStaysWatched) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRun.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kRun.c_str());
    ASSERT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kRun));
    AddRunValue(L"Again", L"again.exe");
    EXPECT_TRUE(WaitUntil([&] { return Gone(L"Again"); }, kWellInsideAnInterval));

    EXPECT_EQ(Counter(window_, MainWindow::FullChecks), 1u) << "only the first, at start: no interval has passed";
    Quit(process, window_);
}

TEST_F(ProgramNotifications, RunKeyMadeAfterTheStartIsWatched) {
    const std::wstring runOnce = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, runOnce.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, runOnce.c_str());
    ASSERT_FALSE(RawKeyExists(HKEY_CURRENT_USER, runOnce));
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    SetStringValue(HKEY_CURRENT_USER, runOnce, L"Late Key", L"late.exe");
    EXPECT_TRUE(WaitUntil([&] { return !ReadRawValue(HKEY_CURRENT_USER, runOnce, L"Late Key").exists; },
                          kWellInsideAnInterval));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kStore + L"Late Key"));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Late Key").c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kStore + L"Late Key").c_str());
    Quit(process, window_);
}

// Known is the place, the name and what it starts: a name known in the
// machine's Run key is new in the user's, and a known value rewritten to
// start another program is new; the prompt shows both commands.
TEST_F(ProgramNotifications, KnownNameElsewhereAndRewrittenCommandAreNew) {
    const std::wstring machineRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    SetStringValue(HKEY_LOCAL_MACHINE, machineRun, L"Vendor", L"vendor.exe");
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);

    AddRunValue(L"Vendor", L"C:\\evil\\impostor.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Vendor"); },
                          kWellInsideAnInterval));
    Answer(process, PromptDialog::kDisableId);
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Vendor"); }));
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, machineRun, L"Vendor"), L"vendor.exe");

    SetStringValue(HKEY_CURRENT_USER, kRun, L"Known", L"C:\\evil\\x.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Known"); },
                          kWellInsideAnInterval));
    const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
    EXPECT_EQ(ControlText(::GetDlgItem(dialog, PromptDialog::kStartsId)), L"Starts: C:\\evil\\x.exe");
    EXPECT_EQ(ControlText(::GetDlgItem(dialog, PromptDialog::kBeforeId)), L"Before: known.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return Gone(L"Known"); }));
    EXPECT_TRUE(StoredWhole(L"Known", L"C:\\evil\\x.exe")) << "stored with what it starts now";
    Quit(process, window_);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, machineRun.c_str(), L"Vendor");
}

// A change made while a question waits is asked about once that one is
// answered: one prompt at a time, and nothing missed.
TEST_F(ProgramNotifications, ChangeDuringAQuestionIsAskedAboutAfterIt) {
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"First", L"first.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"First"); },
                          kWellInsideAnInterval));
    AddRunValue(L"Second", L"second.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Second"); },
                          kWellInsideAnInterval));
    EXPECT_TRUE(Gone(L"First"));
    Answer(process, PromptDialog::kEnableId);
    EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));
    EXPECT_FALSE(Gone(L"Second"));
    Quit(process, window_);
}

// A question never holds the guard: while one waits for its answer, every
// other change is handled by its own policy at once, the user's own moves
// run, further questions wait their turn, and the end of the session
// answers every one still waiting Disable, holding its entry aside whole,
// to be asked about again at the next start.
enum class WhileAsked {
    AStartPageChanges, TheUserApplies, ASecondEntryComes, TheSessionEnds, TheUserRefrushes, ThePolicyChanges
};

class AQuestionWaits : public ProgramNotifications, public ::testing::WithParamInterface<WhileAsked> {
protected:
    static constexpr wchar_t kPagesKey[] = L"Software\\Microsoft\\Internet Explorer\\Main";
    void SetUp() override {
        ProgramNotifications::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        page_ = ReadRawValue(HKEY_CURRENT_USER, kPagesKey, L"Start Page");
        SetStringValue(HKEY_CURRENT_USER, kPagesKey, L"Start Page", L"about:home");
        // Start pages are put back silently (or asked about), new entries asked about.
        ::WritePrivateProfileStringW(L"disable", L"ie", GetParam() == WhileAsked::TheUserRefrushes ? L"1" : L"0",
                                     (folder_ + L"\\Keepboot.ini").c_str());
    }
    void TearDown() override {
        ProgramNotifications::TearDown();
        if (page_.exists)
            SetStringValue(HKEY_CURRENT_USER, kPagesKey, L"Start Page", page_.text, page_.type);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPagesKey, L"Start Page");
    }
    int HeldAtSessionEnd(const std::wstring& name) {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return static_cast<int>(std::count_if(records.begin(), records.end(), [&](const HistoryRecord& r) {
            return r.item == name && r.kind == RecordKind::Disabled &&
                   r.detail.find(UiText(IDS_HELD_AT_SESSION_END)) != std::wstring::npos;
        }));
    }
    // The change is checked at once; its question waits its turn.
    void AddSecondWhileAsked() {
        const unsigned long checks = Counter(window_, MainWindow::PlaceChecks);
        AddRunValue(L"Second", L"second.exe");
        ASSERT_TRUE(WaitUntil([&] { return Counter(window_, MainWindow::PlaceChecks) > checks; }, kWellInsideAnInterval));
    }
    RawValue page_;
};

TEST_P(AQuestionWaits, AndTheGuardGoesOn) {
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"Asked", L"asked.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Asked"); }, kWellInsideAnInterval));

    switch (GetParam()) {
    case WhileAsked::AStartPageChanges:
        SetStringValue(HKEY_CURRENT_USER, kPagesKey, L"Start Page", L"http://intruder.invalid/");
        EXPECT_TRUE(WaitUntil([&] { return ReadText(HKEY_CURRENT_USER, kPagesKey, L"Start Page") == L"about:home"; },
                              kWellInsideAnInterval))
            << "put back by its own policy, the question still open";
        break;
    case WhileAsked::TheUserApplies: {
        const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
        ASSERT_TRUE(WaitUntil([&] { return list.Find(L"Known") >= 0; }));
        list.SetChecked(list.Find(L"Known"), false);
        ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return Gone(L"Known"); }, kWellInsideAnInterval));
        EXPECT_TRUE(StoredWhole(L"Known", L"known.exe"));
        break;
    }
    case WhileAsked::ASecondEntryComes:
        AddSecondWhileAsked();
        EXPECT_EQ(OpenQuestion(process), Question(L"Asked")) << "one question at a time";
        Answer(process, PromptDialog::kEnableId);
        ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Second"); }, kWellInsideAnInterval));
        Answer(process, PromptDialog::kDisableId);
        EXPECT_TRUE(WaitUntil([&] { return Gone(L"Second") && OpenQuestion(process).empty(); }));
        EXPECT_TRUE(StoredWhole(L"Second", L"second.exe"));
        EXPECT_EQ(ReadUserRunValue(L"Asked"), L"asked.exe");
        break;
    case WhileAsked::TheSessionEnds: {
        AddSecondWhileAsked();
        DWORD_PTR answer = 0;
        ASSERT_TRUE(::SendMessageTimeoutW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &answer));
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the session may end";
        // Both, the one shown and the one waiting its turn, at once: the
        // process may not see another message.
        EXPECT_TRUE(Gone(L"Asked") && Gone(L"Second"));
        EXPECT_TRUE(StoredWhole(L"Asked", L"asked.exe"));
        EXPECT_TRUE(StoredWhole(L"Second", L"second.exe"));
        EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));
        Quit(process, window_);
        EXPECT_EQ(HeldAtSessionEnd(L"Asked"), 1);
        EXPECT_EQ(HeldAtSessionEnd(L"Second"), 1);
        // Asked again at the next start: Enable puts it back whole, Disable
        // leaves it aside.
        KeepbootProcess& next = StartWatching(L"1");
        ASSERT_NE(window_, nullptr);
        const auto heldQuestion = [](const std::wstring& name) {
            return L"\"" + name + L"\" was held aside when the last session ended, before you answered. Do you want "
                                  L"to keep it disabled?";
        };
        ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(next) == heldQuestion(L"Asked"); }, kWellInsideAnInterval));
        Answer(next, PromptDialog::kEnableId);
        ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(next) == heldQuestion(L"Second"); }));
        EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(L"Asked") == L"asked.exe"; })) << "back whole";
        Answer(next, PromptDialog::kDisableId);
        EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(next).empty(); }));
        EXPECT_TRUE(StoredWhole(L"Second", L"second.exe")) << "still aside";
        Quit(next, window_);
        return;
    }
    case WhileAsked::ThePolicyChanges:
        // "Disable silently" chosen: the question is withdrawn, the policy
        // handles its entry.
        ::PostMessageW(FindDescendant(window_, IdStartupPolicyItem0), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return Gone(L"Asked") && OpenQuestion(process).empty(); }, kWellInsideAnInterval));
        EXPECT_TRUE(StoredWhole(L"Asked", L"asked.exe"));
        Quit(process, window_);
        return;
    case WhileAsked::TheUserRefrushes: {
        // A start page asked about after the entry: Refrush meanwhile does
        // not take the change asked about for the user's own.
        const unsigned long checks = Counter(window_, MainWindow::PlaceChecks);
        SetStringValue(HKEY_CURRENT_USER, kPagesKey, L"Start Page", L"http://intruder.invalid/");
        ASSERT_TRUE(WaitUntil([&] { return Counter(window_, MainWindow::PlaceChecks) > checks; }));
        ::PostMessageW(FindDescendant(window_, IdStartPagesReload), BM_CLICK, 0, 0);
        Answer(process, PromptDialog::kEnableId);
        ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process).find(L"intruder.invalid") != std::wstring::npos; },
                              kWellInsideAnInterval));
        Answer(process, PromptDialog::kDisableId);
        EXPECT_TRUE(WaitUntil([&] { return ReadText(HKEY_CURRENT_USER, kPagesKey, L"Start Page") == L"about:home"; }))
            << "put back as answered";
        EXPECT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));
        Quit(process, window_);
        return;
    }
    }
    EXPECT_EQ(OpenQuestion(process), GetParam() == WhileAsked::ASecondEntryComes ? L"" : Question(L"Asked"));
    Quit(process, window_);
}

std::string NameOf(const ::testing::TestParamInfo<WhileAsked>& info) {
    constexpr const char* kNames[] = {"AStartPageChanges", "TheUserApplies", "ASecondEntryComes", "TheSessionEnds",
                                      "TheUserRefrushes", "ThePolicyChanges"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Cases, AQuestionWaits,
                         ::testing::Values(WhileAsked::AStartPageChanges, WhileAsked::TheUserApplies,
                                           WhileAsked::ASecondEntryComes, WhileAsked::TheSessionEnds,
                                           WhileAsked::TheUserRefrushes, WhileAsked::ThePolicyChanges),
                         NameOf);

// Keepboot.exe as Windows 10 and 11 run it for a standard user: the
// standard-user mode refuses it every write below HKEY_LOCAL_MACHINE and
// into its own folder, which Wine would allow.
class ProgramRights : public ProgramNotifications {
protected:
    void SetUp() override {
        ProgramNotifications::SetUp();
        UseTestedBuild();
        ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", L"1");
        wchar_t appData[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
        userSettings_ = std::wstring(appData) + L"\\Keepboot\\Keepboot.ini";
        ::DeleteFileW(userSettings_.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr);
        ProgramNotifications::TearDown();
        ::DeleteFileW(userSettings_.c_str());
        for (const wchar_t* name : {L"Vendor", L"Known Vendor"})
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMachineRunKey, name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Keepboot");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Held").c_str());
    }
    static constexpr wchar_t kMachineRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    std::wstring userSettings_;
};

TEST_F(ProgramRights, StandardUserSeesEverythingAndGuardsWhatIsTheirs) {
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Known Vendor", L"known.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"item", L"Held");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"command", L"held.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"hkey", L"HKLM");
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Held", L"key", kMachineRunKey);
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);

    // A machine entry is reported without a box, and never silently left:
    // it stays live until someone with the rights disables it.
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor", L"vendor.exe");
    EXPECT_TRUE(WaitUntil([&] { return Counter(window_, MainWindow::Notices) >= 1; },
                          kWellInsideAnInterval));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor"), Text(L"vendor.exe"));
    // The user's own entry is the user's to disable.
    AddRunValue(L"Mine", L"mine.exe");
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Mine"); }, kWellInsideAnInterval));
    EXPECT_EQ(process.WaitForReport(500), nullptr) << "no modal box";

    // Everything is listed, the machine's and the stored entries too, and
    // the user's own comes back from the list.
    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return list.Find(L"Mine") >= 0; }));
    EXPECT_GE(list.Find(L"Known Vendor"), 0);
    EXPECT_GE(list.Find(L"Held"), 0);
    EXPECT_FALSE(list.Checked(list.Find(L"Mine")));
    list.SetChecked(list.Find(L"Mine"), true);
    ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(L"Mine") == L"mine.exe"; }));

    // Settings where the user may write: no error at the end.
    ::PostMessageW(::GetDlgItem(window_, IdQuitButton), BM_CLICK, 0, 0);
    EXPECT_EQ(process.WaitForReport(3000), nullptr) << "no \"Unable to write to ...\"";
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(FileExists(userSettings_));
    wchar_t interval[16] = {};
    ::GetPrivateProfileStringW(L"disable", L"interval_second", L"", interval, 16,
                               userSettings_.c_str());
    EXPECT_STREQ(interval, L"60") << "what the program folder's file started with";
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Keepboot").exists);
}

// The elevated instance acts only for the running guard: a standard user's
// Apply on a machine entry goes through it (Wine starts it without asking),
// while the same command line written by any other program changes
// nothing and says so.
TEST_F(ProgramRights, TheElevatedInstanceActsOnlyForTheRunningGuard) {
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor", L"vendor.exe");
    const std::wstring forged = L"\"" + exe_ + L"\" -move value HKLM 0 \"" + std::wstring(kMachineRunKey) +
                                L"\" Vendor";
    const std::pair<std::wstring, int> forgeries[] = {
        {forged, 3},
        {L"\"" + exe_ + L"\" -move " + std::to_wstring(::GetCurrentProcessId()) + L" 4", 3},
        {L"\"" + exe_ + L"\" -selfstart on", 3},
        // Said to the guard that asked as its Windows code.
        {L"\"" + exe_ + L"\" -stopservice " + std::to_wstring(::GetCurrentProcessId()) + L" 4", ERROR_ACCESS_DENIED},
    };
    for (const auto& [commandLine, code] : forgeries) EXPECT_EQ(RunToEnd(commandLine), code) << Narrow(commandLine);
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor"), Text(L"vendor.exe")) << "nothing moved";
    const std::vector<HistoryRecord> said = HistoryFile(DefaultHistoryPath()).Read();
    EXPECT_EQ(std::count_if(said.begin(), said.end(), [](const HistoryRecord& r) {
                  return r.detail == UiText(IDS_FOREIGN_REQUEST);
              }), 4) << "each said, in the history when no guard runs";

    // The guard's own request: the list's Apply, for a standard user.
    KeepbootProcess& process = StartWatching(L"2");
    ASSERT_NE(window_, nullptr);
    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return list.Find(L"Vendor") >= 0; }));
    list.SetChecked(list.Find(L"Vendor"), false);
    ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    // A Quit while the elevated instance works waits for what it did: no
    // failure is said of a move that was made.
    Quit(process, window_);
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor").exists);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kStore + L"Vendor", L"command"), L"vendor.exe");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Vendor").c_str());
}

// A service its installer started is asked about with the offer to stop
// it too: ticked, Disable stops it after the disable, and the history says
// so. Not ticked, it goes on running disabled.
TEST_F(ProgramNotifications, ARunningServiceIsStoppedOnlyWhereTheUserTicksIt) {
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window_); }));
    AnswerAboutRunningServices(process, window_);
    Quit(process, window_);
}

// A standard user's disable and stop of a running service both go through
// the elevated instance, each its own request.
TEST_F(ProgramRights, AStandardUsersStopGoesThroughTheElevatedInstance) {
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window_); }));
    AnswerAboutRunningServices(process, window_);
    Quit(process, window_);
}

// A standard user's guard that starts from a record an administrator's run
// left, and from none: the list shows what the places hold (not what went
// meanwhile, and what came), and a machine entry that came meanwhile, an
// expandable value, is moved by the elevated instance, which finds it in
// its own reading of the places rather than in the record.
TEST_F(ProgramRights, TheListAndTheElevatedMoveReadThePlacesWithOrWithoutARecord) {
    for (const bool withRecord : {false, true}) {
        SCOPED_TRACE(withRecord ? "with a record" : "at the first start");
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            RegKey::DeleteTree(root, kRecordsKey, root == HKEY_LOCAL_MACHINE ? MachineView() : 0);
        AddRunValue(L"Gone", L"gone.exe");
        if (withRecord) {
            // An administrator's run keeps the machine's record.
            ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr);
            KeepbootProcess& first = StartWatching(L"2");
            ASSERT_NE(window_, nullptr);
            ASSERT_TRUE(WaitUntil([] {
                return ReadRawValue(HKEY_LOCAL_MACHINE, kRecordsKey, L"Entries", MachineView()).exists;
            }));
            Quit(first, window_);
            ::SetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", L"1");
        }
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Gone");
        const std::wstring command = L"%ProgramFiles%\\Vendor\\vendor.exe";
        SetRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor", REG_EXPAND_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));

        KeepbootProcess& process = StartWatching(L"2");
        ASSERT_NE(window_, nullptr);
        const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
        ASSERT_TRUE(WaitUntil([&] { return list.Find(L"Vendor") >= 0; })) << "listed without a Refrush";
        EXPECT_LT(list.Find(L"Gone"), 0);
        list.SetChecked(list.Find(L"Vendor"), false);
        ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRunKey, L"Vendor").exists; }));
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kStore + L"Vendor", L"command"), command);
        EXPECT_EQ(process.WaitForReport(1000), nullptr) << "no \"could not be moved\"";
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Vendor").c_str());
        Quit(process, window_);
    }
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// What is known outlives the program: a value and a shortcut added while
// Keepboot was not running are handled by the policy at the next start and
// recorded as found at start; a value allowed in the last run is not asked
// about again; a kill while the program keeps what it knows leaves a record
// the next start reads whole.
TEST_F(ProgramNotifications, WhatCameWhileKeepbootWasNotRunningIsHandledAtTheNextStart) {
    KeepbootProcess& first = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    AddRunValue(L"Allowed", L"allowed.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(first) == Question(L"Allowed"); }));
    Answer(first, PromptDialog::kEnableId);
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(first).empty(); }));
    // The answer acted on (during a check, right after it) before the Quit.
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::any_of(records.begin(), records.end(),
                           [](const HistoryRecord& r) { return r.what == L"Allowed" && r.item == L"Allowed"; });
    }));
    Quit(first, window_);

    AddRunValue(L"Meanwhile", L"meanwhile.exe");
    AddStartupShortcut(L"Keepboot Meanwhile", LinkTo(exe_));
    StartWatching(L"0");
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Meanwhile") && !FileExists(shortcut_); }, kWellInsideAnInterval));
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::count_if(records.begin(), records.end(), [](const HistoryRecord& r) {
                   return r.what == L"Disabled" && r.detail.find(UiText(IDS_FOUND_AT_START)) != std::wstring::npos;
               }) == 2;
    }));
    EXPECT_EQ(ReadUserRunValue(L"Allowed"), L"allowed.exe") << "allowed in the last run";

    // Killed as it keeps what it knows of a new entry.
    AddRunValue(L"Last", L"last.exe");
    ASSERT_TRUE(WaitUntil([&] { return Gone(L"Last"); }, kWellInsideAnInterval));
    processes_.clear();
    StartWatching(L"0");
    ASSERT_NE(window_, nullptr);
    EXPECT_EQ(NoticesSaying(*processes_.back(), window_, L""), 0);
    const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
    EXPECT_TRUE(std::none_of(records.begin(), records.end(), [](const HistoryRecord& r) {
        return r.detail.find(L"could not be read whole") != std::wstring::npos;
    }));
    EXPECT_EQ(ReadUserRunValue(L"Allowed"), L"allowed.exe");
    names_.push_back(L"Allowed");
    Quit(*processes_.back(), window_);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// The history file past its bound and unreplaceable, held by another
// program, or a folder: the guard goes on (a new value is taken within the
// usual latency), and the failure to write is one notice.
TEST_F(ProgramNotifications, AHistoryThatCannotBeWrittenStopsNothing) {
    const std::wstring path = DefaultHistoryPath();
    enum class Mode { PastItsBoundAndUnreplaceable, Held, AFolder };
    for (const Mode mode : {Mode::PastItsBoundAndUnreplaceable, Mode::Held, Mode::AFolder}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ::DeleteFileW(path.c_str());
        MakeFolder(path.substr(0, path.rfind(L'\\')));
        UniqueFile held;
        if (mode == Mode::PastItsBoundAndUnreplaceable) {
            WriteFileBytes(path, std::string(1100 * 1024, 'x') + "\r\n");
            MakeFolder(path + L".new");
        } else if (mode == Mode::Held) {
            held.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        } else {
            MakeFolder(path);
        }
        KeepbootProcess& process = StartWatching();
        ASSERT_NE(window_, nullptr);
        const std::wstring name = L"Quick" + std::to_wstring(static_cast<int>(mode));
        AddRunValue(name, L"quick.exe");
        EXPECT_TRUE(WaitUntil([&] { return Gone(name); }, kWellInsideAnInterval));
        AddRunValue(name + L"b", L"quick.exe");
        EXPECT_TRUE(WaitUntil([&] { return Gone(name + L"b"); }, kWellInsideAnInterval));
        const RemoteListView history(FindDescendant(window_, IdHistoryList), process.Process());
        int told = 0;
        for (int row = 0; row < history.Count(); ++row)
            told += history.Text(row, 4).find(L"cannot be written now") != std::wstring::npos;
        EXPECT_EQ(told, mode == Mode::PastItsBoundAndUnreplaceable ? 0 : 1);
        Quit(process, window_);
        held.reset();
        RemoveTree(path + L".new");
        RemoveTree(path);
        ::DeleteFileW(path.c_str());
    }
}

}  // namespace
}  // namespace kb::test
