#pragma once
// Keepboot's numbered subkeys (kept entries, journal records): each named
// by its number in decimal, without leading zeros, 1 to ULONG_MAX. Any
// other process of the user may plant keys there, so a name is read at
// any length, and a free number is never one a key already has.
#include <optional>
#include <string>
#include <vector>

namespace kb {

// The number a key's name is; none for any other name.
std::optional<unsigned long> NumberOfKeyName(const std::wstring& name);

// A number no key of these names has: one past the highest, so the newest
// is the last; once the highest is the largest there is, the lowest free.
unsigned long FreeNumber(const std::vector<std::wstring>& names);

}  // namespace kb
