#include "app/services/SingleInstance.h"

#include "app/services/GuardWindow.h"
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

}  // namespace kb
