#pragma once
// Who runs this process, and which Windows.
#include <optional>
#include <string>

namespace kb {

// This process's user as a SID string ("S-1-5-21-..."); empty when it
// cannot be told.
std::wstring CurrentUserSid();
// Whether the SID is the Administrators group's or the system's.
bool IsAdministratorsOrSystem(void* sid);
// Whether the text is a SID in its string form.
bool IsSidText(const std::wstring& text);
// An account as its name (DOMAIN\\name) where the text is a SID the
// machine can name; else the text as it is.
std::wstring AccountNameOf(const std::wstring& account);

// Whether this is Windows Vista or later (else XP).
bool IsVistaOrLater();
// Whether this 32-bit program runs on 64-bit Windows.
bool Is64BitWindows();

// Tests only: stand in for another user, or another Windows; none ends it.
void SetCurrentUserSidForTesting(std::optional<std::wstring> sid);
void SetVistaOrLaterForTesting(std::optional<bool> vistaOrLater);

}  // namespace kb
