#include "platform/Environment.h"

#include <windows.h>

namespace kb {

std::wstring ExpandedEnvironment(const std::wstring& text) {
    std::wstring expanded(text.size() + 64, L'\0');
    for (;;) {
        const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                         static_cast<DWORD>(expanded.size()));
        if (length == 0) return text;
        if (length <= expanded.size()) {
            expanded.resize(length - 1);
            return expanded;
        }
        expanded.resize(length);
    }
}

}  // namespace kb
