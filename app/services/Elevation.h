#pragma once
// Administrator rights, as Windows lends them (UAC): whether this process
// has them, and one elevated instance of the program for the moves that
// need them, or for the whole program.
#include <windows.h>

#include <string>
#include <vector>

#include "reading/Inventory.h"
#include "store/Store.h"

namespace kb {

// The argument that makes an instance do the moves named after it and end.
inline constexpr wchar_t kMoveArgument[] = L"-move";
// The argument that makes an instance stop the service named after it and end.
inline constexpr wchar_t kStopServiceArgument[] = L"-stopservice";
// The argument that makes a restarted instance wait for the one it replaces.
inline constexpr wchar_t kAfterArgument[] = L"-after";

// Whether this process runs with administrator rights (elevated, or on a
// Windows without UAC). False in the standard-user mode.
bool ProcessIsElevated();
// Whether this process runs without them for a user who may have them: an
// administrator's limited token, or the standard-user mode.
bool CanElevate();

// One command-line argument, quoted so that CommandLineToArgvW gives it
// back as it is.
std::wstring QuoteArgument(const std::wstring& argument);

// Moves the entries in an elevated instance of the program and waits for
// it to end, the messages of this thread still dispatched meanwhile. For
// each entry: Moved where the instance says it moved it (the caller reads
// it back); NeedsAdministrator when the user declined the rights;
// CannotMove otherwise.
std::vector<MoveResult> MoveElevated(HWND owner, const std::wstring& executable,
                                     const std::vector<StartupEntry>& entries);

// The elevated instance's work: takes the running guard's request the
// arguments after "-move" name (see ElevatedRequest.h), finds each entry it
// names in a reading of its own, moves it, and marks it moved in the
// request. The number of entries not moved; a request that is not the running guard's changes nothing, and is
// said.
int RunMoves(const std::vector<std::wstring>& arguments, const std::wstring& executable);
// Says that a request did not come from the running guard; its exit code.
int RefuseForeignRequest(const std::wstring& executable);

// Stops a service the user disabled here in an elevated instance, and
// waits for it without dispatching: call it off the window's thread.
// Windows' code: ERROR_CANCELLED when the user declined the rights.
DWORD StopServiceElevated(HWND owner, const std::wstring& executable, const std::wstring& name);
// The elevated instance's work for that: Windows' code as its exit code.
int RunServiceStop(const std::vector<std::wstring>& arguments, const std::wstring& executable);

// Sets the self-start up or removes it in an elevated instance, and waits
// for it. False when that did not happen (declined, or failed).
bool SetSelfStartElevated(HWND owner, const std::wstring& executable, bool on);

// The elevated instance's work for that: 0 when done.
int RunSelfStart(const std::vector<std::wstring>& arguments, const std::wstring& executable);

// Starts the program again with administrator rights, told to wait for
// this process's end. False when it did not start (the user declined).
bool RestartElevated(HWND owner, const std::wstring& executable,
                     const std::vector<std::wstring>& arguments);

// In a restarted instance: waits (at most a while) for the process that
// started it to end, so the single-instance rule lets this one run.
void WaitForPredecessor(const std::vector<std::wstring>& arguments);

}  // namespace kb
