#include "platform/Error.h"

#include <cwchar>

namespace kb {

std::wstring OleErrorMessage(HRESULT code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer) {
        text.assign(buffer, length);
        ::LocalFree(buffer);
    }
    // System messages end in a line break.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) {
        wchar_t fallback[32];
        std::swprintf(fallback, 32, L"OLE error %.8x", static_cast<unsigned>(code));
        text = fallback;
    }
    return text;
}

void OleCheck(HRESULT code) {
    if (FAILED(code)) throw OleError(code, OleErrorMessage(code));
}

}  // namespace kb
