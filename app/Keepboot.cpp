// Program entry: one instance per logon session, COM for the shell's
// shortcut component, then the main window, the prompt dialog and the
// message loop.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/DisableForm.h"
#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Handle.h"
#include "startup/StartupDlg.h"

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

    kb::FormOptions options;
    options.arguments = Arguments();
    kb::TDisableForm form(std::move(options));
    form.Create();
    kb::TStartupDlg prompt;
    prompt.Create();
    form.SetPrompt(&prompt);
    if (!form.StartHidden) ::ShowWindow(form.Handle(), SW_SHOW);

    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.PreTranslateMessage(msg) || ::IsDialogMessageW(form.Handle(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    form.Destroy();
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
