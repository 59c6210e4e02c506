#include "app/HistoryPage.h"

#include <algorithm>

#include "app/ControlIds.h"
#include "app/services/UserMoves.h"
#include "app/ErrorReport.h"
#include "platform/Error.h"
#include "platform/ShowableText.h"
#include "platform/TextCompare.h"
#include "places/CommandLine.h"
#include "guard/DisabledLedger.h"
#include "app/Texts.h"

namespace kb {

namespace {
constexpr ListColumn kColumns[] = {
    {IDS_COLUMN_TIME, 118}, {IDS_COLUMN_WHAT, 150}, {IDS_COLUMN_ITEM, 100}, {IDS_COLUMN_LOCATION, 120},
    {IDS_COLUMN_DETAILS, 300}};
}  // namespace

HistoryPage::HistoryPage(const PageFrame& frame, Workbench& bench, ListPage& listPage)
    : Page(frame), bench_(bench), listPage_(listPage) {
    auto& make = Children();
    ui_.list = make.Add({.kind = ControlKind::VirtualListView, .id = IdHistoryList, .x = 12,
                         .y = 12, .width = 560, .height = 266});
    ui_.enable = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_ENABLE_BUTTON).c_str(),
                                   .id = IdHistoryEnable, .x = 497, .y = 284, .width = 75,
                                   .height = 25},
                                  [this] { EnableSelected(); }));
    ListView_SetExtendedListViewStyle(ui_.list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    ui_.enable.Enable(false);  // until a record it acts on is chosen
    AddListColumns(ui_.list, kColumns, make.Scale());
    bench_.history.List().Attach(ui_.list);
}

void HistoryPage::OnNotify(NMHDR& header) {
    if (header.code == LVN_GETDISPINFOW)
        bench_.history.List().FillCell(reinterpret_cast<NMLVDISPINFOW&>(header));
    // The button says what it does for the record chosen, and does nothing
    // for any other record than a disable of this program's or a logon
    // value found not Windows' own.
    if (header.code == LVN_ITEMCHANGED) {
        const std::optional<HistoryRecord> selected = bench_.history.List().Selected();
        const bool restore = selected && selected->kind == RecordKind::NotWindowsOwn;
        ui_.enable.SetText(UiText(restore ? IDS_RESTORE_BUTTON : IDS_ENABLE_BUTTON));
        ui_.enable.Enable(restore || (selected && IsOwnDisable(*selected)));
    }
}

void HistoryPage::EnableSelected() {
    const std::optional<HistoryRecord> selected = bench_.history.List().Selected();
    if (!selected) return;
    // What the user chose now, whatever is chosen when it runs.
    if (bench_.Busy()) {
        enablePending_ = selected;
        return;
    }
    Enable(*selected);
}

void HistoryPage::RunPutOffWork() {
    if (std::optional<HistoryRecord> record = std::exchange(enablePending_, std::nullopt)) Enable(*record);
}

void HistoryPage::Enable(const HistoryRecord& record) {
    const HistoryRecord* const selected = &record;
    bench_.guard.Reload();
    // A logon value found not Windows' own: Windows' own value back, while
    // it still holds what the record says.
    if (selected->kind == RecordKind::NotWindowsOwn) {
        for (const LogonValueEntry& value : bench_.guard.Listed().logonValues) {
            const EntryText text = TextOf(value);
            if (text.item != selected->item || text.location != selected->location) continue;
            if (text.command != selected->command)
                return ShowErrorReport(UiText(IDS_NOT_RESTORED_CHANGED, {Showable(selected->item)}));
            const std::wstring report = ReportOf(MoveForUser(bench_, {value}, MoveSource::History));
            listPage_.Reload();
            if (!report.empty()) ShowErrorReport(report);
            return;
        }
        return ShowErrorReport(UiText(IDS_NOT_RESTORED_OWN, {Showable(selected->item)}));
    }
    // Only what this program disabled, by the watch or for you: a record
    // alone proves nothing, any program of yours can write the file.
    if (!IsOwnDisable(*selected)) return;
    if (!WasDisabledHere(selected->location, selected->item, selected->command))
        return ShowErrorReport(UiText(IDS_NOT_OWN_DISABLE, {Showable(selected->item)}));
    const std::optional<StartupEntry> stored =
        FindPutAside(bench_.guard.Listed(), {selected->item, selected->command, selected->location});
    if (!stored) return ShowErrorReport(UiText(IDS_NOT_DISABLED, {Showable(selected->item)}));
    const std::wstring report = ReportOf(MoveForUser(bench_, {*stored}, MoveSource::History));
    listPage_.Reload();
    if (!report.empty()) ShowErrorReport(report);
}

bool IsOwnDisable(const HistoryRecord& record) {
    return (record.kind == RecordKind::Disabled && (record.by == kByTheWatch || record.by == kByYou)) ||
           record.kind == RecordKind::DisabledFromList || record.kind == RecordKind::DisabledFromHistory;
}

}  // namespace kb
