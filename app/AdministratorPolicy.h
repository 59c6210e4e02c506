#pragma once
// The administrator's policy (Group Policy's values for Keepboot): read at
// start and whenever its keys change, laid over the user's settings on the
// settings page, what changed recorded, and the logon start made what it
// says where no rights are needed for that.
#include <functional>
#include <optional>
#include <utility>
#include <string>

#include "policy/AdminPolicy.h"

namespace kb {

class HistoryKeeper;
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
        // The logon start is to be made what the policy says, where no rights
        // are needed for that (none: left alone). It is done off the
        // window's thread and shown on the settings page when done.
        std::function<void(bool wanted)> followSelfStart;
        // Follow is to be called again after that many milliseconds.
        std::function<void(unsigned milliseconds)> lookAgain;
    };
    // A new reading is taken once it has held this long.
    static constexpr unsigned kQuietMs = 1000;
    explicit AdministratorPolicy(Needs needs) : needs_(std::move(needs)) {}

    // Reads the policy again. What changed takes effect, and is recorded,
    // once the new reading has held kQuietMs: Group Policy rewrites its keys
    // whole at each refresh (its values deleted, then written again), and a
    // refresh that changes nothing changes nothing here, not even for a
    // moment. The first reading is no change: the settings start as it says.
    void Follow();
    // Whether following it has shown the settings' logon-start box.
    bool SelfStartShown() const noexcept { return selfStartShown_; }

private:
    void FollowSelfStart();
    // Whether the reading, unlike the policy in force, has held long enough;
    // if not, a look again is asked for.
    bool Held(const AdminPolicy& now);

    Needs needs_;
    bool read_ = false;
    // A reading unlike the policy in force, and when it was first seen.
    std::optional<std::pair<AdminPolicy, double>> pending_;
    bool selfStartShown_ = false;
};

}  // namespace kb
