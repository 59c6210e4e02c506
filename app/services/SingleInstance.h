#pragma once
// One Keepboot per logon session. The named mutex only says that one may
// run; what says one does is its main window, in a process started from
// the same program file, answering that it is ready. A name held by
// anything else (one line of code in any program of the user) keeps nobody
// from guarding.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace kb {

// This start's claim to guard the logon session.
struct SessionClaim {
    UniqueHandle name;       // held while this start guards
    HWND running = nullptr;  // a guard of this program that answers: it guards, not this start
};
SessionClaim ClaimSession(const std::wstring& executable);

// The main window of a running Keepboot of that program file, once it
// answers; waits up to the time given for one that is still starting.
// Null when none answers.
HWND FindRunningKeepboot(const std::wstring& executable, DWORD waitMs);

}  // namespace kb
