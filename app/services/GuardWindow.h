#pragma once
// How another process finds the running guard's window and talks to it:
// a second start, the instance with administrator rights, the tests.
#include <windows.h>

namespace kb::guard_window {

inline constexpr wchar_t kClassName[] = L"TDisableForm";
// Answers a mask of the status bits: whether the window is ready, the
// watch runs and the notification-area icon is shown.
inline constexpr UINT kStatusMessage = WM_APP + 2;
inline constexpr LRESULT StatusReady = 1, StatusWatching = 2, StatusTrayIcon = 4;
// Brings the window forward: a second start by hand asks for it.
inline constexpr UINT kShowMessage = WM_APP + 4;
// An instance started for moves with rights was not asked by this guard.
inline constexpr UINT kForeignRequestMessage = WM_APP + 6;

}  // namespace kb::guard_window
