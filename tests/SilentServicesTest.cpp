// A system service that never answers holds no caller past its time limit,
// and once one call has been left waiting, later calls fail at once instead
// of piling up; the service answers again once that call ends.
#include <gtest/gtest.h>

#include <functional>

#include "platform/Faults.h"
#include "platform/ServiceCall.h"
#include "platform/ServiceManager.h"
#include "platform/TaskScheduler.h"

namespace kb::test {
namespace {

struct SilentCase {
    const char* what;
    SystemService service;
    // Each says whether the call came back as "no answer".
    std::function<bool()> first, next;
    // Whether it answers again.
    std::function<bool()> answers;
};

bool PolledUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) ::Sleep(10);
    return done();
}

TEST(SilentServices, ACallEndsAtItsLimitAndTheNextFailsAtOnceUntilTheServiceAnswers) {
    const HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    const SilentCase cases[] = {
        {"the Task Scheduler", SystemService::TaskScheduler,
         [&] { return SetTaskEnabled(L"\\NoSuchTask", false) == timedOut; },
         [] { return !TaskEnabled(L"\\NoSuchTask").has_value(); },
         [&] { return SetTaskEnabled(L"\\NoSuchTask", false) != timedOut; }},
        {"the service manager", SystemService::ServiceManager,
         [] {
             DWORD why = ERROR_SUCCESS;
             return !QueryService(L"RpcSs", &why) && why == ERROR_TIMEOUT;
         },
         [] { return SetServiceStart(L"NoSuchService", SERVICE_DISABLED) == ERROR_TIMEOUT; },
         [] { return QueryService(L"RpcSs").has_value(); }},
    };
    for (const SilentCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(ServiceSilent(c.service));
        SetServiceSilent(c.service, true);
        EXPECT_TRUE(c.first()) << "given up at the limit";
        EXPECT_TRUE(ServiceSilent(c.service)) << "the call left waiting is remembered";
        EXPECT_TRUE(c.next()) << "and the next call does not wait for it";
        SetServiceSilent(c.service, false);
        EXPECT_TRUE(PolledUntil([&] { return !ServiceSilent(c.service); })) << "the waiting call ends";
        EXPECT_TRUE(c.answers());
    }
}

}  // namespace
}  // namespace kb::test
