// Whole-program tests of the watch at its interval, and of each way it could
// be blinded or turned against what it guards.
#include "ProgramFixtures.h"
#include "TaskXml.h"
#include "kinds/TaskDefinition.h"
#include "kinds/TaskFiles.h"
#include "platform/Handle.h"
#include "platform/ServiceManager.h"
#include "platform/ScopeExit.h"
#include "platform/Xml.h"
#include "ProbeService.h"

namespace kb::test {
namespace {

// Through the list page and back, a shortcut keeps every part: a tray
// program's arguments, its working folder, its description.
TEST_F(ProgramWatch, ShortcutThroughTheListComesBackWhole) {
    ShellLinkData link;
    link.Target = exe_;
    link.Arguments = L"-min --quiet";
    link.WorkingDirectory = folder_;
    link.Description = L"Starts the probe in the tray";
    link.IconLocation = exe_;
    link.IconIndex = 1;
    link.HotKey = MAKEWORD('P', 0x06);  // Ctrl+Alt+P
    AddStartupShortcut(L"Keepboot Probe", link);
    ASSERT_TRUE(FileExists(shortcut_)) << "no Keepboot runs yet";
    const ShellLinkData before = ReadShortcut();
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RemoteListView list(FindDescendant(window, IdStartupList), process.Process());
    const HWND apply = FindDescendant(window, IdListApply);
    ASSERT_GE(list.Find(L"Keepboot Probe"), 0);

    list.SetChecked(list.Find(L"Keepboot Probe"), false);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] {
        const int row = list.Find(L"Keepboot Probe");
        return !FileExists(shortcut_) && row >= 0 && !list.Checked(row);
    }));
    list.SetChecked(list.Find(L"Keepboot Probe"), true);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(shortcut_); }));
    EXPECT_EQ(ReadShortcut(), before);
    Quit(process, window);
}

TEST_F(ProgramWatch, HiddenStartDisablesANewValueWithinTwoIntervals) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const std::wstring command = L"C:\\Program Files\\Sneaky\\sneaky.exe /tray";
    AddRunValue(L"Sneaky Updater", command);
    const DWORD added = ::GetTickCount();
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(L"Sneaky Updater") == L"(none)"; }));
    const DWORD took = ::GetTickCount() - added;
    std::cout << "[ watch ] value disabled " << took << " ms after it appeared\n";
    EXPECT_LE(took, 2 * 3000u + kSlackMs) << "within two intervals";
    EXPECT_TRUE(StoredWhole(L"Sneaky Updater", command));
    EXPECT_FALSE(::IsWindowVisible(window));
    Quit(process, window);
}

// A task is switched off where it is as soon as its definition is written
// in a folder of its own. (Wine signals no change below a folder's own
// entries; Windows signals the whole tree, which is watched.)
TEST_F(ProgramWatch, HiddenStartSwitchesOffANewTaskAsItIsWritten) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window); }));
    const std::wstring folder = TasksFolder() + L"\\Sneaky", file = folder + L"\\Updater";
    ScopeExit planted([&] {
        ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(folder.c_str());
    });
    MakeFolder(folder);
    WriteFileBytes(file, Utf16File(TaskXml(L"C:\\Program Files\\Sneaky\\sneaky.exe", L"/tray")));
    const DWORD written = ::GetTickCount();
    EXPECT_TRUE(WaitUntil([&] {
        const std::optional<TaskDefinition> now = ParseTaskDefinition(XmlTextOf(ReadFileBytes(file)));
        return now && !now->enabled;
    }));
    std::cout << "[ watch ] task switched off " << ::GetTickCount() - written << " ms after it was written\n";
    Quit(process, window);
}

// A new automatic service is disabled as soon as its installer made it,
// before its next boot, with its start type kept in the System
// Configuration utility's store.
TEST_F(ProgramWatch, HiddenStartDisablesANewServiceAsItIsMade) {
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Watching(window); }));
    const std::wstring name = L"KbSneakyUpdater";
    const std::wstring kept = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\services\\" + name;
    const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ScopeExit made([&] {
        if (const UniqueService service{::OpenServiceW(manager.get(), name.c_str(), DELETE)})
            ::DeleteService(service.get());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kept.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kept.c_str());
    });
    const DWORD made_at = ::GetTickCount();
    const UniqueService service(::CreateServiceW(manager.get(), name.c_str(), L"Sneaky Updater", SERVICE_QUERY_CONFIG,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                                 L"\"C:\\Program Files\\Sneaky\\updater.exe\" /service", nullptr,
                                                 nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << ::GetLastError();
    EXPECT_TRUE(WaitUntil([&] { return QueryService(name).value_or(ServiceConfig{}).start == SERVICE_DISABLED; }));
    std::cout << "[ watch ] service disabled " << ::GetTickCount() - made_at << " ms after it was made\n";
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kept, name).type, DWORD{REG_DWORD});
    Quit(process, window);
}

}  // namespace

void ProgramWatch::AnswerAboutRunningServices(const KeepbootProcess& process, HWND window) {
    const std::wstring kept = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\services\\";
    const std::wstring names[] = {L"KbProbeTicked", L"KbProbeUnticked"};
    ScopeExit made([&] {
        for (const std::wstring& name : names) {
            DeleteProbeService(name);
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kept + name).c_str());
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kept + name).c_str());
        }
    });
    for (const std::wstring& name : names) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const bool tick = name == names[0];
        ASSERT_TRUE(MakeRunningProbeService(name));
        ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process).find(name) != std::wstring::npos; }));
        const HWND box = ::GetDlgItem(process.FindWindowOfClass(PromptDialog::kClassName), PromptDialog::kStopId);
        ASSERT_TRUE(::IsWindowVisible(box)) << "offered for a service that runs";
        EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "never ticked for the user";
        if (tick) {
            ::PostMessageW(box, BM_CLICK, 0, 0);
            ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
        }
        Answer(process, PromptDialog::kDisableId);
        EXPECT_TRUE(WaitUntil([&] { return QueryService(name).value_or(ServiceConfig{}).start == SERVICE_DISABLED; }));
        if (tick) {
            EXPECT_TRUE(WaitForProbeState(name, SERVICE_STOPPED));
            EXPECT_TRUE(WaitUntil([&] {
                return NoticesSaying(process, window, L"Told the service " + name + L" to stop, as you asked.") == 1;
            }));
        } else {
            EXPECT_EQ(ProbeState(name), DWORD{SERVICE_RUNNING}) << "running, as the user left it";
        }
    }
}

namespace {

TEST_F(ProgramWatch, AskPolicyPromptsWhileTheWindowStaysHidden) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(FindDescendant(window, IdStartupPolicyItem0 + 1), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(window, IdStartButton), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) && Watching(window); }));

    AddRunValue(L"First", L"first.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"First"); }));
    EXPECT_FALSE(::IsWindowVisible(window));
    Answer(process, PromptDialog::kDisableId);
    // The store's copy is written before the live value goes: wait for both.
    EXPECT_TRUE(WaitUntil([&] { return StoredWhole(L"First", L"first.exe") && ReadUserRunValue(L"First") == L"(none)"; }));

    AddRunValue(L"Second", L"second.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Second"); }));
    Answer(process, PromptDialog::kEnableId);
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process).empty(); }));

    // The enabled one is known now: the next question is about the next entry.
    AddRunValue(L"Third", L"third.exe");
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Third"); }));
    Answer(process, PromptDialog::kCancelId);
    // Cancel leaves it, on record, and the question comes again: at once
    // when a check falls right after the answer, so the record, not a
    // closed prompt, says the answer was taken.
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::any_of(records.begin(), records.end(), [](const HistoryRecord& r) {
            return r.kind == RecordKind::Left && r.item == L"Third";
        });
    }));
    ASSERT_TRUE(WaitUntil([&] { return OpenQuestion(process) == Question(L"Third"); }));
    EXPECT_EQ(ReadUserRunValue(L"Third"), L"third.exe");
    EXPECT_EQ(ReadUserRunValue(L"Second"), L"second.exe");
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([&] { return StoredWhole(L"Third", L"third.exe"); }));
    Quit(process, window);
}


// Each way the landed watch could be blinded or turned against what it
// guards, made from outside while Keepboot runs hidden under "disable all".
class ProgramFaults : public ProgramWatch {
protected:
    void TearDown() override {
        ProgramWatch::TearDown();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kStore + L"Odd").c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kStore + L"Odd").c_str());
    }
    // Nothing moves for two intervals and the slack.
    static bool StaysFor2Intervals(const std::function<bool()>& unchanged) {
        return !WaitUntil([&] { return !unchanged(); }, 2 * 3000u + kSlackMs);
    }
    bool Live(const std::wstring& name) { return ReadUserRunValue(name) != L"(none)"; }
};

TEST_F(ProgramFaults, ClosingWithAnUnwritableSettingsFileDisablesNothing) {
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    // The settings file is held open by another program.
    UniqueHandle lock(::CreateFileW((folder_ + L"\\Keepboot.ini").c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const HWND report = process.WaitForReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(KeepbootProcess::ReportText(report).rfind(L"Unable to write to ", 0), 0u);
    AddRunValue(L"Newcomer", L"newcomer.exe");
    EXPECT_TRUE(StaysFor2Intervals([&] { return Live(L"Known") && Live(L"Newcomer"); }))
        << "no check runs while the closing program reports";
    KeepbootProcess::CloseReport(report);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ProgramFaults, ValueThatIsNotTextBlindsNothing) {
    AddRunValue(L"Known", L"known.exe");
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const DWORD number = 1;
    names_.push_back(L"Odd");
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Odd", REG_DWORD, &number, sizeof number);
    // The notice waits for nobody: the next value goes while it shows.
    AddRunValue(L"Newcomer", L"newcomer.exe");
    const DWORD added = ::GetTickCount();
    EXPECT_TRUE(WaitUntil([&] { return !Live(L"Newcomer"); }));
    EXPECT_LE(::GetTickCount() - added, 2 * 3000u + kSlackMs) << "within two intervals";
    EXPECT_TRUE(StoredWhole(L"Newcomer", L"newcomer.exe"));
    EXPECT_TRUE(WaitUntil([&] { return NoticesSaying(process, window, L"Invalid data type for 'Odd'") == 1; }));
    EXPECT_TRUE(StaysFor2Intervals(
        [&] { return NoticesSaying(process, window, L"Invalid data type for 'Odd'") == 1; }))
        << "told once, not at every check";
    EXPECT_EQ(process.WaitForReport(1), nullptr) << "no modal report";

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Odd");
    EXPECT_TRUE(StaysFor2Intervals([&] { return Live(L"Known"); }));
    Quit(process, window);
}

TEST_F(ProgramFaults, OddStoreEntryMovesNoShortcut) {
    AddStartupShortcut(L"Keepboot Test Link", LinkTo(exe_));
    KeepbootProcess& process = Start(L"-start");
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    SetStringValue(HKEY_LOCAL_MACHINE, kStore + L"Odd", L"item", L"Odd");
    const DWORD number = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, kStore + L"Odd", L"command", REG_DWORD, &number, sizeof number);
    ::PostMessageW(FindDescendant(window, IdListReload), BM_CLICK, 0, 0);
    EXPECT_TRUE(
        WaitUntil([&] { return NoticesSaying(process, window, L"Invalid data type for 'command'") == 1; }));
    EXPECT_TRUE(StaysFor2Intervals([&] { return FileExists(shortcut_); }));
    EXPECT_EQ(process.WaitForReport(1), nullptr) << "no modal report";
    Quit(process, window);
}

}  // namespace
}  // namespace kb::test
