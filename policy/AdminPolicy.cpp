#include "policy/AdminPolicy.h"

#include <cstring>
#include <type_traits>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/CurrentUser.h"

namespace kb {

namespace {

// The value's number as read; none when it is not there.
struct Read {
    std::optional<DWORD> number;
    std::optional<AdminPolicy::Ignored> ignored;  // it is there, but not a number in range
};

Read ReadValue(const RegKey& key, const AdminPolicyValue& value, const std::wstring& where) {
    using Why = AdminPolicy::Ignored::Why;
    const auto ignored = [&](Why why, DWORD number = 0) {
        return Read{std::nullopt, AdminPolicy::Ignored{where, value.name, why, number, value.lowest, value.highest}};
    };
    std::optional<RegValue> found;
    try {
        found = key.TryQuery(value.name);
    } catch (const Error&) {
        return ignored(Why::Unreadable);
    }
    if (!found) return {};
    // Group Policy writes these as REG_DWORD; anything else is a mistake
    // of whoever wrote it, and no guess is made at what was meant.
    if (found->type != REG_DWORD || found->data.size() != sizeof(DWORD)) return ignored(Why::NotANumber);
    DWORD number = 0;
    std::memcpy(&number, found->data.data(), sizeof number);
    if (number < value.lowest || number > value.highest) return ignored(Why::OutOfRange, number);
    return {number, std::nullopt};
}

std::optional<int> Number(const std::optional<int>& value) {
    return value;
}
std::optional<int> Number(const std::optional<bool>& value) {
    return value ? std::optional<int>(*value ? 1 : 0) : std::nullopt;
}

}  // namespace

const std::vector<AdminPolicyValue>& AdminPolicyValues() {
    static const std::vector<AdminPolicyValue> values = {
        {L"StartupPolicy", 0, 2, &AdminPolicy::startupPolicy},
        {L"StartPagePolicy", 0, 2, &AdminPolicy::startPagePolicy},
        {L"CheckInterval", 1, 86400, &AdminPolicy::intervalSeconds},
        {L"StartAtLogon", 0, 1, &AdminPolicy::selfStart},
        {L"AllowQuit", 0, 1, &AdminPolicy::mayQuit},
    };
    return values;
}

AdminPolicy ReadAdminPolicy() {
    AdminPolicy policy;
    // Group Policy writes the native view; the key is shared by both views
    // on 64-bit Windows, so this is the same key a 64-bit tool reads.
    const REGSAM view = Is64BitWindows() ? KEY_WOW64_64KEY : 0;
    for (const auto& [root, where] : {std::pair{HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE\\"},
                                      std::pair{HKEY_CURRENT_USER, L"HKEY_CURRENT_USER\\"}}) {
        const OpenedKey key = RegKey::OpenForReading(root, kAdminPolicyKey, root == HKEY_LOCAL_MACHINE ? view : 0);
        if (!key) continue;
        for (const AdminPolicyValue& value : AdminPolicyValues()) {
            const Read read = ReadValue(*key, value, where + std::wstring(kAdminPolicyKey));
            if (read.ignored) {
                policy.ignored.push_back(*read.ignored);
                continue;
            }
            if (!read.number) continue;
            // The machine's was read first and wins.
            std::visit(
                [&](auto member) {
                    auto& field = policy.*member;
                    using Field = std::remove_reference_t<decltype(*field)>;
                    if (!field) field = static_cast<Field>(*read.number);
                },
                value.field);
        }
    }
    return policy;
}

std::vector<AdminPolicyChange> AdminPolicyChanges(const AdminPolicy& before, const AdminPolicy& now) {
    std::vector<AdminPolicyChange> changes;
    for (const AdminPolicyValue& value : AdminPolicyValues())
        std::visit(
            [&](auto member) {
                if (before.*member != now.*member)
                    changes.push_back({value.name, Number(now.*member)});
            },
            value.field);
    return changes;
}

}  // namespace kb
