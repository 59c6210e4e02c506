#pragma once
// A page of the main window's page control: a plain child window that
// makes its own controls and runs their handlers.
#include <windows.h>
#include <commctrl.h>

#include "app/Controls.h"
#include "app/Window.h"

namespace kb {

// Where a page is made and how its controls look.
struct PageFrame {
    HWND tabs;  // the page control; a page fills its display area
    const DpiScale& scale;
    HFONT font;
};

class Page : public WindowBase {
public:
    static constexpr wchar_t kClassName[] = L"KeepbootTabPage";

    explicit Page(const PageFrame& frame);
    void Show(bool shown) const { ::ShowWindow(Handle(), shown ? SW_SHOW : SW_HIDE); }
    // Fills the page control's display area again, its controls laid out
    // at the frame's scale and in its font.
    void Relayout(const PageFrame& frame);

protected:
    // The page's controls, made on it with their handlers.
    ControlSet& Children() noexcept { return controls_; }
    const ControlSet& Children() const noexcept { return controls_; }
    // A notification from one of the page's controls.
    virtual void OnNotify(NMHDR& header);
    // The text of one of the page's edit boxes changed.
    virtual void OnEdited(HWND edit);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    ControlSet controls_;
};

}  // namespace kb
