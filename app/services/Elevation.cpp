#include "app/services/Elevation.h"

#include <shellapi.h>

#include "app/services/ElevatedRequest.h"
#include "app/services/HistoryKeeper.h"
#include "app/services/MessagePump.h"
#include "app/services/GuardWindow.h"
#include "app/services/SingleInstance.h"
#include "app/services/SelfStart.h"
#include "platform/ProcessAccess.h"
#include "platform/CurrentUser.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "guard/EntryKey.h"
#include "guard/Guard.h"
#include "kinds/Services.h"
#include "app/Texts.h"

namespace kb {

namespace {

TOKEN_ELEVATION_TYPE ElevationType() {
    UniqueHandle token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
        ::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size);
    return type;
}

// Runs the program with "runas": Windows asks for consent or credentials.
UniqueHandle StartElevated(HWND owner, const std::wstring& executable,
                           const std::wstring& parameters, DWORD& error) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = executable.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    error = ERROR_SUCCESS;
    if (!::ShellExecuteExW(&info)) error = ::GetLastError();
    return UniqueHandle(info.hProcess);
}

// How long a Quit waits for an elevated instance still at work.
constexpr DWORD kEndAfterQuitMs = 30000;

// Waits for the process's end with this thread's messages dispatched, as
// a modal dialog's loop does: the window and its watch go on meanwhile.
// A Quit meanwhile ends the dispatching, not the wait: the instance is
// partway through what the user asked, and what it did is read whole
// rather than said to have failed.
DWORD WaitDispatching(HANDLE process) {
    if (!PumpUntil({}, {}, process)) ::WaitForSingleObject(process, kEndAfterQuitMs);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process, &code);
    return code;
}

}  // namespace

bool ProcessIsElevated() {
    if (StandardUserMode()) return false;
    UniqueHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return true;  // a Windows without UAC: rights are what the account has
    // A standard user's token is no split one (TokenElevationTypeDefault)
    // and not elevated; an administrator with UAC off has an elevated one.
    return elevation.TokenIsElevated != 0;
}

bool CanElevate() {
    return StandardUserMode() || ElevationType() == TokenElevationTypeLimited;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    // Backslashes are literal except before a quote, where they are doubled.
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::vector<MoveResult> MoveElevated(HWND owner, const std::wstring& executable,
                                     const std::vector<StartupEntry>& entries) {
    const auto every = [&](MoveResult result) { return std::vector<MoveResult>(entries.size(), result); };
    // The entries travel in a request only this process holds; where each
    // key starts is where the instance marks it moved.
    std::vector<std::wstring> keys;
    std::vector<std::size_t> starts;
    for (const StartupEntry& entry : entries) {
        starts.push_back(keys.size());
        for (const std::wstring& text : KeyOf(entry)) keys.push_back(text);
    }
    const std::optional<ElevatedRequest> request = ElevatedRequest::Make(keys);
    if (!request) return every(MoveResult::CannotMove);
    const std::wstring parameters = std::wstring(kMoveArgument) + L" " + request->CommandLine();
    DWORD error = ERROR_SUCCESS;
    const UniqueHandle process = StartElevated(owner, executable, parameters, error);
    if (!process)
        return every(error == ERROR_CANCELLED ? MoveResult::NeedsAdministrator : MoveResult::CannotMove);
    WaitDispatching(process.get());
    std::vector<MoveResult> results;
    for (const std::size_t start : starts)
        results.push_back(request->Marked(start) ? MoveResult::Moved : MoveResult::CannotMove);
    return results;
}

int RunMoves(const std::vector<std::wstring>& arguments, const std::wstring& executable) {
    RequestMarks marks;
    const std::optional<std::vector<std::wstring>> keys = TakeElevatedRequest(arguments, 1, executable, &marks);
    if (!keys) return RefuseForeignRequest(executable);
    StartupGuard guard(FindStartupFolders());
    // What it moves is known to the guard that asked; the machine's record is
    // the administrators' to keep. (Whose the user's keys are, it cannot tell.)
    guard.SetKeeping(StartupGuard::Keeping::MachineOnly);
    try {
        guard.Restore();
    } catch (...) {
        return static_cast<int>(keys->size());
    }
    int notMoved = 0;
    std::size_t at = 0;
    while (at < keys->size()) {
        const std::size_t start = at;
        // Its own reading of the places: the record names neither what came
        // since nor a value's type or a shortcut's link.
        const std::optional<StartupEntry> entry = FindByKey(guard.Listed(), *keys, at);
        bool moved = false;
        try {
            moved = entry && guard.Move(*entry) == MoveResult::Moved;
        } catch (...) {
        }
        // Only what it moved is the user's move: an entry that went for
        // another reason is not.
        if (moved)
            marks.Mark(start);
        else
            ++notMoved;
    }
    return notMoved;
}

bool SetSelfStartElevated(HWND owner, const std::wstring& executable, bool on) {
    // Whose task it is travels with the request: an administrator's
    // credentials lent to a standard user still make that user's task.
    const std::optional<ElevatedRequest> request = ElevatedRequest::Make({on ? L"on" : L"off", CurrentUserSid()});
    if (!request) return false;
    DWORD error = ERROR_SUCCESS;
    const UniqueHandle process = StartElevated(
        owner, executable, std::wstring(kSelfStartArgument) + L" " + request->CommandLine(), error);
    return process && WaitDispatching(process.get()) == 0;
}

int RunSelfStart(const std::vector<std::wstring>& arguments, const std::wstring& executable) {
    // The Windows Installer, removing the program, runs "-selfstart off" as
    // the system itself: every user's task goes.
    if (arguments.size() == 2 && arguments[1] == L"off" && (RunsAsTheSystem() || RunsUnderWine())) {
        return RemoveEverySelfStart() ? 0 : 1;
    }
    // Anything else is the running guard's request, for its user.
    const std::optional<std::vector<std::wstring>> request = TakeElevatedRequest(arguments, 1, executable);
    if (!request) return RefuseForeignRequest(executable);
    if (request->size() != 2 || ((*request)[0] != L"on" && (*request)[0] != L"off") || !IsSidText((*request)[1]))
        return 2;
    try {
        return SystemSelfStart((*request)[1])->Set((*request)[0] == L"on", executable) == SelfStart::Result::Done
                   ? 0
                   : 1;
    } catch (...) {
        return 1;
    }
}

DWORD StopServiceElevated(HWND owner, const std::wstring& executable, const std::wstring& name) {
    const std::optional<ElevatedRequest> request = ElevatedRequest::Make({name});
    if (!request) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD error = ERROR_SUCCESS;
    const UniqueHandle process = StartElevated(
        owner, executable, std::wstring(kStopServiceArgument) + L" " + request->CommandLine(), error);
    if (!process) return error;
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = ERROR_INVALID_FUNCTION;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

int RunServiceStop(const std::vector<std::wstring>& arguments, const std::wstring& executable) {
    const std::optional<std::vector<std::wstring>> request = TakeElevatedRequest(arguments, 1, executable);
    if (!request) {
        RefuseForeignRequest(executable);
        return ERROR_ACCESS_DENIED;
    }
    if (request->size() != 1) return ERROR_INVALID_PARAMETER;
    try {
        // Only what this program disabled, whatever the request names.
        return static_cast<int>(StopServiceDisabledHere(request->front()));
    } catch (...) {
        return ERROR_INVALID_FUNCTION;
    }
}

int RefuseForeignRequest(const std::wstring& executable) {
    // Said without a box, which would wait for whoever started it: by the
    // running guard, or in the history when none runs.
    if (const HWND guard = FindRunningKeepboot(executable, 0)) {
        ::PostMessageW(guard, guard_window::kForeignRequestMessage, 0, 0);
    } else {
        HistoryKeeper history;
        history.Open(DefaultHistoryPath());
        history.RecordNotice(UiText(IDS_FOREIGN_REQUEST));
    }
    return 3;
}

bool RestartElevated(HWND owner, const std::wstring& executable,
                     const std::vector<std::wstring>& arguments) {
    std::wstring parameters =
        std::wstring(kAfterArgument) + L" " + std::to_wstring(::GetCurrentProcessId());
    for (const std::wstring& argument : arguments) parameters += L" " + QuoteArgument(argument);
    DWORD error = ERROR_SUCCESS;
    return static_cast<bool>(StartElevated(owner, executable, parameters, error));
}

void WaitForPredecessor(const std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2 || arguments[0] != kAfterArgument) return;
    const DWORD id = static_cast<DWORD>(std::wcstoul(arguments[1].c_str(), nullptr, 10));
    // Also when this instance runs with another account's rights.
    const UniqueHandle process(OpenProcessOfAnyAccount(id, SYNCHRONIZE));
    // It saves its settings and ends at once; a predecessor that hangs does
    // not keep this one from guarding for long.
    if (process) ::WaitForSingleObject(process.get(), 10000);
}

}  // namespace kb
