// The main window's frame: hiding to the notification area, coming back,
// starting the watch, quitting, and the product web site.
#include <windows.h>
#include <shellapi.h>

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

void TDisableForm::OnlineButtonClick() {
    ::ShellExecuteW(Handle(), L"open", kProductUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kb
