#pragma once
// The start-page page: the four values in their boxes; what they read or
// were set to is what the watch defends.
#include <array>
#include <functional>

#include "app/Page.h"
#include "startpage/StartPages.h"
#include "watch/Watcher.h"

namespace kb {

class StartPagesPage : public Page {
public:
    StartPagesPage(const PageFrame& frame, Watcher& watcher);

    // Reads the four values into their boxes; a box whose value could not
    // be read stays empty and is not defended. While a value's question
    // waits, or a check runs, right after it: the live value is the one
    // asked about, not the user's to defend yet.
    void Reload();
    // Whether a question about a single value waits for its answer.
    void SetAsking(std::function<bool()> asking) { asking_ = std::move(asking); }
    // Shows what the last run defended, and defends it; false when nothing
    // was kept.
    bool ShowDefended();
    // Writes all four boxes; reports the values that could not be written.
    void Write();
    // The user allowed this text for the value: the box shows it.
    void Accept(std::size_t page, const std::wstring& text) { SetBox(page, text); }
    // After a check: the reload asked for while it ran. A value whose
    // question was answered Cancel stays what the box defends: the change
    // it was asked about is not taken for the user's.
    void RunPutOffWork();

    struct Ui {
        std::array<Control, kStartPageCount> labels, edits;
        Control reload, apply;
    };
    const Ui& Controls() const noexcept { return ui_; }

protected:
    // What the user types is what is defended, applied or not.
    void OnEdited(HWND edit) override;

private:
    // Shows the text; the box's change is the page's own, not typing.
    void SetBox(std::size_t page, const std::wstring& text);
    void ReadIntoBoxes(bool keepLeftAsIs);
    std::function<bool()> asking_;

    Watcher& watcher_;
    Ui ui_;
    bool reloadPending_ = false;  // a reload asked for during a check
    bool settingBoxes_ = false;   // the page itself changes a box's text
};

}  // namespace kb
