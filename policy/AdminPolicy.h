#pragma once
// The policy an administrator sets for many machines through Group Policy:
// values under Software\Policies\Keepboot of the machine and of the user,
// which override the user's own settings while they are there.
#include <windows.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kb {

// The policy keys, below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
inline constexpr wchar_t kAdminPolicyKey[] = L"Software\\Policies\\Keepboot";

// What the administrator set; none where nothing (valid) is set.
struct AdminPolicy {
    std::optional<int> startupPolicy;    // "StartupPolicy": an item index, 0 to 2
    std::optional<int> startPagePolicy;  // "StartPagePolicy": the same
    std::optional<int> intervalSeconds;  // "CheckInterval": 1 to 86400
    std::optional<bool> selfStart;       // "StartAtLogon"
    std::optional<bool> mayQuit;         // "AllowQuit": 0 locks Quit and the close box

    // A value of the wrong type or out of its range: ignored, and said.
    struct Ignored {
        enum class Why {
            Unreadable,  // it could not be read
            NotANumber,  // not a REG_DWORD
            OutOfRange,  // number is not between lowest and highest
        };
        std::wstring where;  // the key, as the user reads it
        std::wstring name;
        Why why = Why::Unreadable;
        DWORD number = 0, lowest = 0, highest = 0;
        bool operator==(const Ignored&) const = default;
    };
    std::vector<Ignored> ignored;

    bool operator==(const AdminPolicy&) const = default;
    bool SetsAnything() const noexcept {
        return startupPolicy || startPagePolicy || intervalSeconds || selfStart || mayQuit;
    }
    bool QuitLocked() const noexcept { return mayQuit && !*mayQuit; }
};

// One value the program reads there: its name, the range of its DWORD, and
// the member it sets.
struct AdminPolicyValue {
    const wchar_t* name;
    DWORD lowest, highest;
    std::variant<std::optional<int> AdminPolicy::*, std::optional<bool> AdminPolicy::*> field;
};
// Every value the program reads, in the order the settings page shows them
// (the administrative template defines exactly these).
const std::vector<AdminPolicyValue>& AdminPolicyValues();

// Reads both policy keys: the machine's value wins where both set one, as
// Group Policy's machine settings do. A key that cannot be read sets
// nothing.
AdminPolicy ReadAdminPolicy();

// One value that changed between two readings: what it is now, none for
// one removed.
struct AdminPolicyChange {
    std::wstring name;
    std::optional<int> now;
    bool operator==(const AdminPolicyChange&) const = default;
};
// What changed between two readings, in the order of AdminPolicyValues();
// empty when nothing did.
std::vector<AdminPolicyChange> AdminPolicyChanges(const AdminPolicy& before, const AdminPolicy& now);

}  // namespace kb
