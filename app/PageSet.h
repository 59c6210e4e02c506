#pragma once
// The page control and its four pages: made in tab order, one shown at a
// time, turned by Ctrl+Tab, and laid out again at another DPI.
#include <windows.h>

#include <functional>
#include <memory>

#include "app/HistoryPage.h"
#include "app/ListPage.h"
#include "app/Page.h"
#include "app/SettingsPage.h"
#include "app/StartPagesPage.h"

namespace kb {

class PageSet {
public:
    // What the pages work with.
    struct Needs {
        SettingsPage::Actions settings;
        bool canElevate = false;  // restarting with the rights is offered
        Workbench* bench = nullptr;
        Watcher* watcher = nullptr;
        // Whether a question about a single value waits: the start pages' reload waits for it.
        std::function<bool()> askingAboutAValue = {};
    };
    // tabs: the page control, made by the window among its own controls.
    PageSet(HWND tabs, const DpiScale& scale, HFONT font, Needs needs);

    SettingsPage& Settings() noexcept { return *settings_; }
    const SettingsPage& Settings() const noexcept { return *settings_; }
    ListPage& List() noexcept { return *list_; }
    StartPagesPage& StartPages() noexcept { return *startPages_; }
    HistoryPage& History() noexcept { return *history_; }
    HWND Tabs() const noexcept { return tabs_; }

    // Shows the page of that index (0: settings, 3: history), the others hidden.
    void Show(int index);
    // The page control's notification: another tab was chosen.
    void OnNotify(const NMHDR& header);
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, for a message to the
    // window or one of its controls. True when the message was used.
    bool Turn(HWND window, const MSG& msg);
    void Relayout(const DpiScale& scale, HFONT font);

private:
    HWND tabs_;
    std::unique_ptr<SettingsPage> settings_;
    std::unique_ptr<ListPage> list_;
    std::unique_ptr<StartPagesPage> startPages_;
    std::unique_ptr<HistoryPage> history_;
};

}  // namespace kb
