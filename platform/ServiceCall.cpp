#include "platform/ServiceCall.h"

#include <objbase.h>

#include <exception>

#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Handle.h"

namespace kb {

namespace {

// Calls left waiting, by service: one that has not ended makes the service
// silent until it does.
volatile LONG late[3] = {};

struct Call {
    SystemService service;
    std::function<void()> work;
    std::exception_ptr failure;
    UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Running, ended, or given up by its caller: whichever comes first.
    enum : LONG { Running, Ended, GivenUp };
    volatile LONG state = Running;
};

DWORD WINAPI RunCall(void* context) noexcept {
    const std::unique_ptr<std::shared_ptr<Call>> held(static_cast<std::shared_ptr<Call>*>(context));
    Call& call = **held;
    WaitWhileServiceSilent(call.service);
    // The scheduler's client is COM; a thread of the free apartment needs
    // no message loop, which this thread has not.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
        call.work();
    } catch (...) {
        call.failure = std::current_exception();
    }
    // Its captures go here, not wherever the last reference happens to fall.
    call.work = nullptr;
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (::InterlockedCompareExchange(&call.state, Call::Ended, Call::Running) == Call::GivenUp)
        ::InterlockedDecrement(&late[static_cast<int>(call.service)]);
    ::SetEvent(call.done.get());
    return 0;
}

}  // namespace

bool ServiceSilent(SystemService service) noexcept {
    return late[static_cast<int>(service)] > 0;
}

bool CallService(SystemService service, std::function<void()> work) {
    if (ServiceSilent(service)) return false;
    auto call = std::make_shared<Call>();
    call->service = service;
    call->work = std::move(work);
    if (!call->done) throw Error(L"CreateEvent", ::GetLastError());
    auto context = std::make_unique<std::shared_ptr<Call>>(call);
    // A small reserve: COM's and the services' clients need little stack.
    const UniqueHandle thread(
        ::CreateThread(nullptr, 256 * 1024, &RunCall, context.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) throw Error(L"CreateThread", ::GetLastError());
    context.release();
    if (::WaitForSingleObject(call->done.get(), AnswerLimitMs(service)) != WAIT_OBJECT_0 &&
        ::InterlockedCompareExchange(&call->state, Call::GivenUp, Call::Running) == Call::Running) {
        ::InterlockedIncrement(&late[static_cast<int>(service)]);
        return false;
    }
    ::WaitForSingleObject(call->done.get(), INFINITE);
    if (call->failure) std::rethrow_exception(call->failure);
    return true;
}

}  // namespace kb
