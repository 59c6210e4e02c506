#pragma once
// A window timer with an interval and an enabled state, like a component:
// a new interval restarts a running countdown, setting the same one or
// enabling an enabled timer changes nothing.
#include <windows.h>

namespace kb {

class WindowTimer {
public:
    WindowTimer(HWND window, UINT_PTR id) noexcept : window_(window), id_(id) {}
    ~WindowTimer() { Stop(); }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;

    UINT Interval() const noexcept { return interval_; }
    bool Enabled() const noexcept { return enabled_; }
    void SetInterval(UINT milliseconds);
    void SetEnabled(bool enabled);
    // Disables the timer; never raises.
    void Stop() noexcept;

private:
    void Start();

    HWND window_;
    UINT_PTR id_;
    UINT interval_ = 3000;
    bool enabled_ = false;
};

}  // namespace kb
