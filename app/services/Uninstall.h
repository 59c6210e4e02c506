#pragma once
// What removing the program leaves Windows with.
//
// Keepboot.exe -handback: what Keepboot disabled into the store goes back
// to Windows' own switches where they can say it (guard/HandBack.h), each
// outcome recorded in the history and the Windows event log, which outlives
// the program; what stays stored is said with how to get it back. The
// uninstaller runs it as the uninstalling user; "-handback machine" hands
// back only the machine's places.
//
// Keepboot.exe -uninstall: what the uninstaller runs as the system: every
// user's logon task goes, and the machine's places are handed back.
#include <string>
#include <vector>

namespace kb {

inline constexpr wchar_t kHandBackArgument[] = L"-handback";
inline constexpr wchar_t kHandBackMachineOnly[] = L"machine";
inline constexpr wchar_t kUninstallArgument[] = L"-uninstall";

// The number of entries left stored.
int RunHandBack(const std::vector<std::wstring>& arguments) noexcept;
// Acts only as the system (or under Wine, which has no system account), as
// "-selfstart off" does: 0, or 3 for anyone else.
int RunUninstall() noexcept;

}  // namespace kb
