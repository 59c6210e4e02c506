#include "app/ListPage.h"

#include <exception>

#include "app/ControlIds.h"
#include "app/services/UserMoves.h"
#include "app/ErrorReport.h"
#include "platform/Error.h"
#include "platform/ScopeExit.h"
#include "app/Texts.h"

namespace kb {

namespace {
constexpr ListColumn kColumns[] = {{IDS_COLUMN_ITEM, 120}, {IDS_COLUMN_COMMAND, 280}, {IDS_COLUMN_LOCATION, 120}};
}  // namespace

ListPage::ListPage(const PageFrame& frame, Workbench& bench) : Page(frame), bench_(bench) {
    auto& make = Children();
    ui_.list = make.Add({.kind = ControlKind::ListView, .id = IdStartupList, .x = 12, .y = 12,
                         .width = 560, .height = 266});
    ui_.unreadablePlaces = Control(make.Add({.kind = ControlKind::Label,
                                             .id = IdUnreadablePlaces,
                                             .x = 12, .y = 289, .width = 396, .height = 17}));
    // Apply before Refrush: the tab order the page always had.
    ui_.apply = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_APPLY).c_str(), .id = IdListApply,
                                  .x = 497, .y = 284, .width = 75, .height = 25},
                                 [this] { Apply(); }));
    // "Refrush" is the program's caption as its users know it, spelling and all.
    ui_.reload = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_REFRUSH).c_str(),
                                   .id = IdListReload, .x = 416, .y = 284, .width = 75, .height = 25},
                                  [this] { Reload(); }));
    ListView_SetExtendedListViewStyle(ui_.list,
                                      LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    AddListColumns(ui_.list, kColumns, make.Scale());
    list_.Attach(ui_.list);
    // Moving the machine's entries asks for administrator rights.
    ui_.apply.SetShield(!bench_.elevated);
}

void ListPage::OnNotify(NMHDR& header) {
    if (header.hwndFrom == ui_.list && header.code == LVN_COLUMNCLICK)
        list_.SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
}

void ListPage::Reload() {
    if (bench_.Busy()) {
        reloadPending_ = true;
        return;
    }
    bench_.guard.Reload();  // a reading that is not whole raises; the list stays
    ShowKnown();
}

void ListPage::ShowKnown() {
    // What the places hold, never the last run's record.
    list_.Show(bench_.guard.Listed().InListOrder());
    ReportNotices();
}

void ListPage::Apply() {
    if (bench_.Busy()) {
        applyPending_ = true;
        return;
    }
    std::exception_ptr failure;
    std::wstring report;
    try {
        report = ReportOf(MoveForUser(bench_, list_.Changed(), MoveSource::List));
    } catch (...) {
        failure = std::current_exception();
    }
    // The list shows where every entry really is, also after a pass that
    // stopped part-way.
    try {
        Reload();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
    if (!report.empty()) ShowErrorReport(report);
}

void ListPage::RunPutOffWork() {
    ScopeExit shown([this] { ShowUnreadablePlaces(); });
    // Apply reloads too: one is enough.
    if (std::exchange(applyPending_, false)) {
        reloadPending_ = false;
        Apply();
    } else if (std::exchange(reloadPending_, false)) {
        Reload();
    }
}

void ListPage::ReportNotices() {
    bench_.watcher.TellOwnFolderRefusal();
    ShowUnreadablePlaces();
    bench_.history.List().Flush();
}

void ListPage::ShowUnreadablePlaces() {
    std::wstring keys;
    for (const SkippedValue& place : bench_.guard.UnreadablePlaces())
        keys += (keys.empty() ? L"" : L"; ") + place.key;
    ui_.unreadablePlaces.SetText(keys.empty() ? keys : UiText(IDS_NOT_READ, {keys}));
}

}  // namespace kb
