#include <windows.h>

#include <gtest/gtest.h>

// COM as the program has it: a single-threaded apartment on the one thread.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const HRESULT com = ::CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
