#pragma once
// The history page: every record, newest first; Enable brings back the
// entry a recorded disable put into the store.
#include <optional>

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

    // Enables the entry of the selected record; during a check or another
    // move, right after it.
    void EnableSelected();
    // After a check or a move: the Enable asked for while it ran.
    void RunPutOffWork();

    struct Ui {
        HWND list = nullptr;
        Control enable;
    };
    const Ui& Controls() const noexcept { return ui_; }

protected:
    void OnNotify(NMHDR& header) override;

private:
    void Enable(const HistoryRecord& record);

    Workbench& bench_;
    ListPage& listPage_;
    Ui ui_;
    // The record whose Enable was asked for during a check, as it was chosen.
    std::optional<HistoryRecord> enablePending_;
};

}  // namespace kb
