// The C++ runtime's thread library imports GetTickCount64, which Windows XP
// lacks: the loader would refuse the whole program there. This file, linked
// into the program itself, stands in for that import: it resolves the
// function at run time and counts on from GetTickCount where it is missing.
#include <windows.h>

#include "platform/SystemFunction.h"

namespace {

ULONGLONG WINAPI TickCount64() {
    using Function = ULONGLONG(WINAPI*)();
    static const Function newer = kb::SystemFunction<Function>(L"kernel32.dll", "GetTickCount64");
    if (newer) return newer();
    // GetTickCount wraps every 49.7 days: each wrap seen adds 2^32.
    static volatile LONG lock = 0;
    static DWORD last = 0;
    static ULONGLONG wraps = 0;
    while (::InterlockedExchange(&lock, 1) != 0) ::Sleep(0);
    const DWORD now = ::GetTickCount();
    if (now < last) wraps += 0x100000000ULL;
    last = now;
    const ULONGLONG ticks = wraps + now;
    ::InterlockedExchange(&lock, 0);
    return ticks;
}

}  // namespace

// The import slot the runtime's code calls through, filled here instead of
// by the loader.
extern "C" {
ULONGLONG(WINAPI* kbTickCount64Import)() __asm__("__imp__GetTickCount64@0") = &TickCount64;
}
