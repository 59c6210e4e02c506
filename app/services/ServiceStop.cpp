#include "app/services/ServiceStop.h"

#include <objbase.h>

#include <utility>

#include "app/services/Elevation.h"
#include "kinds/Services.h"

namespace kb {

struct ServiceStopper::Box {
    Box() { ::InitializeCriticalSection(&lock); }
    ~Box() { ::DeleteCriticalSection(&lock); }
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    void Put(ServiceStopped outcome) {
        ::EnterCriticalSection(&lock);
        try {
            outcomes.push_back(std::move(outcome));
        } catch (...) {
        }
        ::LeaveCriticalSection(&lock);
    }
    std::vector<ServiceStopped> Take() {
        ::EnterCriticalSection(&lock);
        std::vector<ServiceStopped> taken = std::exchange(outcomes, {});
        ::LeaveCriticalSection(&lock);
        return taken;
    }

    CRITICAL_SECTION lock;
    std::vector<ServiceStopped> outcomes;
};

namespace {

struct StopJob {
    HWND window;
    UINT message;
    std::wstring executable, name;
    bool elevated;
    std::shared_ptr<ServiceStopper::Box> box;
};

DWORD WINAPI RunStop(void* context) noexcept {
    const std::unique_ptr<StopJob> job(static_cast<StopJob*>(context));
    try {
        if (!DisabledHere(job->name)) return 0;
        DWORD error = ERROR_SUCCESS;
        if (job->elevated) {
            error = StopServiceDisabledHere(job->name);
        } else {
            // The shell's consent to the rights wants an apartment of its own.
            const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            error = StopServiceElevated(job->window, job->executable, job->name);
            if (SUCCEEDED(com)) ::CoUninitialize();
        }
        job->box->Put({job->name, error});
        ::PostMessageW(job->window, job->message, 0, 0);
    } catch (...) {
        // Out of memory: nothing more can be said from here.
    }
    return 0;
}

}  // namespace

ServiceStopper::ServiceStopper(HWND window, UINT message, std::wstring executable, bool elevated)
    : window_(window), message_(message), executable_(std::move(executable)), elevated_(elevated),
      box_(std::make_shared<Box>()) {}

bool ServiceStopper::Stop(const std::wstring& name) {
    auto job = std::make_unique<StopJob>(StopJob{window_, message_, executable_, name, elevated_, box_});
    const HANDLE thread =
        ::CreateThread(nullptr, 64 * 1024, &RunStop, job.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return false;
    job.release();
    ::CloseHandle(thread);
    return true;
}

std::vector<ServiceStopped> ServiceStopper::Take() {
    return box_->Take();
}

}  // namespace kb
