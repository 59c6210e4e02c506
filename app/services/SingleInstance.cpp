#include "app/services/SingleInstance.h"

#include "app/services/GuardWindow.h"
#include "platform/AppTitle.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/NewerWindows.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

std::wstring ImageOf(DWORD processId) {
    const UniqueHandle process(::OpenProcess(QueryImageRights(), FALSE, processId));
    return process ? ImageOfProcess(process.get()) : std::wstring();
}

struct Search {
    std::wstring executable;
    HWND found = nullptr;

    static BOOL CALLBACK Visit(HWND window, LPARAM param) noexcept {
        try {
            return reinterpret_cast<Search*>(param)->Consider(window);
        } catch (...) {
            return TRUE;  // nothing unwinds into the system; the next window is looked at
        }
    }

    BOOL Consider(HWND window) {
        wchar_t className[64] = {};
        ::GetClassNameW(window, className, 64);
        if (std::wstring(className) != guard_window::kClassName) return TRUE;
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        if (processId == ::GetCurrentProcessId() ||
            !EqualIgnoringCase(ImageOf(processId), executable))
            return TRUE;
        DWORD_PTR status = 0;
        if (::SendMessageTimeoutW(window, guard_window::kStatusMessage, 0, 0, SMTO_ABORTIFHUNG, 1000,
                                  &status) &&
            (status & guard_window::StatusReady)) {
            found = window;
            return FALSE;
        }
        return TRUE;
    }
};

}  // namespace

HWND FindRunningKeepboot(const std::wstring& executable, DWORD waitMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        Search search{executable};
        ::EnumWindows(&Search::Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found || ::GetTickCount() - start >= waitMs) return search.found;
        ::Sleep(100);
    }
}

SessionClaim ClaimSession(const std::wstring& executable) {
    // No namespace prefix: the rule holds within one logon session. The name
    // taken only says another may run: a Keepboot of this program that
    // answers ends this start; anything else holding the name keeps nobody
    // from guarding. A guard running elevated (the logon task starts one
    // so) holds a name this process may not open: refused is taken, not free.
    SessionClaim claim{UniqueHandle(::CreateMutexW(nullptr, FALSE, kAppTitle))};
    DWORD taken = ::GetLastError();
    if (claim.name && taken == ERROR_ALREADY_EXISTS && StandardUserMode()) {
        // The stand-in for Windows: a standard user may not open the name
        // another process made, as it may not open an elevated guard's.
        claim.name.reset();
        taken = ERROR_ACCESS_DENIED;
    }
    if (taken == ERROR_ALREADY_EXISTS || (!claim.name && taken == ERROR_ACCESS_DENIED))
        claim.running = FindRunningKeepboot(executable, 5000);
    return claim;
}

}  // namespace kb
