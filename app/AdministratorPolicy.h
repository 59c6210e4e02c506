#pragma once
// The administrator's policy (Group Policy's values for Keepboot): read at
// start and whenever its keys change, laid over the user's settings on the
// settings page, what changed recorded, and the logon start made what it
// says where no rights are needed for that.
#include <functional>
#include <string>

namespace kb {

class HistoryKeeper;
class SelfStart;
class SettingsPage;

class AdministratorPolicy {
public:
    struct Needs {
        SettingsPage& settings;
        HistoryKeeper& history;
        std::function<void(const std::wstring& text)> notice;
        // The interval in force changed (the administrator's, or the user's again).
        std::function<void(int seconds)> interval;
        // Quit, the close box and Start are the administrator's to allow.
        std::function<void(bool locked)> lockQuit;
        // How the program starts itself at logon (none: left alone), and the
        // program it starts.
        std::function<SelfStart*()> selfStart;
        std::function<std::wstring()> executable;
    };
    explicit AdministratorPolicy(Needs needs) : needs_(std::move(needs)) {}

    // Reads the policy again; what changed takes effect at once and is
    // recorded. The first reading is no change: the settings start as it says.
    void Follow();
    // Whether following it has shown the settings' logon-start box.
    bool SelfStartShown() const noexcept { return selfStartShown_; }

private:
    void FollowSelfStart();

    Needs needs_;
    bool read_ = false;
    bool selfStartShown_ = false;
};

}  // namespace kb
