// The elevated instance is told which entries to move on its command line:
// every name must come back from it as it was, quotes and backslashes too.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/services/ElevatedRequest.h"
#include "app/services/Elevation.h"
#include "platform/Faults.h"
#include "platform/ProcessAccess.h"
#include "platform/ScopeExit.h"

namespace kb::test {
namespace {

std::vector<std::wstring> Split(const std::wstring& commandLine) {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> arguments(argv + 1, argv + count);
    ::LocalFree(argv);
    return arguments;
}

TEST(Elevation, EveryArgumentComesBackFromTheCommandLineAsItWas) {
    const std::vector<std::wstring> arguments = {
        L"plain", L"", L"two words", L"say \"hi\"", L"C:\\Program Files\\", L"end\\\\",
        L"a\\\"b", L"\"", L"\\", L"tab\there", L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
    std::wstring commandLine = L"Keepboot.exe";
    for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);
    EXPECT_EQ(Split(commandLine), arguments);
}

// The running guard's request is taken once, whole, from its own process;
// a handle of another kind, or of nothing, is no request.
// The elevated instance's command line for a request: "-move <process> <handle>".
std::vector<std::wstring> TextsOf(const ElevatedRequest& request) {
    std::vector<std::wstring> texts = {L"-move"};
    for (std::wstring rest = request.CommandLine(); !rest.empty();) {
        const auto blank = rest.find(L' ');
        texts.push_back(rest.substr(0, blank));
        rest = blank == std::wstring::npos ? L"" : rest.substr(blank + 1);
    }
    return texts;
}

std::wstring Self() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

TEST(Elevation, ARequestIsTakenOnceFromTheProcessThatMadeIt) {
    const std::vector<std::wstring> asked = {L"value", L"HKLM", L"0", L"Software\\Run", L"a \"b\" \\c", L""};
    const std::optional<ElevatedRequest> request = ElevatedRequest::Make(asked);
    ASSERT_TRUE(request);
    std::vector<std::wstring> texts = TextsOf(*request);
    const std::wstring self = Self();
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, L"C:\\Other\\Keepboot.exe")) << "not a Keepboot of this file";
    EXPECT_EQ(TakeElevatedRequest(texts, 1, self), asked);
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, self)) << "one use";
    const UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    texts[2] = std::to_wstring(reinterpret_cast<std::uintptr_t>(event.get()));
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, self)) << "an event is no request";
}

// Rights lent by another administrator's account: the guard's process
// refuses that account's instance (the test seam refuses it as Windows does,
// but for the debug privilege), which takes the request all the same with the
// privilege, enabled for that one open; a process of another program file is
// refused even so, and an instance without the privilege (a standard user's)
// takes nothing.
TEST(Elevation, AnotherAccountsInstanceTakesTheRequestOnlyThroughTheDebugPrivilege) {
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::ProcessOfAnotherAccount; });
    const ScopeExit reset([] { SetFaultInjector({}); });
    ASSERT_FALSE(PrivilegeEnabled(SE_DEBUG_NAME));
    struct Case {
        const char* what;
        std::wstring executable;
        bool withoutPrivilege, taken;
    };
    // The last drops the privilege from this test's process for good.
    const Case cases[] = {
        {"another account's guard", Self(), false, true},
        {"a process of another program file", L"C:\\Other\\Keepboot.exe", false, false},
        {"an instance without the privilege", Self(), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.withoutPrivilege) {
            UniqueHandle token;
            LUID debug{};
            ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()));
            ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &debug));
            TOKEN_PRIVILEGES removed{1, {{debug, SE_PRIVILEGE_REMOVED}}};
            if (!::AdjustTokenPrivileges(token.get(), FALSE, &removed, 0, nullptr, nullptr) ||
                ::GetLastError() != ERROR_SUCCESS)
                GTEST_SKIP() << "this Windows cannot take a privilege from a token";
        }
        const std::vector<std::wstring> asked = {L"value", L"HKLM"};
        const std::optional<ElevatedRequest> request = ElevatedRequest::Make(asked);
        ASSERT_TRUE(request);
        EXPECT_EQ(TakeElevatedRequest(TextsOf(*request), 1, c.executable).has_value(), c.taken);
        EXPECT_FALSE(PrivilegeEnabled(SE_DEBUG_NAME)) << "enabled for that one open only";
    }
}

}  // namespace
}  // namespace kb::test
