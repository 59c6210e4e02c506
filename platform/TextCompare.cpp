#include "platform/TextCompare.h"

#include <windows.h>

namespace kb {

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FoldCase(const std::wstring& text) {
    if (text.empty()) return text;
    std::wstring folded(text.size(), L'\0');
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                                       static_cast<int>(text.size()), folded.data(),
                                       static_cast<int>(folded.size()), nullptr, nullptr, 0);
    if (length <= 0) return text;
    folded.resize(static_cast<std::size_t>(length));
    return folded;
}

}  // namespace kb
