#pragma once
// The settings file: five keys in the section "disable" of an INI file
// beside the program, read at start and written at exit.
#include <windows.h>

#include <string>

#include "policy/Policy.h"

namespace kb {

struct Settings {
    int startupPolicy = 0;    // "system": the startup group's item index, -1 for none
    int startPagePolicy = 0;  // "ie"
    bool selfStart = false;   // "startup"
    bool intervalUnlocked = false;  // "interval"
    int intervalSeconds = 3;  // "interval_second"
};

// The policy of an item index of a settings-page group (as the file keeps
// it): no item (-1), or one past the items, allows.
Policy PolicyOf(int itemIndex) noexcept;

// Reads the file; a key that is missing or not an integer keeps the
// default's value.
Settings ReadSettings(const std::wstring& file, const Settings& defaults);

// Writes the five keys in order; raises "Unable to write to <file>" at the
// first refused write, and the later keys are not written.
void WriteSettings(const std::wstring& file, const Settings& settings);

// The timer interval for a positive number of seconds. The timer takes at
// most USER_TIMER_MAXIMUM milliseconds (about 24.8 days); longer intervals
// are bounded to that rather than wrapping round to a short one.
UINT IntervalMilliseconds(int seconds) noexcept;

// The settings file of a program file: its extension replaced by ".ini",
// or ".ini" appended when its name has none.
std::wstring SettingsFileFor(const std::wstring& executable);

// Where the settings are read from and written to. Beside the program when
// this process may write there: a guard with administrator rights in
// Program Files, where the user's other programs may not change its policy,
// or a copy in a folder of the user's own. Otherwise the user's own file,
// %APPDATA%\Keepboot\Keepboot.ini, read once it exists (until then the one
// beside the program gives the start).
struct SettingsFiles {
    std::wstring read, write;
};
SettingsFiles ChooseSettingsFiles(const std::wstring& executable);

}  // namespace kb
