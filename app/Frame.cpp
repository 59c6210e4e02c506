// The main window's frame: hiding to the notification area, coming back,
// starting the watch, quitting, and the product web site.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include "app/DisableForm.h"
#include "app/ProductSite.h"
#include "app/Settings.h"
#include "platform/IntText.h"

namespace kb {

// Every way of minimising comes here, so a minimised window is also hidden.
void TDisableForm::MinimizeApp() {
    ::ShowWindow(Handle(), SW_MINIMIZE);
    AppMinimize();
}

void TDisableForm::AppMinimize() {
    if (const HWND focus = ::GetFocus(); focus && ::IsChild(Handle(), focus)) lastFocus_ = focus;
    ::ShowWindow(Handle(), SW_HIDE);
}

void TDisableForm::TrayIconClick() {
    ::ShowWindow(Handle(), SW_SHOW);
    if (::IsIconic(Handle())) ::ShowWindow(Handle(), SW_RESTORE);
    ::SetActiveWindow(Handle());
    FocusLastControl();
    // Above every window, also other programs', then back into the normal band.
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TDisableForm::CloseButtonClick() {
    MinimizeApp();
}

void TDisableForm::StopButtonClick() {
    ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TDisableForm::StartButtonClick() {
    if (::IsWindowEnabled(IntervalEdit)) {
        const int seconds =
            StrToIntDef(WindowText(IntervalEdit), static_cast<int>(Timer().Interval() / 1000));
        ::SetWindowTextW(IntervalEdit, std::to_wstring(seconds).c_str());
        if (seconds > 0) Timer().SetInterval(IntervalMilliseconds(seconds));
    }
    RefrushButtonClick();
    Timer().SetEnabled(true);
    MinimizeApp();
}

bool TDisableForm::PreTranslateMessage(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !(::GetKeyState(VK_CONTROL) & 0x8000))
        return false;
    if (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)) return false;
    const int pages = TabCtrl_GetItemCount(PageControl);
    const int step = (::GetKeyState(VK_SHIFT) & 0x8000) ? pages - 1 : 1;
    ShowPage((TabCtrl_GetCurSel(PageControl) + step) % pages);
    return true;
}

void TDisableForm::OnlineButtonClick() {
    ::ShellExecuteW(Handle(), L"open", kProductUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kb
