#pragma once
// How Keepboot itself starts: its program file (which also names the
// settings file and the logon start's command), its start at logon, which
// the settings page turns on and off, and a start again with administrator
// rights.
#include <windows.h>

#include <memory>
#include <string>

#include "app/services/SelfStart.h"

namespace kb {

class OwnStart {
public:
    // executable: empty for the running program. atLogon: none for the
    // system's way, for the user who runs it.
    OwnStart(std::wstring executable, std::shared_ptr<SelfStart> atLogon);

    const std::wstring& Executable() const noexcept { return executable_; }
    SelfStart& AtLogon() const noexcept { return *atLogon_; }
    // Makes or removes the logon start. Making it is an administrator's on
    // later Windows: an elevated instance does it when this one may not.
    // Raises when neither did.
    void SetAtLogon(HWND owner, bool on);
    // Starts the program again with administrator rights, to take over once
    // this one ends; watching, when this one does. Whether it started.
    bool RestartElevated(HWND owner, bool watching) const;

private:
    std::wstring executable_;
    std::shared_ptr<SelfStart> atLogon_;
};

}  // namespace kb
