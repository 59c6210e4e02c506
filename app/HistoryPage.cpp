// The history page's way back: the entry a recorded disable put into the
// store is enabled again.
#include <algorithm>

#include "app/Elevation.h"
#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "platform/ShowableText.h"
#include "platform/Error.h"

namespace kb {

void MainWindow::EnableFromHistory() {
    const std::optional<HistoryRecord> selected = history_.List().Selected();
    if (!selected) return;
    if (CheckUnderWay()) {
        reloadPending_ = true;  // what the check compares with stays; try again after it
        return;
    }
    guard_->Reload();
    // The stored entry the record's disable made: its name and place, and
    // of two such, the one that starts what the record says (a shortcut's
    // command is stored quoted).
    const std::vector<StartupEntry> entries = guard_->Known().InListOrder();
    const auto storedAs = [&](const StartupEntry& e) {
        return (std::holds_alternative<StoredRunEntry>(e) ||
                std::holds_alternative<StoredShortcutEntry>(e)) &&
               TextOf(e).item == selected->item && TextOf(e).location == selected->location;
    };
    auto stored = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& e) {
        return storedAs(e) && TextOf(e).command == selected->command;
    });
    if (stored == entries.end()) stored = std::find_if(entries.begin(), entries.end(), storedAs);
    if (stored == entries.end())
        throw Error(L"'" + Showable(selected->item) + L"' is not disabled: nothing to enable");
    const MoveResult result = guard_->Move(*stored);
    if (result == MoveResult::NeedsAdministrator)
        MoveElevated(Handle(), ExecutablePath(), {*stored});
    else if (result == MoveResult::Moved)
        history_.RecordMove(*stored, L"the history");
    ReloadStartupList();
}

}  // namespace kb
