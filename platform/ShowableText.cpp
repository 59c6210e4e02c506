#include "platform/ShowableText.h"

#include <cwchar>

namespace kb {

namespace {

bool Hides(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::wstring Showable(const std::wstring& text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        if (!Hides(c)) {
            shown += c;
            continue;
        }
        wchar_t code[12];
        std::swprintf(code, std::size(code), L"<U+%04X>", static_cast<unsigned>(c));
        shown += code;
    }
    return shown;
}

}  // namespace kb
