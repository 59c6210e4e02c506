#pragma once
// The default error report: an error box captioned "Keepboot".
#include <functional>
#include <string>

namespace kb {

class Error;

// The text of the report box: the message, with "." appended when its last
// character sorts above ".".
std::wstring ErrorReportText(const std::wstring& message);

// Puts the report to the user: never inside the handling of another
// message, where a box's own message loop would run the rest of the program
// under it, but from the top-level loop (ShowPendingReports), which a posted
// message wakes. A report the same as one waiting or open is dropped: an
// error that comes back at every check says itself once.
void ShowErrorReport(const std::wstring& message);

// An error as the user reads it, the one place errors are worded: what was
// being done and, on a line of its own, why in Windows' words where Windows
// gave a code; a COM error in the system's words for its code.
std::wstring WordsOf(const Error& error);

// Reports the exception being handled. For use in a catch (...) block at
// a system callback's edge, so nothing unwinds into the system.
void ReportCurrentException() noexcept;

// From the top-level loop only: shows each waiting report in turn, waiting
// for each to be closed.
void ShowPendingReports() noexcept;

// Tests replace the message box; pass an empty function to restore it.
void SetErrorReportSink(std::function<void(const std::wstring& text)> sink);

}  // namespace kb
