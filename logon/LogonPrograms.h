#pragma once
// What a single logon value makes Windows run, and Windows' own value of
// it: a value put back must never name a program that is not there (the
// user could not log on), and a value repaired to Windows' own is never
// undone.
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "places/Entries.h"

namespace kb {

struct LogonValue;

// How a value names what it runs.
enum class LogonValueForm {
    Commands,   // command lines, separated by commas (Userinit, Shell, ...)
    CmdLine,    // one line for the command processor, its commands joined by & && || |
    Libraries,  // library names or paths, separated by blanks or commas
    Number,     // a switch: names nothing
};

// The programs or libraries the value names, as written (quotes and
// arguments removed), in its order; none for a switch or no value.
std::vector<std::wstring> ProgramsNamedBy(const LogonValue& value, const ValueState& state);

// Those of them that are not there: a path looked for as it stands
// (environment variables expanded, ".exe" tried where it has no
// extension), a bare name in the Windows, system and search folders. The
// system folder is that of the value's own view: a 64-bit Winlogon's
// programs are looked for in the 64-bit one.
std::vector<std::wstring> MissingPrograms(const LogonValue& value, const ValueState& state);

// Windows' own state of the value: no value, or its text or number.
ValueState WindowsDefaultOf(const LogonValue& value);
// Whether the state is Windows' own (text compared ignoring case and
// environment variables; no value and an empty text alike where Windows
// sets none).
bool IsWindowsDefault(const LogonValue& value, const ValueState& state);

// What the state has that Windows' own has not, worded where it is shown.
struct LogonDifference {
    enum class Kind {
        Number,             // number (none: not a number), where Windows' own is ownNumber
        NumberNotWindows,   // number, which Windows does not set
        Starts,             // programs, which Windows' own does not start
        StartsBesidesOwn,   // programs, besides Windows' own
        Holds,              // text (none: not text), which Windows does not set
        HoldsInsteadOfOwn,  // text instead of Windows' own ownText
    };
    // Each member has its default, so a difference names only what it uses.
    Kind kind = Kind::Holds;
    std::optional<DWORD> number = {};
    DWORD ownNumber = 0;
    std::vector<std::wstring> programs = {};
    std::optional<std::wstring> text = {};
    std::wstring ownText = {};
};
LogonDifference HowItDiffers(const LogonValue& value, const ValueState& state);

}  // namespace kb
