#pragma once
#include "app/Window.h"

namespace kb {

// A tab page: a plain child of the page control that passes its
// children's notifications on to the main window.
class TabPage : public WindowBase {
public:
    static constexpr wchar_t kClassName[] = L"KeepbootTabPage";

    TabPage(HWND parent, HWND form, const RECT& area) : form_(form) {
        CreateOf({kClassName, nullptr, ::GetSysColorBrush(COLOR_BTNFACE)},
                 {.style = WS_CHILD | WS_CLIPSIBLINGS,
                  .exStyle = WS_EX_CONTROLPARENT,
                  .x = area.left,
                  .y = area.top,
                  .width = area.right - area.left,
                  .height = area.bottom - area.top,
                  .parent = parent});
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
            return ::SendMessageW(form_, message, wParam, lParam);
        default:
            return Default(message, wParam, lParam);
        }
    }

private:
    HWND form_;
};

}  // namespace kb
