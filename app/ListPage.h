#pragma once
// The list page: every known entry, checked when it is enabled; Apply
// moves the entries whose check box was changed.
#include "app/Page.h"
#include "app/StartupList.h"
#include "app/services/Workbench.h"

namespace kb {

class ListPage : public Page {
public:
    ListPage(const PageFrame& frame, Workbench& bench);

    // Reads every place and the store again and shows them; during a check
    // it waits for the check's end.
    void Reload();
    // Moves each entry whose check box was changed, then reloads.
    void Apply();
    // Shows what the guard knows now, and tells what it found.
    void ShowKnown();
    // One entry more at the end, shown checked: the user allowed it.
    void Append(const StartupEntry& entry) { list_.Append(entry); }
    // Tells what the guard found since the last report as notices, and
    // shows which places could not be read.
    void ReportNotices();
    // After a check: the Apply or reload asked for while it ran.
    void RunPutOffWork();

    struct Ui {
        HWND list = nullptr;
        Control unreadablePlaces, reload, apply;
    };
    const Ui& Controls() const noexcept { return ui_; }

protected:
    // A click on a column's header sorts by it.
    void OnNotify(NMHDR& header) override;

private:
    void ShowUnreadablePlaces();

    Workbench& bench_;
    StartupList list_;
    Ui ui_;
    bool reloadPending_ = false;  // a reload asked for during a check
    bool applyPending_ = false;   // the same for Apply
};

}  // namespace kb
