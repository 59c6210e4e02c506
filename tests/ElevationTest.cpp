// The elevated instance is told which entries to move on its command line:
// every name must come back from it as it was, quotes and backslashes too.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/Elevation.h"

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

}  // namespace
}  // namespace kb::test
