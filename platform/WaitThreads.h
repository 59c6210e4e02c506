#pragma once
// Waits on handles for their owner, once each, and calls back on a thread
// of its own: one thread for every 63 handles (what one wait can hold
// beside the thread's own wake-up), made when first needed.
//
// Why not the system's thread pool: its waits take a wait thread and a
// worker thread to run the callbacks on, for what is here only "mark the
// place and wake the owner". One thread that waits and calls back itself
// does the same with half the threads.
//
// Each wait holds a duplicate of the handle, so the owner may close its
// own as soon as End returns. A callback runs under the set's lock, after
// checking the wait is still there: once End has returned, no callback for
// that wait runs or will run. Callbacks must be brief and must not call
// back into the set.
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Handle.h"

namespace kb {

class WaitThreads {
public:
    using Callback = void (*)(void* context) noexcept;
    using WaitId = std::uint32_t;
    static constexpr WaitId kNoWait = 0;

    WaitThreads();
    // Ends every thread; no callback runs after it.
    ~WaitThreads();
    WaitThreads(const WaitThreads&) = delete;
    WaitThreads& operator=(const WaitThreads&) = delete;

    // Calls back once when the handle is signalled; kNoWait when it cannot
    // wait on it (no thread could be made, or the handle is not one).
    WaitId Start(HANDLE handle, Callback callback, void* context);
    // The wait ends; its callback is not under way and will not run.
    void End(WaitId wait) noexcept;
    // How many waits have not yet called back or ended.
    std::size_t Waiting() const noexcept;

private:
    static constexpr std::size_t kPerThread = MAXIMUM_WAIT_OBJECTS - 1;
    struct Wait {
        WaitId id = kNoWait;  // kNoWait: a free slot
        UniqueHandle handle;  // the set's own duplicate
        Callback callback = nullptr;
        void* context = nullptr;
    };
    struct Thread {
        WaitThreads* owner = nullptr;
        UniqueHandle wake;  // auto-reset: the thread's waits changed, or it is to stop
        UniqueHandle thread;
        std::array<Wait, kPerThread> waits;
    };
    static DWORD WINAPI Run(void* thread) noexcept;
    void Serve(Thread& thread) noexcept;
    // Under the lock: a free slot, on a thread that is there or new.
    Wait* FreeSlot(Thread*& on);

    mutable CRITICAL_SECTION lock_;
    bool stopping_ = false;
    WaitId lastId_ = kNoWait;
    std::vector<std::unique_ptr<Thread>> threads_;  // each never moves
};

}  // namespace kb
