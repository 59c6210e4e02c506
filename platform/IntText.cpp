#include "platform/IntText.h"

#include <cstdint>

namespace kb {

namespace {

int HexDigit(wchar_t c) noexcept {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

int StrToIntDef(std::wstring_view text, int defaultValue) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';

    std::wstring_view rest = text.substr(i);
    bool hex = false;
    if (rest.starts_with(L"0x") || rest.starts_with(L"0X")) {
        hex = true;
        rest.remove_prefix(2);
    } else if (rest.starts_with(L"$") || rest.starts_with(L"x") || rest.starts_with(L"X")) {
        hex = true;
        rest.remove_prefix(1);
    }
    if (rest.empty()) return defaultValue;

    if (hex) {
        if (rest.size() > 8) return defaultValue;
        std::uint32_t value = 0;
        for (wchar_t c : rest) {
            const int digit = HexDigit(c);
            if (digit < 0) return defaultValue;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        if (negative) value = 0u - value;
        return static_cast<int>(value);
    }

    // Accumulate as a magnitude so that -2147483648 fits and one more does not.
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    std::uint64_t magnitude = 0;
    for (wchar_t c : rest) {
        if (c < L'0' || c > L'9') return defaultValue;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - L'0');
        if (magnitude > limit) return defaultValue;
    }
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude)
                                        : static_cast<std::int64_t>(magnitude);
    return static_cast<int>(value);
}

}  // namespace kb
