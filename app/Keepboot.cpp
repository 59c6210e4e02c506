// Program entry: one instance per logon session, COM for the shell's
// shortcut component, then the main window, the prompt dialog and the
// message loop.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
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

    // The one thread waits on the watch's change notifications beside its
    // messages: a change is seen at once, and nothing wakes the program
    // while nothing changes. Everything still runs on this thread.
    MSG msg{};
    for (;;) {
        const std::vector<HANDLE>& changes = window.ChangeHandles();
        const DWORD count = static_cast<DWORD>(
            std::min<std::size_t>(changes.size(), MAXIMUM_WAIT_OBJECTS - 1));
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(count, changes.data(), INFINITE,
                                                         QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        window.NoteWakeUp();
        if (woke < WAIT_OBJECT_0 + count) window.OnPlaceChanged(woke - WAIT_OBJECT_0);
        bool quit = false;
        while (!quit && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quit = msg.message == WM_QUIT;
            if (quit || window.PreTranslateMessage(msg) ||
                ::IsDialogMessageW(window.Handle(), &msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (quit) break;
        window.ResumeDeferredWork();
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
