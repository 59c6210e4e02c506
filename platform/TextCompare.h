#pragma once
#include <string>

namespace kb {

// Whether two texts are equal ignoring letter case, as the file system and
// the registry compare names: by code point, not by the user's locale.
bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b);

}  // namespace kb
