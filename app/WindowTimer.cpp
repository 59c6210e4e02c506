#include "app/WindowTimer.h"

#include "platform/Error.h"
#include "platform/Faults.h"
#include "app/Texts.h"

namespace kb {

void WindowTimer::SetInterval(UINT milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    if (enabled_) Start();
}

void WindowTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    if (!enabled) return Stop();
    Start();
    enabled_ = true;
}

void WindowTimer::Start() {
    if (interval_ == 0) return;  // a zero interval never fires
    const bool set = !InjectFault(FaultPoint::TimerSet) && ::SetTimer(window_, id_, interval_, nullptr);
    if (!set) {
        const DWORD code = ::GetLastError();
        enabled_ = false;
        throw Error(UiText(IDS_NO_TIMER), code);
    }
}

void WindowTimer::Stop() noexcept {
    if (window_) ::KillTimer(window_, id_);
    enabled_ = false;
}

}  // namespace kb
