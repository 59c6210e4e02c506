#pragma once
// A call to a system service (the Task Scheduler, the service control
// manager, the event log) made on a thread of its own and waited for at most
// a time limit: a service that hangs never holds the caller past it. A call
// that did not answer in time is left to end alone, owning what it uses; until
// it does, later calls to that service fail at once rather than pile up.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

namespace kb {

enum class SystemService : int { TaskScheduler, ServiceManager, EventLog };

// How long a caller waits for each: the scheduler's first call may start
// its service; the manager answers from memory.
constexpr DWORD AnswerLimitMs(SystemService service) {
    return service == SystemService::TaskScheduler ? 10000 : 5000;
}

// Runs call (with COM on its thread) and waits at most the service's limit.
// False when it did not answer in time, or an earlier call to it still has
// not; an exception the call raised is raised here. The call must own all it
// touches: it may run on after this returns.
bool CallService(SystemService service, std::function<void()> call);

// A call's answer; none where the service did not answer in time.
template <typename Answer>
std::optional<Answer> AskService(SystemService service, std::function<Answer()> ask) {
    const auto answer = std::make_shared<std::optional<Answer>>();
    if (!CallService(service, [answer, ask = std::move(ask)] { *answer = ask(); })) return std::nullopt;
    return std::move(*answer);
}

// Whether a call to the service has been left waiting and not ended yet.
bool ServiceSilent(SystemService service) noexcept;

}  // namespace kb
