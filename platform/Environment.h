#pragma once
// Text with environment variables in it, as Windows expands it.
#include <string>

namespace kb {

// The text with %NAME% replaced by each variable's value; the text as it
// is when it cannot be expanded.
std::wstring ExpandedEnvironment(const std::wstring& text);

}  // namespace kb
