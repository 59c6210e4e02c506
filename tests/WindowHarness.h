#pragma once
// A real main window, hidden, made inside the sandbox: its folders are the
// test's own, questions are answered here, and error reports are
// collected instead of shown.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CoreHarness.h"
#include "app/services/History.h"
#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"

namespace kb::test {

class WindowTest : public CoreTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and creates the window with these arguments (and folders other
    // than the test's own).
    MainWindow& MakeWindow(std::vector<std::wstring> arguments = {},
                           std::optional<StartupFolders> folders = {});
    // The settings file of the window's program file, which is in "App".
    std::wstring SettingsFile() { return Folder(L"App") + L"\\Keepboot.ini"; }
    // A timer message, as the system would send it.
    void Tick() { ::SendMessageW(window->Handle(), WM_TIMER, 1, 0); }
    // The records of the history file, but for the first start's notice.
    std::vector<HistoryRecord> Records();

    // The error reports shown so far, as the top-level loop shows them.
    const std::vector<std::wstring>& Reports() {
        ShowPendingReports();
        return reports;
    }

    std::unique_ptr<MainWindow> window;
    std::vector<std::wstring> reports;
    // The questions land here; answer decides (Cancel when unset).
    std::vector<std::wstring> questions;
    std::function<Decision(const std::wstring&)> answer;
};

struct ListRow {
    std::wstring item, command, location;
    bool checked;
    bool operator==(const ListRow&) const = default;
};
std::vector<ListRow> ListRows(HWND listView);
// The controls below the window whose text does not fit them.
std::vector<std::wstring> CutTexts(HWND root);
// Shows the question on the prompt and handles messages until it is
// answered; Cancel when the loop ends first.
Decision AskAndWait(PromptDialog& dialog, const std::wstring& text, const EntryDetails& details = {});
// The notices the history page shows, newest first.
std::vector<std::wstring> NoticeLines(HWND historyList);
void PrintTo(const ListRow& row, std::ostream* os);

}  // namespace kb::test
