// Whole-program tests of the single logon values, changed from a second
// process as an intruder or a user repairing a machine would: nothing is
// put back to harm, and every question shows the whole value.
#include "ProgramFixtures.h"
#include "app/services/HistoryKeeper.h"
#include "logon/LogonValues.h"

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

}  // namespace
}  // namespace kb::test
