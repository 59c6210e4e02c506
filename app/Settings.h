#pragma once
#include <windows.h>

#include <string>

namespace kb {

// The timer interval for a positive number of seconds. The timer takes at
// most USER_TIMER_MAXIMUM milliseconds (about 24.8 days); longer intervals
// are bounded to that rather than wrapping round to a short one.
UINT IntervalMilliseconds(int seconds) noexcept;

// The settings file of a program file: its extension replaced by ".ini",
// or ".ini" appended when its name has none.
std::wstring SettingsFileFor(const std::wstring& executable);

}  // namespace kb
