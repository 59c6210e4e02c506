#pragma once
// The default error report: an error box captioned "Keepboot".
#include <functional>
#include <string>

namespace kb {

// The text of the report box: the message, with "." appended when its last
// character sorts above ".".
std::wstring ErrorReportText(const std::wstring& message);

// Shows the report and waits for it to be closed. While one is open,
// further reports are dropped: an error that comes back at every check
// would otherwise stack a new box on the open one each time.
void ShowErrorReport(const std::wstring& message);

// Reports the exception being handled. For use in a catch (...) block at
// a system callback's edge, so nothing unwinds into the system.
void ReportCurrentException() noexcept;

// Whether a report is open now; nothing new is started over one.
bool ErrorReportOpen() noexcept;

// Tests replace the message box; pass an empty function to restore it.
void SetErrorReportSink(std::function<void(const std::wstring& text)> sink);

}  // namespace kb
