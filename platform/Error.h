#pragma once
// The program's raised errors and the default error report that shows them.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace kb {

// An error meant for the user: its message is shown as it stands.
class Error : public std::exception {
public:
    explicit Error(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return "Keepboot error"; }

private:
    std::wstring message_;
};

// An error from a COM call, carrying its HRESULT.
class OleError : public Error {
public:
    OleError(HRESULT code, std::wstring message) : Error(std::move(message)), code_(code) {}
    HRESULT Code() const noexcept { return code_; }

private:
    HRESULT code_;
};

// The system's text for an HRESULT, or "OLE error %.8x" when it has none.
std::wstring OleErrorMessage(HRESULT code);

// Raises OleError when the HRESULT is a failure; S_FALSE and other
// success codes pass.
void OleCheck(HRESULT code);

// The text of the report box: the message, with "." appended when its last
// character sorts above ".".
std::wstring ErrorReportText(const std::wstring& message);

// Shows the default error report: an error box captioned "Keepboot".
void ShowErrorReport(const std::wstring& message);

// Reports the exception being handled. For use in a catch (...) block at
// a system callback's edge, so nothing unwinds into the system.
void ReportCurrentException() noexcept;

// Tests replace the message box; pass an empty function to restore it.
void SetErrorReportSink(std::function<void(const std::wstring& text)> sink);

}  // namespace kb
