// Program entry: one instance per logon session, COM for the shell's
// shortcut component, then the main window and the message loop.
#include <windows.h>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Handle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HRESULT com = ::CoInitialize(nullptr);
    int exitCode = 0;
    try {
        kb::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kb::kAppTitle));
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    } catch (...) {
        kb::ReportCurrentException();
        exitCode = 1;
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
