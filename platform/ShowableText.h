#pragma once
// Text from outside (an entry's name, its command) as it may be shown: a
// character that would hide or reorder what is around it is written out.
#include <string>

namespace kb {

// Control characters and the marks that change the direction of text
// (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) become
// "<U+XXXX>"; everything else stays as it is.
std::wstring Showable(const std::wstring& text);

}  // namespace kb
