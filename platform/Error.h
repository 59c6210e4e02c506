#pragma once
// The program's raised errors. Showing them is the application's business.
#include <windows.h>

#include <exception>
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
// The system's text for a Windows error code, without its full stop, or
// "error N" when it has none: said inside a sentence.
std::wstring SystemErrorText(DWORD code);

// Raises OleError when the HRESULT is a failure; S_FALSE and other
// success codes pass.
void OleCheck(HRESULT code);

}  // namespace kb
