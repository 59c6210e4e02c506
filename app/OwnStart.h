#pragma once
// How Keepboot itself starts: its program file (which also names the
// settings file and the logon start's command), its start at logon, which
// the settings page turns on and off, and a start again with administrator
// rights.
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/services/SelfStart.h"

namespace kb {

class OwnStart {
public:
    // executable: empty for the running program. atLogon: none for the
    // system's way, for the user who runs it.
    OwnStart(std::wstring executable, std::shared_ptr<SelfStart> atLogon);

    const std::wstring& Executable() const noexcept { return executable_; }
    // Whether the logon start is an entry the watch guards (XP's Run value).
    bool AtLogonIsGuarded() const { return atLogon_->GuardedEntry(); }

    // What a look at the logon start, or a change of it, came to.
    struct AtLogon {
        std::optional<bool> registered;  // whether Windows starts it now; none where that could not be told
        std::exception_ptr failure;      // why the change did not happen, or the look did not answer
        bool needsAdministrator = false; // left undone: it takes rights this process has not
    };
    // Each is an errand for a thread other than the window's (the Task
    // Scheduler may not answer, Windows' consent waits for the user), owning
    // what it uses.
    //
    // Whether Windows starts the program at logon.
    std::function<AtLogon()> LookAtLogon() const;
    // Makes or removes the logon start at the user's word. Making it is an
    // administrator's on later Windows: an elevated instance does it when
    // this one may not; a failure when neither did.
    std::function<AtLogon()> ChangeAtLogon(HWND owner, bool on) const;
    // Makes it what the administrator's policy says, where no rights are
    // needed for that: none are asked for unbidden.
    std::function<AtLogon()> FollowAtLogon(bool wanted) const;
    // Starts the program again with administrator rights, to take over once
    // this one ends; watching, when this one does. Whether it started.
    bool RestartElevated(HWND owner, bool watching) const;

private:
    std::wstring executable_;
    std::shared_ptr<SelfStart> atLogon_;
};

}  // namespace kb
