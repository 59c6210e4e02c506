#pragma once
// The program's raised errors: what was being done, and Windows' code for
// why. Wording them for the user is the application's business, in one
// place (app/ErrorReport.h).
#include <windows.h>

#include <exception>
#include <string>

namespace kb {

// What was being done, as a user reads it ("Failed to set data for 'X'"),
// and Windows' error code, where Windows gave one.
class Error : public std::exception {
public:
    explicit Error(std::wstring context, DWORD code = ERROR_SUCCESS)
        : context_(std::move(context)), code_(code) {}
    const std::wstring& Context() const noexcept { return context_; }
    DWORD Code() const noexcept { return code_; }
    const char* what() const noexcept override { return "Keepboot error"; }

private:
    std::wstring context_;
    DWORD code_;
};

// An error from a COM call: its HRESULT, and where the system's text for
// the code is not the whole story, the words to say instead.
class OleError : public Error {
public:
    explicit OleError(HRESULT code, std::wstring context = {})
        : Error(std::move(context), static_cast<DWORD>(code)) {}
    HRESULT Code() const noexcept { return static_cast<HRESULT>(Error::Code()); }
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
