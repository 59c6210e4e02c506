// Program entry: one instance per logon session, COM for the shell's
// shortcut component, then the main window, the prompt dialog and the
// message loop.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/services/Elevation.h"
#include "app/ErrorReport.h"
#include "app/services/Uninstall.h"
#include "app/services/SelfStart.h"
#include "app/services/SingleInstance.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/ServiceCall.h"
#include "places/StartupPlaces.h"

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

// Wine lets every process write everywhere. In the tests' build, with this
// variable set, the program is refused what Windows refuses a standard user,
// so the tests can stand in for Windows; it only ever takes rights away. The
// shipped program has no such variable.
void TakeTestSeamsFromEnvironment() {
#if KEEPBOOT_TEST_SEAMS
    // And a Task Scheduler that never answers, which no prefix can be made to be.
    if (::GetEnvironmentVariableW(L"KEEPBOOT_TEST_SILENT_SCHEDULER", nullptr, 0) != 0)
        kb::SetServiceSilent(kb::SystemService::TaskScheduler, true);
    const std::wstring file = kb::RunningProgramPath();
    const std::wstring programFolder = file.substr(0, file.rfind(L'\\'));
    if (::GetEnvironmentVariableW(L"KEEPBOOT_TEST_STANDARD_USER", nullptr, 0) == 0) return;
    const kb::StartupFolders folders = kb::FindStartupFolders();
    kb::SetStandardUserMode(true, {programFolder, folders.windows, folders.commonStartup});
#endif
}

int Run() {
    std::vector<std::wstring> arguments = Arguments();
    // An elevated instance started for some moves does them and ends: no
    // window, and no claim on the single instance. It has the rights the
    // stand-in below takes away.
    if (!arguments.empty() && arguments[0] == kb::kMoveArgument)
        return kb::RunMoves(arguments, kb::RunningProgramPath());
    if (!arguments.empty() && arguments[0] == kb::kHandBackArgument) return kb::RunHandBack(arguments);
    if (!arguments.empty() && arguments[0] == kb::kUninstallArgument) return kb::RunUninstall();
    if (!arguments.empty() && arguments[0] == kb::kSelfStartArgument)
        return kb::RunSelfStart(arguments, kb::RunningProgramPath());
    if (!arguments.empty() && arguments[0] == kb::kStopServiceArgument)
        return kb::RunServiceStop(arguments, kb::RunningProgramPath());
    TakeTestSeamsFromEnvironment();
    const bool restarted = !arguments.empty() && arguments[0] == kb::kAfterArgument;
    if (restarted) {
        kb::WaitForPredecessor(arguments);
        arguments.erase(arguments.begin(), arguments.begin() + std::min<std::size_t>(2, arguments.size()));
    }

    // One guard per logon session: started by hand, a second start brings
    // the running one forward.
    const kb::SessionClaim claim = kb::ClaimSession(kb::RunningProgramPath());
    if (claim.running) {
        if (!kb::StartsHidden(arguments)) ::PostMessageW(claim.running, kb::MainWindow::kShowMessage, 0, 0);
        return 0;
    }

    kb::MainWindowOptions options;
    options.arguments = std::move(arguments);
    kb::MainWindow window(std::move(options));
    kb::PromptDialog prompt;
    window.Create();
    prompt.Create();
    window.SetPrompt(&prompt);
    // A restart with administrator rights comes back to the user who asked for it.
    if (!window.StartHidden() || restarted) ::ShowWindow(window.Handle(), SW_SHOW);

    // Everything but the system's own waits runs on this thread.
    const int exitCode = window.Watch().RunUntilQuit();
    window.TearDown();
    return exitCode;
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
    // What was reported after the last round of the loop, or with no loop.
    kb::ShowPendingReports();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
