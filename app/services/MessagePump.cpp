#include "app/services/MessagePump.h"

#include <algorithm>

#include "platform/Error.h"

namespace kb {

std::optional<int> DispatchWaitingMessages(const MessageFilter& filter) {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
        if (filter && filter(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return std::nullopt;
}

std::optional<std::size_t> WaitForMessageOr(const std::vector<HANDLE>& handles) {
    const DWORD count =
        static_cast<DWORD>(std::min<std::size_t>(handles.size(), MAXIMUM_WAIT_OBJECTS - 1));
    // Input already seen by a peek counts too: nothing waiting is slept over.
    // Alertable: the service manager's words come as calls queued to this
    // thread, run within the wait, which then ends as a message would.
    const DWORD woke = ::MsgWaitForMultipleObjectsEx(count, handles.data(), INFINITE, QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE | MWMO_ALERTABLE);
    if (woke < WAIT_OBJECT_0 + count) return woke - WAIT_OBJECT_0;
    if (woke == WAIT_OBJECT_0 + count || woke == WAIT_IO_COMPLETION) return std::nullopt;
    const HRESULT failure = HRESULT_FROM_WIN32(::GetLastError());
    throw OleError(failure);
}

bool PumpUntil(const std::function<bool()>& done, const MessageFilter& filter, HANDLE handle) {
    std::vector<HANDLE> handles;
    if (handle) handles.push_back(handle);
    while (!done || !done()) {
        if (WaitForMessageOr(handles)) return true;
        if (const std::optional<int> quit = DispatchWaitingMessages(filter)) {
            ::PostQuitMessage(*quit);
            return false;
        }
    }
    return true;
}

}  // namespace kb
