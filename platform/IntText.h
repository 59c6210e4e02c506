#pragma once
#include <string_view>

namespace kb {

// Reads a whole text as a 32-bit integer, or gives the default.
// Leading blanks, an optional sign, then decimal digits or hexadecimal ones
// after "$", "x", "X", "0x" or "0X". Nothing may follow the digits.
// Decimal values must fit a signed 32-bit integer; hexadecimal ones may have
// at most 8 digits and are taken as the 32-bit pattern they spell.
int StrToIntDef(std::wstring_view text, int defaultValue) noexcept;

}  // namespace kb
