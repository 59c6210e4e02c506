#include "platform/ServiceCreations.h"

#include <memory>
#include <utility>

#include "platform/ServiceCall.h"
#include "platform/SystemFunction.h"

namespace kb {

// The version-2 layout (SERVICE_NOTIFY_2W), as MinGW names it.
struct ServiceCreations::Notice {
    SERVICE_NOTIFYW notify{};
    UniqueHandle event;
    DWORD thread = 0;       // the one that asks, where the words come
    bool asked = false;     // a word is asked for and has not come
    bool orphaned = false;  // its owner went: the word frees it
};

namespace {

using Notify = DWORD(WINAPI*)(SC_HANDLE, DWORD, PSERVICE_NOTIFYW);
// ERROR_SERVICE_NOTIFY_CLIENT_LAGGING, which MinGW's headers lack.
constexpr DWORD kClientLagging = 1294;

Notify NotifyFunction() {
    static const Notify notify =
        SystemFunction<Notify>(L"advapi32.dll", "NotifyServiceStatusChangeW");
    return notify;
}

// Runs on the thread that asked, in its alertable wait: brief, and raising
// nothing.
VOID CALLBACK WordCame(PVOID parameter) {
    auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
    auto* notice = static_cast<ServiceCreations::Notice*>(notify->pContext);
    // The names are the manager's allocation, ours to free.
    if (notify->pszServiceNames) ::LocalFree(notify->pszServiceNames);
    notify->pszServiceNames = nullptr;
    notice->asked = false;
    if (notice->orphaned) {
        delete notice;
        return;
    }
    // Any word, a failure's too: the reading that follows finds what is new.
    ::SetEvent(notice->event.get());
}

// Opened within the manager's time limit, off the asking thread: a manager
// that does not answer holds no watch. A handle that comes too late is
// closed where it comes.
UniqueService OpenManager() {
    const auto opened = std::make_shared<UniqueService>();
    try {
        if (!CallService(SystemService::ServiceManager, [opened] {
                opened->reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
            }))
            return {};
    } catch (...) {
        return {};
    }
    return std::move(*opened);
}

}  // namespace

std::unique_ptr<ServiceCreations> ServiceCreations::Make() {
    if (!NotifyFunction()) return nullptr;
    UniqueService manager = OpenManager();
    if (!manager) return nullptr;
    auto notice = std::make_unique<Notice>();
    notice->event.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!notice->event) return nullptr;
    std::unique_ptr<ServiceCreations> made(new ServiceCreations(std::move(manager), notice.release()));
    if (!made->Arm()) return nullptr;
    return made;
}

ServiceCreations::~ServiceCreations() {
    // No word is queued once the handle is closed; one queued before runs
    // here, on the thread that asked, so nothing is left to come.
    manager_.reset();
    const bool here = notice_->thread == ::GetCurrentThreadId();
    if (notice_->asked && here) ::SleepEx(0, TRUE);
    // Elsewhere a word may still be queued to that thread: it frees this.
    if (notice_->asked && !here)
        notice_->orphaned = true;
    else
        delete notice_;
}

HANDLE ServiceCreations::Event() const noexcept {
    return notice_->event.get();
}

bool ServiceCreations::Arm() {
    if (notice_->asked) return true;
    // The request is the asking thread's own (the word comes to it): never
    // made of a manager that has left a call unanswered.
    if (ServiceSilent(SystemService::ServiceManager)) return false;
    // Asked before the call: the manager's call may wait alertably and run
    // the word within it.
    notice_->asked = true;
    notice_->thread = ::GetCurrentThreadId();
    notice_->notify = {};
    notice_->notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    notice_->notify.pfnNotifyCallback = &WordCame;
    notice_->notify.pContext = notice_;
    DWORD error = NotifyFunction()(manager_.get(), SERVICE_NOTIFY_CREATED, &notice_->notify);
    // Too far behind: the manager wants a new handle.
    if (error == kClientLagging) {
        if (UniqueService fresh = OpenManager()) {
            manager_ = std::move(fresh);
            error = NotifyFunction()(manager_.get(), SERVICE_NOTIFY_CREATED, &notice_->notify);
        }
    }
    if (error != ERROR_SUCCESS) notice_->asked = false;
    return error == ERROR_SUCCESS;
}

}  // namespace kb
