#pragma once
// A service that runs until it is told to stop: the test executable itself,
// started by the prefix's service manager with the argument below.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace kb::test {

// In main, before the tests: when the process was started as the probe
// service, it serves until stopped and gives its exit code; else none (-1).
int RunProbeServiceIfAsked(int argc, char** argv);

// Makes the probe service of that name, started and running, then
// automatic, as an installer that starts it before it sets its start might;
// null (and the test fails) where the manager would not. Deleted with
// DeleteProbeService.
UniqueService MakeRunningProbeService(const std::wstring& name);
void DeleteProbeService(const std::wstring& name);
// Its state as the manager says it; SERVICE_STOPPED when it has none.
DWORD ProbeState(const std::wstring& name);
// Polls until it is in that state; false when it is not within 30 s.
bool WaitForProbeState(const std::wstring& name, DWORD state);

}  // namespace kb::test
