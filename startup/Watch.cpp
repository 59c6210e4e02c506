// The startup watch: every tick reads the Run-type keys and the Startup
// folders again and deals with each entry whose name is not known yet.
#include <exception>

#include "app/DisableForm.h"
#include "platform/ScopeExit.h"
#include "startup/StartupDlg.h"
#include "startup/StartupPlaces.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

}  // namespace

int TDisableForm::ShowPrompt(const std::wstring& question) {
    if (options_.prompt) return options_.prompt(question);
    return prompt_ ? prompt_->ShowPrompt(question) : TStartupDlg::kCancel;
}

void TDisableForm::TimerTimer() {
    if (Scanning) return;
    if (!FormReady) return;
    std::exception_ptr failure;
    {
        Scanning = true;
        ScopeExit done([this] { Scanning = false; });
        try {
            WatchStartupPlaces();
            GuardStartPages();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // A reload asked for while the tick waited in a prompt runs now, with
    // the tick's tables whole until its end.
    if (reloadPending_) {
        reloadPending_ = false;
        RefrushButtonClick();
    }
    if (failure) std::rethrow_exception(failure);
}

void TDisableForm::WatchStartupPlaces() {
    const auto policy = [this] { return SystemRadioGroup.ItemIndex(); };
    if (policy() != 0 && policy() != 1) return;

    RunScanTable.Clear();
    for (const RunKeyPlace& place : kRunKeys) ScanRunKey(place.root, place.rootName, place.keyPath);
    for (std::size_t i = 0, n = RunScanTable.RowCount(); i < n; ++i) {
        const std::wstring& name = RunScanTable.Cell(i, RunCol::Name);
        if (RunTable.ContainsIgnoringCase(RunCol::Name, name)) continue;
        int decision = TStartupDlg::kCancel;
        if (policy() == 1) decision = ShowPrompt(NewStartupQuestion(name));
        if (policy() == 0) decision = TStartupDlg::kDisable;
        if (decision == TStartupDlg::kDisable)
            DisableRunEntry(name, RunScanTable.Cell(i, RunCol::Command),
                            RunScanTable.Cell(i, RunCol::Location));
        if (decision == TStartupDlg::kEnable)
            AllowNewEntry(RunTable, RunScanTable, i, RunCol::Command, RunCol::Location,
                          RunCol::ListIndex);
    }

    FolderScanTable.Clear();
    ScanStartupFolder(kCommonStartupLocation, CommonStartupDir);
    ScanStartupFolder(kStartupLocation, StartupDir);
    for (std::size_t i = 0, n = FolderScanTable.RowCount(); i < n; ++i) {
        const std::wstring& name = FolderScanTable.Cell(i, FolderCol::Name);
        if (FolderTable.ContainsIgnoringCase(FolderCol::Name, name)) continue;
        int decision = TStartupDlg::kCancel;
        if (policy() == 1) decision = ShowPrompt(NewStartupQuestion(name));
        if (policy() == 0) decision = TStartupDlg::kDisable;
        if (decision == TStartupDlg::kDisable)
            DisableFolderEntry(name, FolderScanTable.Cell(i, FolderCol::Target),
                               FolderScanTable.Cell(i, FolderCol::Location));
        if (decision == TStartupDlg::kEnable)
            AllowNewEntry(FolderTable, FolderScanTable, i, FolderCol::Target, FolderCol::Location,
                          FolderCol::ListIndex);
    }
}

// The entry is known from now on, and shown checked at the end of the list.
void TDisableForm::AllowNewEntry(TextTable& known, const TextTable& scanned, std::size_t row,
                                 std::size_t commandColumn, std::size_t locationColumn,
                                 std::size_t listIndexColumn) {
    std::vector<std::wstring> cells;
    for (std::size_t c = 0; c < scanned.ColumnCount(); ++c) cells.push_back(scanned.Cell(row, c));
    known.Append(cells);
    const std::size_t added = known.RowCount() - 1;
    const int listRow = AddListRow(known.Cell(added, 0), known.Cell(added, commandColumn),
                                   known.Cell(added, locationColumn), true);
    known.SetCell(added, listIndexColumn, std::to_wstring(listRow));
}

}  // namespace kb
