// The history page: what the guard did and told, newest first, and the way
// back from a disable.
#include <algorithm>

#include "app/Elevation.h"
#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "platform/ShowableText.h"
#include "platform/Error.h"

namespace kb {

void MainWindow::Record(HistoryRecord record) {
    ::GetSystemTimeAsFileTime(&record.when);
    // A record that cannot be written is still shown: it pauses nothing.
    history_.Append(record);
    historyList_.Add(record);
    eventLog_.Report(record);
}

void MainWindow::RecordOutcome(const CheckOutcome& outcome) {
    static constexpr const wchar_t* kWhat[] = {L"Disabled", L"Allowed", L"Left as it is",
                                               L"Could not be disabled",
                                               L"Needs administrator rights"};
    HistoryRecord record;
    record.what = kWhat[outcome.action];
    record.by = outcome.asked ? L"you" : L"the watch";
    record.item = outcome.entry.item;
    record.command = outcome.entry.command;
    record.location = outcome.entry.location;
    if (!outcome.previously.empty()) record.detail = L"before: " + outcome.previously;
    Record(std::move(record));
}

void MainWindow::RecordStartPage(std::size_t index, const std::wstring& found,
                                 const std::wstring& defended, Decision decision, bool asked) {
    HistoryRecord record;
    record.what = decision == Decision::Disable ? L"Start page put back"
                  : decision == Decision::Allow ? L"Start page change allowed"
                                                : L"Left as it is";  // to be asked again
    record.by = asked ? L"you" : L"the watch";
    record.item = kStartPageValues[index].caption;
    record.command = found;
    record.location = L"Internet Explorer";
    record.detail = L"defended: " + defended;
    Record(std::move(record));
}

void MainWindow::RecordMove(const StartupEntry& entry, const wchar_t* from) {
    const EntryText text = TextOf(entry);
    HistoryRecord record;
    // A live entry moved goes into the store; a stored one comes back.
    record.what = std::wstring(text.enabled ? L"Disabled" : L"Enabled") + L" from " + from;
    record.by = L"you";
    record.item = text.item;
    record.command = text.command;
    record.location = text.location;
    Record(std::move(record));
}

void MainWindow::EnableFromHistory() {
    const std::optional<HistoryRecord> selected = historyList_.Selected();
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
        RecordMove(*stored, L"the history");
    ReloadStartupList();
}

}  // namespace kb
