// Program entry: one instance per logon session, COM for the shell's
// shortcut component, then the main window, the prompt dialog and the
// message loop.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "platform/AppTitle.h"
#include "platform/Handle.h"

namespace {

std::vector<std::wstring> Arguments() {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    if (!argv) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    ::LocalFree(argv);
    return arguments;
}

int Run() {
    // No namespace prefix: the rule holds within one logon session.
    kb::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kb::kAppTitle));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    kb::MainWindowOptions options;
    options.arguments = Arguments();
    kb::MainWindow window(std::move(options));
    kb::PromptDialog prompt;
    window.Create();
    prompt.Create();
    window.SetPrompt(&prompt);
    if (!window.StartHidden()) ::ShowWindow(window.Handle(), SW_SHOW);

    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.PreTranslateMessage(msg) || ::IsDialogMessageW(window.Handle(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    window.TearDown();
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HRESULT com = ::CoInitialize(nullptr);
    int exitCode = 1;
    try {
        exitCode = Run();
    } catch (...) {
        kb::ReportCurrentException();
        exitCode = 1;
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
