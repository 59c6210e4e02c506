#pragma once
// The history page: every record, newest first; Enable brings back the
// entry a recorded disable put into the store.
#include "app/ListPage.h"
#include "app/Page.h"
#include "app/services/Workbench.h"

namespace kb {

// Whether the record is of a disable this program made: by the watch, or
// for the user from the list or the history.
bool IsOwnDisable(const HistoryRecord& record);

class HistoryPage : public Page {
public:
    // The list page shows where the entry is afterwards.
    HistoryPage(const PageFrame& frame, Workbench& bench, ListPage& listPage);

    // Enables the entry of the selected record.
    void EnableSelected();

    struct Ui {
        HWND list = nullptr;
        Control enable;
    };
    const Ui& Controls() const noexcept { return ui_; }

protected:
    void OnNotify(NMHDR& header) override;

private:
    Workbench& bench_;
    ListPage& listPage_;
    Ui ui_;
};

}  // namespace kb
