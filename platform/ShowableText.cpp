#include "platform/ShowableText.h"

#include <cwchar>

namespace kb {

namespace {

bool Hides(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Blanks of every width the fonts draw as empty room.
bool IsBlank(wchar_t c) {
    return c == L' ' || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0x3164 || c == 0xFEFF;
}

constexpr std::size_t kLongestBlankRun = 3;

}  // namespace

std::wstring Showable(const std::wstring& text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const wchar_t c = text[i];
        if (IsBlank(c)) {
            std::size_t run = 0;
            while (i + run < text.size() && IsBlank(text[i + run])) ++run;
            shown += run > kLongestBlankRun ? L"<" + std::to_wstring(run) + L" blanks>"
                                            : text.substr(i, run);
            i += run;
            continue;
        }
        ++i;
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

std::wstring CutInTheMiddle(const std::wstring& text, std::size_t keep) {
    if (text.size() <= keep) return text;
    std::size_t head = (keep + 1) / 2, tail = keep / 2;
    // Never half a character of two code units.
    if (head > 0 && text[head - 1] >= 0xD800 && text[head - 1] <= 0xDBFF) --head;
    if (tail > 0 && text[text.size() - tail] >= 0xDC00 && text[text.size() - tail] <= 0xDFFF) --tail;
    return text.substr(0, head) + L"<" + std::to_wstring(text.size() - head - tail) +
           L" characters cut>" + text.substr(text.size() - tail);
}

std::wstring ShowableWithin(const std::wstring& text, std::size_t limit) {
    const std::wstring shown = Showable(text);
    if (shown.size() <= limit) return shown;
    // Room for what says the cut, "<N characters cut>", N of any length.
    for (std::size_t keep = limit; keep > 0; --keep) {
        std::wstring cut = CutInTheMiddle(shown, keep);
        if (cut.size() <= limit) return cut;
    }
    return CutInTheMiddle(shown, 0);
}

}  // namespace kb
