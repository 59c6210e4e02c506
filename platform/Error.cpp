#include "platform/Error.h"

#include <cwchar>

namespace kb {

namespace {

// The system's own words for the code, without their line break; empty
// when it has none.
std::wstring SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer) {
        text.assign(buffer, length);
        ::LocalFree(buffer);
    }
    // System messages end in a line break.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

}  // namespace

std::wstring OleErrorMessage(HRESULT code) {
    std::wstring text = SystemText(static_cast<DWORD>(code));
    if (text.empty()) {
        wchar_t fallback[32];
        std::swprintf(fallback, 32, L"OLE error %.8x", static_cast<unsigned>(code));
        text = fallback;
    }
    return text;
}

std::wstring SystemErrorText(DWORD code) {
    std::wstring text = SystemText(code);
    // Said inside a sentence of ours: without the system's own full stop.
    if (!text.empty() && text.back() == L'.') text.pop_back();
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

void OleCheck(HRESULT code) {
    if (FAILED(code)) throw OleError(code);
}

}  // namespace kb
