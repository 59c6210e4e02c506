#pragma once
// The start-page page: the four values in their boxes; what they read or
// were set to is what the watch defends.
#include <array>

#include "app/Page.h"
#include "startpage/StartPages.h"
#include "watch/Watcher.h"

namespace kb {

class StartPagesPage : public Page {
public:
    StartPagesPage(const PageFrame& frame, Watcher& watcher);

    // Reads the four values into their boxes; a box whose value could not
    // be read stays empty and is not defended.
    void Reload();
    // Writes all four boxes; reports the values that could not be written.
    void Write();
    // The user allowed this text for the value: the box shows it.
    void Accept(std::size_t page, const std::wstring& text) { ui_.edits[page].SetText(text); }
    // After a check: the reload asked for while it ran.
    void RunPutOffWork();

    struct Ui {
        std::array<Control, kStartPageCount> labels, edits;
        Control reload, apply;
    };
    const Ui& Controls() const noexcept { return ui_; }

private:
    Watcher& watcher_;
    Ui ui_;
    bool reloadPending_ = false;  // a reload asked for during a check
};

}  // namespace kb
