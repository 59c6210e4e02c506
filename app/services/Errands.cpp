#include "app/services/Errands.h"

#include <objbase.h>

#include <exception>
#include <utility>
#include <vector>

#include "platform/Handle.h"

namespace kb {

struct Errands::Box {
    Box() { ::InitializeCriticalSection(&lock); }
    ~Box() { ::DeleteCriticalSection(&lock); }
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    void Begin() {
        ::EnterCriticalSection(&lock);
        if (running++ == 0) ::ResetEvent(idle.get());
        ::LeaveCriticalSection(&lock);
    }
    // An errand ended with this reply.
    void End(Reply reply) noexcept {
        ::EnterCriticalSection(&lock);
        try {
            replies.push_back(std::move(reply));
        } catch (...) {
            // Out of memory: that reply is lost, the others are not.
        }
        if (--running == 0) ::SetEvent(idle.get());
        ::LeaveCriticalSection(&lock);
    }
    std::vector<Reply> Take() {
        ::EnterCriticalSection(&lock);
        std::vector<Reply> taken = std::exchange(replies, {});
        ::LeaveCriticalSection(&lock);
        return taken;
    }

    CRITICAL_SECTION lock;
    std::vector<Reply> replies;
    unsigned running = 0;
    // Set while no errand runs.
    UniqueHandle idle{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
};

namespace {

struct Job {
    HWND window;
    UINT message;
    std::function<Errands::Reply()> errand;
    std::shared_ptr<Errands::Box> box;
};

DWORD WINAPI RunErrand(void* context) noexcept {
    const std::unique_ptr<Job> job(static_cast<Job*>(context));
    // The shell's consent to the rights wants an apartment of its own.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Errands::Reply reply;
    try {
        reply = job->errand();
    } catch (...) {
        try {
            reply = [failure = std::current_exception()] { std::rethrow_exception(failure); };
        } catch (...) {
        }
    }
    // Its captures go on this thread, in this apartment.
    job->errand = nullptr;
    if (SUCCEEDED(com)) ::CoUninitialize();
    job->box->End(std::move(reply));
    ::PostMessageW(job->window, job->message, 0, 0);
    return 0;
}

}  // namespace

Errands::Errands(HWND window, UINT message) : window_(window), message_(message), box_(std::make_shared<Box>()) {}

Errands::~Errands() {
    box_->Take();
}

bool Errands::Send(std::function<Reply()> errand) {
    auto job = std::make_unique<Job>(Job{window_, message_, std::move(errand), box_});
    box_->Begin();
    const HANDLE thread =
        ::CreateThread(nullptr, 256 * 1024, &RunErrand, job.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        box_->End(nullptr);
        return false;
    }
    job.release();
    ::CloseHandle(thread);
    return true;
}

void Errands::RunReplies() {
    std::exception_ptr first;
    for (Reply& reply : box_->Take()) {
        if (!reply) continue;
        try {
            reply();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

bool Errands::Busy() const noexcept {
    ::EnterCriticalSection(&box_->lock);
    const bool busy = box_->running > 0 || !box_->replies.empty();
    ::LeaveCriticalSection(&box_->lock);
    return busy;
}

void Errands::Finish(DWORD limitMs) const noexcept {
    ::WaitForSingleObject(box_->idle.get(), limitMs);
}

}  // namespace kb
