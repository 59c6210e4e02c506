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
    if (SystemRadioGroup.ItemIndex() != 0 && SystemRadioGroup.ItemIndex() != 1) return;

    RunScanTable.Clear();
    for (const RunKeyPlace& place : kRunKeys) ScanRunKey(place.root, place.rootName, place.keyPath);
    HandleNewEntries(RunTable, RunScanTable, &TDisableForm::DisableRunEntry);

    FolderScanTable.Clear();
    ScanStartupFolder(kCommonStartupLocation, CommonStartupDir);
    ScanStartupFolder(kStartupLocation, StartupDir);
    HandleNewEntries(FolderTable, FolderScanTable, &TDisableForm::DisableFolderEntry);
}

// Both kinds of table have the columns Name, Command (or Target), Location
// and ListIndex, in that order.
void TDisableForm::HandleNewEntries(TextTable& known, const TextTable& scanned,
                                    DisableOperation disable) {
    static_assert(RunCol::Name == FolderCol::Name && RunCol::Command == FolderCol::Target &&
                  RunCol::Location == FolderCol::Location &&
                  RunCol::ListIndex == FolderCol::ListIndex);
    for (std::size_t i = 0, n = scanned.RowCount(); i < n; ++i) {
        const std::wstring& name = scanned.Cell(i, RunCol::Name);
        // Only the name counts; a row allowed earlier in this tick counts too.
        if (known.ContainsIgnoringCase(RunCol::Name, name)) continue;
        int decision = TStartupDlg::kCancel;
        if (SystemRadioGroup.ItemIndex() == 1) decision = ShowPrompt(NewStartupQuestion(name));
        if (SystemRadioGroup.ItemIndex() == 0) decision = TStartupDlg::kDisable;
        if (decision == TStartupDlg::kDisable)
            (this->*disable)(name, scanned.Cell(i, RunCol::Command),
                             scanned.Cell(i, RunCol::Location));
        if (decision == TStartupDlg::kEnable) {
            // Known from now on, and shown checked at the end of the list.
            known.Append({name, scanned.Cell(i, RunCol::Command),
                          scanned.Cell(i, RunCol::Location), kNoListIndex});
            const std::size_t added = known.RowCount() - 1;
            const int listRow = AddListRow(known.Cell(added, RunCol::Name),
                                           known.Cell(added, RunCol::Command),
                                           known.Cell(added, RunCol::Location), true);
            known.SetCell(added, RunCol::ListIndex, std::to_wstring(listRow));
        }
    }
}

}  // namespace kb
