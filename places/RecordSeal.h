#pragma once
// The seal of the records the user's programs could write: an HMAC-SHA256
// (RFC 2104) keyed by a secret only administrators and the system may read,
// kept below HKEY_LOCAL_MACHINE. A Keepboot with administrator rights
// seals what it writes below the user's key and trusts there only what
// bears its seal; one without them cannot read the secret and seals
// nothing, as no program of the user can.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kb {

inline constexpr wchar_t kSealKey[] = L"Software\\Keepboot\\Seal";

// The secret, made the first time by a process with administrator rights;
// none for a process without them.
std::optional<std::vector<BYTE>> SealSecret();

// Whether something of that mark (a user's record, by the user's SID and
// its name) was sealed before; and marking it so. Administrators only: a
// program of the user can neither read nor write the mark.
bool WasSealed(const std::wstring& mark);
void MarkSealed(const std::wstring& mark);

// The seal of the bytes under the secret, as hex digits; empty when the
// hashing failed.
std::wstring SealOf(const std::vector<BYTE>& secret, const void* data, std::size_t size);

}  // namespace kb
