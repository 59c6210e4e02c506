#include "platform/TextCompare.h"

#include "platform/NewerWindows.h"

namespace kb {

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return OrdinalEqualIgnoringCase(a, b);
}

std::wstring FoldCase(const std::wstring& text) {
    return OrdinalUpperCase(text);
}

}  // namespace kb
