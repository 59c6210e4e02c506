#include "platform/WaitThreads.h"

namespace kb {

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) noexcept : lock_(lock) { ::EnterCriticalSection(&lock_); }
    ~Locked() { ::LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

}  // namespace

WaitThreads::WaitThreads() { ::InitializeCriticalSection(&lock_); }

WaitThreads::~WaitThreads() {
    {
        const Locked hold(lock_);
        stopping_ = true;
        for (const std::unique_ptr<Thread>& thread : threads_) ::SetEvent(thread->wake.get());
    }
    for (const std::unique_ptr<Thread>& thread : threads_) ::WaitForSingleObject(thread->thread.get(), INFINITE);
    ::DeleteCriticalSection(&lock_);
}

WaitThreads::WaitId WaitThreads::Start(HANDLE handle, Callback callback, void* context) {
    UniqueHandle own;
    const HANDLE process = ::GetCurrentProcess();
    if (!::DuplicateHandle(process, handle, process, own.put(), 0, FALSE, DUPLICATE_SAME_ACCESS)) return kNoWait;
    const Locked hold(lock_);
    Thread* thread = nullptr;
    Wait* slot = FreeSlot(thread);
    if (!slot) return kNoWait;
    if (++lastId_ == kNoWait) ++lastId_;
    slot->id = lastId_;
    slot->handle = std::move(own);
    slot->callback = callback;
    slot->context = context;
    ::SetEvent(thread->wake.get());
    return slot->id;
}

void WaitThreads::End(WaitId id) noexcept {
    if (id == kNoWait) return;
    const Locked hold(lock_);
    for (const std::unique_ptr<Thread>& thread : threads_)
        for (Wait& wait : thread->waits)
            if (wait.id == id) {
                // The handle stays until the thread has left the wait that
                // holds it: closing a handle being waited on is undefined.
                wait.id = kNoWait;
                wait.callback = nullptr;
                ::SetEvent(thread->wake.get());
                return;
            }
}

std::size_t WaitThreads::Waiting() const noexcept {
    const Locked hold(lock_);
    std::size_t waiting = 0;
    for (const std::unique_ptr<Thread>& thread : threads_)
        for (const Wait& wait : thread->waits) waiting += wait.id != kNoWait;
    return waiting;
}

WaitThreads::Wait* WaitThreads::FreeSlot(Thread*& on) {
    // A slot whose ended wait's handle is still held is not free yet.
    for (const std::unique_ptr<Thread>& thread : threads_)
        for (Wait& wait : thread->waits)
            if (wait.id == kNoWait && !wait.handle) {
                on = thread.get();
                return &wait;
            }
    // Room first: once its thread runs, the Thread must be in the list the
    // destructor ends.
    threads_.reserve(threads_.size() + 1);
    auto thread = std::make_unique<Thread>();
    thread->owner = this;
    thread->wake.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!thread->wake) return nullptr;
    thread->thread.reset(::CreateThread(nullptr, 64 * 1024, &WaitThreads::Run, thread.get(),
                                        STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread->thread) return nullptr;
    on = threads_.emplace_back(std::move(thread)).get();
    return &on->waits[0];
}

DWORD WINAPI WaitThreads::Run(void* thread) noexcept {
    auto* self = static_cast<Thread*>(thread);
    self->owner->Serve(*self);
    return 0;
}

void WaitThreads::Serve(Thread& thread) noexcept {
    for (;;) {
        std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles{thread.wake.get()};
        std::array<WaitId, MAXIMUM_WAIT_OBJECTS> ids{};
        DWORD count = 1;
        {
            const Locked hold(lock_);
            if (stopping_) return;
            for (Wait& wait : thread.waits) {
                if (wait.id == kNoWait) {
                    wait.handle.reset();  // ended while waited on: out of the wait now
                    continue;
                }
                handles[count] = wait.handle.get();
                ids[count++] = wait.id;
            }
        }
        const DWORD result = ::WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) continue;
        DWORD signalled = count;  // none: the wait itself failed
        if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count)
            signalled = result - WAIT_OBJECT_0;
        else if (result > WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count)
            signalled = result - WAIT_ABANDONED_0;
        const Locked hold(lock_);
        for (DWORD i = 1; i < count; ++i) {
            // A failed wait calls every one back rather than miss one, and
            // does not spin: each is done once called. A call too many only
            // makes the owner look again.
            if (signalled != count && i != signalled) continue;
            for (Wait& wait : thread.waits) {
                if (wait.id != ids[i]) continue;
                wait.callback(wait.context);
                wait = Wait{};
                break;
            }
        }
    }
}

}  // namespace kb
