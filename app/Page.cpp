#include "app/Page.h"

namespace kb {

namespace {

RECT DisplayArea(HWND tabs) {
    RECT area;
    ::GetClientRect(tabs, &area);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    return area;
}

}  // namespace

Page::Page(const PageFrame& frame) : controls_(nullptr, frame.scale, frame.font) {
    const RECT area = DisplayArea(frame.tabs);
    CreateOf({kClassName, nullptr, ::GetSysColorBrush(COLOR_BTNFACE)},
             {.style = WS_CHILD | WS_CLIPSIBLINGS,
              .exStyle = WS_EX_CONTROLPARENT,
              .x = area.left,
              .y = area.top,
              .width = area.right - area.left,
              .height = area.bottom - area.top,
              .parent = frame.tabs});
    controls_ = ControlSet(Handle(), frame.scale, frame.font);
}

void Page::Relayout(const PageFrame& frame) {
    const RECT area = DisplayArea(frame.tabs);
    ::SetWindowPos(Handle(), nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    controls_.Relayout(frame.scale, frame.font);
}

void Page::OnNotify(NMHDR&) {}

void Page::OnEdited(HWND) {}

LRESULT Page::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) controls_.Click(reinterpret_cast<HWND>(lParam));
        if (HIWORD(wParam) == EN_CHANGE) OnEdited(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        OnNotify(*reinterpret_cast<NMHDR*>(lParam));
        return 0;
    default:
        return Default(message, wParam, lParam);
    }
}

}  // namespace kb
