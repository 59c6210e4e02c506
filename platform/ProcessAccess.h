#pragma once
// Opening another process as an administrator may. Windows grants what the
// process's security descriptor grants, by default only its own user and
// the system, and grants any access to a caller whose debug privilege is
// enabled (a privilege only administrators hold by default). So an
// instance given the rights of another account (an administrator's
// password typed for a standard user, or XP's Run As) is refused the
// process that asked it, but for that privilege.
#include <windows.h>

#include "platform/Handle.h"

namespace kb {

// The process, opened with these rights: as its security descriptor
// allows, or, where that refuses this process, with the debug privilege
// enabled for that one open and put back as it was. None (GetLastError says
// why) where neither opens it.
UniqueHandle OpenProcessOfAnyAccount(DWORD processId, DWORD access);

// Whether this process's token holds the privilege enabled now.
bool PrivilegeEnabled(const wchar_t* privilege);

}  // namespace kb
