#include "platform/ProcessAccess.h"

#include <vector>

#include "platform/Faults.h"

namespace kb {

namespace {

// The privilege enabled for the life of the object, where the token holds
// it, then put back as it was.
class EnabledPrivilege {
public:
    explicit EnabledPrivilege(const wchar_t* name) {
        LUID id{};
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put()) ||
            !::LookupPrivilegeValueW(nullptr, name, &id))
            return;
        TOKEN_PRIVILEGES wanted{1, {{id, SE_PRIVILEGE_ENABLED}}};
        DWORD size = 0;
        // ERROR_NOT_ALL_ASSIGNED: the token does not hold it, and nothing changed.
        on_ = ::AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof before_, &before_, &size) &&
              ::GetLastError() == ERROR_SUCCESS;
    }
    ~EnabledPrivilege() {
        if (on_) ::AdjustTokenPrivileges(token_.get(), FALSE, &before_, 0, nullptr, nullptr);
    }
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
    bool On() const noexcept { return on_; }

private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES before_{};
    bool on_ = false;
};

HANDLE Open(DWORD processId, DWORD access) {
#if KEEPBOOT_TEST_SEAMS
    // Another account's process, as Windows refuses it: but for the debug privilege.
    if (InjectFault(FaultPoint::ProcessOfAnotherAccount) && !PrivilegeEnabled(SE_DEBUG_NAME)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
#endif
    return ::OpenProcess(access, FALSE, processId);
}

}  // namespace

bool PrivilegeEnabled(const wchar_t* privilege) {
    UniqueHandle token;
    LUID id{};
    DWORD size = 0;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !::LookupPrivilegeValueW(nullptr, privilege, &id))
        return false;
    ::GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return false;
    const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < held->PrivilegeCount; ++i)
        if (held->Privileges[i].Luid.LowPart == id.LowPart && held->Privileges[i].Luid.HighPart == id.HighPart)
            return (held->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

UniqueHandle OpenProcessOfAnyAccount(DWORD processId, DWORD access) {
    UniqueHandle process(Open(processId, access));
    if (process || ::GetLastError() != ERROR_ACCESS_DENIED) return process;
    DWORD error = ERROR_ACCESS_DENIED;
    {
        const EnabledPrivilege debug(SE_DEBUG_NAME);
        if (debug.On()) {
            process.reset(Open(processId, access));
            error = ::GetLastError();
        }
    }
    // Putting the privilege back sets the last error of its own.
    ::SetLastError(process ? ERROR_SUCCESS : error);
    return process;
}

}  // namespace kb
