#include <windows.h>

#include <gtest/gtest.h>

#include "ProbeService.h"

// COM as the program has it: a single-threaded apartment on the one thread.
int main(int argc, char** argv) {
    // Started by the service manager as a test's probe service.
    if (const int served = kb::test::RunProbeServiceIfAsked(argc, argv); served >= 0) return served;
    ::testing::InitGoogleTest(&argc, argv);
    const HRESULT com = ::CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
