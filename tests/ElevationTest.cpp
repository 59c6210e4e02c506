// The elevated instance is told which entries to move on its command line:
// every name must come back from it as it was, quotes and backslashes too.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/services/ElevatedRequest.h"
#include "app/services/Elevation.h"

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
TEST(Elevation, ARequestIsTakenOnceFromTheProcessThatMadeIt) {
    const std::vector<std::wstring> asked = {L"value", L"HKLM", L"0", L"Software\\Run", L"a \"b\" \\c", L""};
    const std::optional<ElevatedRequest> request = ElevatedRequest::Make(asked);
    ASSERT_TRUE(request);
    std::vector<std::wstring> texts = {L"-move"};
    for (std::wstring rest = request->CommandLine(); !rest.empty();) {
        const auto blank = rest.find(L' ');
        texts.push_back(rest.substr(0, blank));
        rest = blank == std::wstring::npos ? L"" : rest.substr(blank + 1);
    }
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, L"C:\\Other\\Keepboot.exe")) << "not a Keepboot of this file";
    EXPECT_EQ(TakeElevatedRequest(texts, 1, self), asked);
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, self)) << "one use";
    const UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    texts[2] = std::to_wstring(reinterpret_cast<std::uintptr_t>(event.get()));
    EXPECT_FALSE(TakeElevatedRequest(texts, 1, self)) << "an event is no request";
}

}  // namespace
}  // namespace kb::test
