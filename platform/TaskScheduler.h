#pragma once
// The Task Scheduler 2.0 service through its COM client (COM initialised on
// the calling thread). A connection for each call, made only when asked:
// most runs never ask, and a tray program loads the client for none.
#include <windows.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <optional>
#include <string>

namespace kb {

// The scheduler's root folder; none where Task Scheduler 2.0 does not
// answer, and why, given where to say it. Called on the thread that uses it,
// waiting as long as the scheduler takes: the calls below wrap it in a time
// limit (platform/ServiceCall.h), and so must any other caller on a
// window's thread.
Microsoft::WRL::ComPtr<ITaskFolder> TaskRoot(HRESULT* why = nullptr);

// Switches a registered task on or off as the scheduler itself does: the
// task stays, its definition and any stored password with it. Windows'
// HRESULT (E_ACCESSDENIED for a task this process may not change; ERROR_TIMEOUT's
// where the scheduler did not answer in time).
HRESULT SetTaskEnabled(const std::wstring& taskPath, bool enabled);

// Whether the scheduler holds the task enabled now; none where it gave no
// answer.
std::optional<bool> TaskEnabled(const std::wstring& taskPath);

// Whether the scheduler keeps an index of its tasks beside their files
// (Windows 7 and later, where the index is what runs): there a definition's
// file is never the way to change a task. True where it cannot be told.
bool SchedulerKeepsIndex();

}  // namespace kb
