#include "store/NumberedKeys.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <set>

namespace kb {

std::optional<unsigned long> NumberOfKeyName(const std::wstring& name) {
    if (name.empty() || name.size() > 10 || name[0] == L'0' || name.find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    errno = 0;
    const unsigned long long number = std::wcstoull(name.c_str(), nullptr, 10);
    if (errno == ERANGE || number > ULONG_MAX) return std::nullopt;
    return static_cast<unsigned long>(number);
}

unsigned long FreeNumber(const std::vector<std::wstring>& names) {
    std::set<unsigned long> taken;
    for (const std::wstring& name : names)
        if (const std::optional<unsigned long> number = NumberOfKeyName(name)) taken.insert(*number);
    if (taken.empty()) return 1;
    if (*taken.rbegin() < ULONG_MAX) return *taken.rbegin() + 1;
    // Planted at the very top: no more than the names there are are taken.
    unsigned long free = 1;
    for (const unsigned long number : taken) {
        if (number != free) break;
        ++free;
    }
    return free;
}

}  // namespace kb
