// Whole-program tests of the single logon values, changed from a second
// process as an intruder or a user repairing a machine would: nothing is
// put back to harm, and every question shows the whole value.
#include "ProgramFixtures.h"
#include "app/services/HistoryKeeper.h"
#include "logon/LogonValues.h"
#include "app/services/FindingWords.h"
#include "places/Records.h"
#include "platform/ScopeExit.h"

namespace kb::test {
namespace {

const std::wstring kWinlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::wstring kCommandProcessor = L"Software\\Microsoft\\Command Processor";

class ProgramLogon : public ProgramNotifications {
protected:
    void TearDown() override {
        ProgramNotifications::TearDown();
        SetStringValue(HKEY_LOCAL_MACHINE, kWinlogon, L"Shell", L"explorer.exe");
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kWinlogon.c_str(), L"Userinit");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kCommandProcessor.c_str(), L"AutoRun");
        if (!shell_.empty()) ::DeleteFileW(shell_.c_str());
    }
    static bool Recorded(const std::wstring& what, const std::wstring& item) {
        const std::vector<HistoryRecord> records = HistoryFile(DefaultHistoryPath()).Read();
        return std::any_of(records.begin(), records.end(),
                           [&](const HistoryRecord& r) { return r.what == what && r.item == item; });
    }
    // The open prompt's whole question, however long.
    static std::wstring WholeQuestion(const KeepbootProcess& process) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        if (!dialog || !::IsWindowVisible(dialog)) return {};
        return ControlText(::GetDlgItem(dialog, PromptDialog::kQuestionId));
    }
    static bool ButtonsOnTheDialog(const KeepbootProcess& process) {
        const HWND dialog = process.FindWindowOfClass(PromptDialog::kClassName);
        RECT client{};
        ::GetClientRect(dialog, &client);
        for (const int id : {PromptDialog::kDisableId, PromptDialog::kEnableId, PromptDialog::kCancelId}) {
            RECT r{};
            ::GetWindowRect(::GetDlgItem(dialog, id), &r);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom) return false;
        }
        return true;
    }
    std::wstring shell_;
};

TEST_F(ProgramLogon, NothingIsPutBackToHarmAndEveryQuestionShowsTheWholeValue) {
    // Tampered with before Keepboot came; a replacement shell installed.
    const LogonValue& userinit = *std::find_if(LogonValues().begin(), LogonValues().end(),
                                               [](const LogonValue& v) { return v.name == std::wstring(L"Userinit"); });
    const std::wstring own = WindowsDefaultOf(userinit)->Text();
    SetStringValue(HKEY_LOCAL_MACHINE, kWinlogon, L"Userinit", own + L"c:\\evil\\persist.exe,");
    shell_ = folder_ + L"\\myshell.exe";
    WriteFileBytes(shell_, "MZ");
    SetStringValue(HKEY_LOCAL_MACHINE, kWinlogon, L"Shell", shell_);
    KeepbootProcess& process = StartWatching(L"1");
    ASSERT_NE(window_, nullptr);
    EXPECT_TRUE(WaitUntil([] { return Recorded(kNotWindowsOwn, L"Userinit"); })) << "said at the start";

    // Repaired while Keepboot runs: it stays repaired.
    SetStringValue(HKEY_LOCAL_MACHINE, kWinlogon, L"Userinit", own);
    ASSERT_TRUE(WaitUntil([] { return Recorded(L"Logon value repaired to Windows' own", L"Userinit"); },
                          kWellInsideAnInterval));
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kWinlogon, L"Userinit"), own);

    // The shell uninstalled, then replaced from outside: not put back, asked.
    ::DeleteFileW(shell_.c_str());
    SetStringValue(HKEY_LOCAL_MACHINE, kWinlogon, L"Shell", L"c:\\evil\\shell.exe");
    ASSERT_TRUE(WaitUntil([&] { return WholeQuestion(process).find(L"is not there") != std::wstring::npos; },
                          kWellInsideAnInterval));
    const HWND before = ::GetDlgItem(process.FindWindowOfClass(PromptDialog::kClassName), PromptDialog::kBeforeId);
    const std::wstring line = ControlText(before);
    EXPECT_TRUE(line.starts_with(L"Before: not there: C:\\")) << Narrow(line);
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([] { return ReadText(HKEY_LOCAL_MACHINE, kWinlogon, L"Shell") == L"explorer.exe"; }))
        << "Windows' own, never the missing one";

    // A payload behind 400 blanks is seen; a value of a million characters
    // keeps its question and its buttons on the dialog.
    SetStringValue(HKEY_CURRENT_USER, kCommandProcessor, L"AutoRun",
                   L"C:\\Windows\\System32\\doskey.exe /macrofile=C:\\m.txt" + std::wstring(400, L' ') +
                       L"& c:\\evil\\payload.exe");
    ASSERT_TRUE(WaitUntil([&] { return !WholeQuestion(process).empty(); }, kWellInsideAnInterval));
    EXPECT_NE(WholeQuestion(process).find(L"<400 blanks>& c:\\evil\\payload.exe"), std::wstring::npos)
        << Narrow(WholeQuestion(process));
    Answer(process, PromptDialog::kCancelId);
    ASSERT_TRUE(WaitUntil([&] { return WholeQuestion(process).empty(); }));
    SetStringValue(HKEY_CURRENT_USER, kCommandProcessor, L"AutoRun",
                   L"start.exe " + std::wstring(1000000, L'x') + L" c:\\evil\\end.exe");
    ASSERT_TRUE(WaitUntil([&] { return WholeQuestion(process).find(L"end.exe") != std::wstring::npos; },
                          kWellInsideAnInterval));
    EXPECT_TRUE(WholeQuestion(process).ends_with(L"do you want to disbale it?"));
    EXPECT_TRUE(ButtonsOnTheDialog(process));
    Answer(process, PromptDialog::kDisableId);
    EXPECT_TRUE(WaitUntil([] { return ReadText(HKEY_CURRENT_USER, kCommandProcessor, L"AutoRun") == L"(none)"; }));
    Quit(process, window_);
}

// A second start from the records of the first, rewritten meanwhile by
// another program of the user: what fails its seal is said, and the
// machine's values are never written from what the user's record says.
TEST_F(ProgramLogon, ARecordAnotherProgramRewroteIsSaidAndNeverWritesTheMachinesValues) {
    const std::wstring real = folder_ + L"\\real.cmd";
    WriteFileBytes(real, "@echo off");
    SetStringValue(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun", real);
    const ScopeExit removed([] { ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCommandProcessor.c_str(), L"AutoRun"); });
    KeepbootProcess& first = StartWatching(L"0");
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitUntil([] {
        return ReadRawValue(HKEY_CURRENT_USER, kRecordsKey, L"Entries").exists &&
               ReadRawValue(HKEY_LOCAL_MACHINE, kRecordsKey, L"LogonValues", MachineView()).exists;
    })) << "the logon values' known good is kept by a run that changed nothing";
    Quit(first, window_);

    const LogonValue& autoRun = *std::find_if(LogonValues().begin(), LogonValues().end(), [](const LogonValue& v) {
        return v.root == HKEY_LOCAL_MACHINE && v.name == std::wstring(L"AutoRun");
    });
    const std::wstring evil = L"c:\\evil\\persist.bat";
    const auto* bytes = reinterpret_cast<const BYTE*>(evil.c_str());
    RecordLines line{{autoRun.Location(), autoRun.name,
                      FieldOf(REG_SZ, std::vector<BYTE>(bytes, bytes + (evil.size() + 1) * sizeof(wchar_t)))}};
    RecordLines lines;
    ReadRecord(HKEY_CURRENT_USER, L"LogonValues", lines);
    lines.insert(lines.end(), line.begin(), line.end());
    ASSERT_EQ(WriteRecord(HKEY_CURRENT_USER, L"LogonValues", lines), ERROR_SUCCESS);  // even sealed
    RewriteUserRecord(L"Entries", [](std::vector<std::wstring>& record) {
        record.insert(record.end() - 1, L"value\tHKCU\t0\tSoftware\\Microsoft\\Windows\\CurrentVersion\\Run\tForged\tforged.exe");
    });

    KeepbootProcess& second = StartWatching(L"0");
    ASSERT_NE(window_, nullptr);
    EXPECT_TRUE(WaitUntil([&] {
        return NoticesSaying(second, window_, WordsOf(Finding{.kind = Finding::Kind::RecordForged})) == 1;
    })) << "said";
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kCommandProcessor, L"AutoRun"), real) << "never the forged value";
    Quit(second, window_);
}

}  // namespace
}  // namespace kb::test
