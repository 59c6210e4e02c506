#pragma once
// The program's own entry in the machine's Run key, which makes Windows
// start it hidden at every logon.
#include <string>

namespace kb {

// The machine's Run key, as the self-start entry names it.
inline constexpr wchar_t kSelfStartKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Writes the value "Keepboot" = "<executable>" -start, or removes it.
// Raises when that cannot be done; removing a value that is not there
// does nothing.
void SetSelfStart(bool on, const std::wstring& executable);

}  // namespace kb
