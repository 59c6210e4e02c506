#include "platform/CurrentUser.h"

#include <windows.h>
#include <sddl.h>

#include "platform/Handle.h"

namespace kb {

namespace {

std::optional<std::wstring>& SidForTesting() {
    static std::optional<std::wstring> sid;
    return sid;
}

std::optional<bool>& VistaForTesting() {
    static std::optional<bool> vista;
    return vista;
}

// The user of this process's token.
std::wstring TokenUserSid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    const UniqueLocal owned(text);
    return text;
}

}  // namespace

bool IsAdministratorsOrSystem(void* sid) {
    for (const WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
        BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
        DWORD size = sizeof buffer;
        if (::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer)) return true;
    }
    return false;
}

std::wstring CurrentUserSid() {
    if (SidForTesting()) return *SidForTesting();
    // A process's user never changes: asked once.
    static const std::wstring sid = TokenUserSid();
    return sid;
}

bool IsSidText(const std::wstring& text) {
    PSID sid = nullptr;
    if (text.empty() || !::ConvertStringSidToSidW(text.c_str(), &sid)) return false;
    ::LocalFree(sid);
    return true;
}

std::wstring AccountNameOf(const std::wstring& account) {
    PSID sid = nullptr;
    if (account.empty() || !::ConvertStringSidToSidW(account.c_str(), &sid)) return account;
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    const bool found = ::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use);
    ::LocalFree(sid);
    if (!found) return account;
    return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

bool Is64BitWindows() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool IsVistaOrLater() {
    if (VistaForTesting()) return *VistaForTesting();
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    const DWORDLONG condition = ::VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&version, VER_MAJORVERSION, condition) != FALSE;
}

void SetCurrentUserSidForTesting(std::optional<std::wstring> sid) {
    SidForTesting() = std::move(sid);
}

void SetVistaOrLaterForTesting(std::optional<bool> vistaOrLater) {
    VistaForTesting() = vistaOrLater;
}

}  // namespace kb
