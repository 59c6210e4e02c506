#pragma once
// The one way this thread handles its messages, wherever it waits: the
// main loop (beside the watch's change notifications), a long check's
// breaths, the prompt's answer, an elevated instance's end.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace kb {

// What a message goes through before it is dispatched (a window's keys):
// true when that handled it.
using MessageFilter = std::function<bool(MSG& msg)>;

// Dispatches every message waiting on this thread. The exit code once
// WM_QUIT came: the caller ends its loop, or posts it again for the one
// outside it.
std::optional<int> DispatchWaitingMessages(const MessageFilter& filter = {});

// Waits for a message or one of the handles (the first
// MAXIMUM_WAIT_OBJECTS - 1 of them): which handle was signalled, none for a
// message. Raises when the wait fails.
std::optional<std::size_t> WaitForMessageOr(const std::vector<HANDLE>& handles);

// Handles messages until done() says so, or the handle is signalled. False
// when WM_QUIT came first; it is posted again for the loop outside.
bool PumpUntil(const std::function<bool()>& done, const MessageFilter& filter = {},
               HANDLE handle = nullptr);

}  // namespace kb
