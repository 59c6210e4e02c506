// The startup list page: every known entry, checked when enabled.
#include <exception>

#include "app/Elevation.h"
#include "app/MainWindow.h"

namespace kb {

void MainWindow::ReloadStartupList() {
    // While a check waits for an answer, what it compares with stays as it
    // is: the reload runs when the check ends.
    if (CheckUnderWay()) {
        reloadPending_ = true;
        return;
    }
    guard_->Reload();  // a reading that is not whole raises; the list stays
    list_.Show(guard_->Known().InListOrder());
    ReportNotices();
}

void MainWindow::ApplyStartupList() {
    if (CheckUnderWay()) {
        applyPending_ = true;
        return;
    }
    std::exception_ptr failure;
    try {
        // What needs administrator rights is done together, in one elevated
        // instance: Windows asks once.
        std::vector<StartupEntry> needRights;
        for (const StartupEntry& entry : list_.Changed()) {
            const MoveResult result = guard_->Move(entry);
            if (result == MoveResult::NeedsAdministrator) needRights.push_back(entry);
            if (result == MoveResult::Moved) history_.RecordMove(entry, L"the list");
        }
        if (!needRights.empty()) MoveElevated(Handle(), ExecutablePath(), needRights);
    } catch (...) {
        failure = std::current_exception();
    }
    // The list shows where every entry really is, also after a pass that
    // stopped part-way.
    try {
        ReloadStartupList();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kb
