#pragma once
#include <string>

namespace kb {

// Whether two texts are equal ignoring letter case, as the file system and
// the registry compare names: by code point, not by the user's locale.
bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b);

// The text in upper case, the same for every locale: a key under which
// texts equal ignoring case meet (confirm with EqualIgnoringCase).
std::wstring FoldCase(const std::wstring& text);

}  // namespace kb
