// Settings file and self-start.
#include "app/Settings.h"

#include "app/DisableForm.h"

namespace kb {

UINT IntervalMilliseconds(int seconds) noexcept {
    const unsigned long long milliseconds = static_cast<unsigned long long>(seconds) * 1000u;
    return milliseconds > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM
                                             : static_cast<UINT>(milliseconds);
}

void TDisableForm::LoadSettings() {}

void TDisableForm::SaveSettings() {}

void TDisableForm::IntervalCheckBoxClick() {
    const bool ticked = ::SendMessageW(IntervalCheckBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
    // A disabled edit box draws on the button face, an enabled one on the window colour.
    ::EnableWindow(IntervalEdit, ticked);
    ::InvalidateRect(IntervalEdit, nullptr, TRUE);
}

void TDisableForm::StartupCheckBoxClick() {
    if (!FormReady) return;
}

}  // namespace kb
