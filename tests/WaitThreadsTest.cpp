// The watch's own wait threads: every wait calls back once, past what one
// thread can hold, with the owner's handle already closed; and no callback
// runs once End has returned, however close the signal came.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "platform/Handle.h"
#include "platform/WaitThreads.h"

namespace kb::test {
namespace {

struct Counted {
    std::atomic<int> calls{0};
    std::atomic<bool> ended{false};
    std::atomic<bool> calledAfterEnd{false};
};

void Count(void* context) noexcept {
    auto* counted = static_cast<Counted*>(context);
    if (counted->ended.load()) counted->calledAfterEnd.store(true);
    counted->calls.fetch_add(1);
}

bool WaitUntil(const std::function<bool()>& done) {
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < 10000; ::Sleep(5))
        if (done()) return true;
    return done();
}

TEST(WaitThreads, EveryWaitCallsBackOnceBeyondOneThreadsShareWithItsHandleClosed) {
    constexpr int kWaits = 130;  // three threads' worth
    WaitThreads threads;
    std::vector<Counted> counted(kWaits);
    std::vector<UniqueHandle> events;
    for (int i = 0; i < kWaits; ++i) {
        // Manual-reset: stays signalled, so a second call would show.
        UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_NE(threads.Start(event.get(), &Count, &counted[i]), WaitThreads::kNoWait) << i;
        ::SetEvent(event.get());
        // The set waits on its own duplicate: the owner's may go at once.
        if (i % 2 == 0) event.reset();
        events.push_back(std::move(event));
    }
    EXPECT_TRUE(WaitUntil([&] { return threads.Waiting() == 0; })) << threads.Waiting() << " still waiting";
    for (int i = 0; i < kWaits; ++i) EXPECT_EQ(counted[i].calls.load(), 1) << "wait " << i;
}

TEST(WaitThreads, NoCallbackRunsOnceEndHasReturned) {
    WaitThreads threads;
    std::vector<Counted> counted(2000);
    const UniqueHandle event(::CreateEventW(nullptr, TRUE, TRUE, nullptr));  // always signalled
    int calledBeforeEnd = 0;
    for (Counted& one : counted) {
        const WaitThreads::WaitId wait = threads.Start(event.get(), &Count, &one);
        ASSERT_NE(wait, WaitThreads::kNoWait);
        threads.End(wait);
        one.ended.store(true);
        calledBeforeEnd += one.calls.load();
    }
    // The same handle again and again, ended as soon as started: now and
    // then the thread was quicker, which is fine, but never after End.
    EXPECT_TRUE(WaitUntil([&] { return threads.Waiting() == 0; }));
    for (const Counted& one : counted) {
        EXPECT_FALSE(one.calledAfterEnd.load());
        EXPECT_LE(one.calls.load(), 1);
    }
    RecordProperty("called before End", calledBeforeEnd);
}

}  // namespace
}  // namespace kb::test
