#include "places/RecordSeal.h"

#include <ntsecapi.h>
#include <aclapi.h>
#include <sddl.h>

#include <array>

#include "platform/CurrentUser.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/NewerWindows.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

constexpr wchar_t kSecretValue[] = L"Secret";
constexpr DWORD kSecretSize = 32;
// Owned by the administrators; they and the system alone may even read it.
constexpr wchar_t kSealRights[] = L"O:BAD:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

// Whether the key is the administrators' alone: theirs or the system's,
// and nobody else allowed anything. A key someone else made first (on XP
// a Power User may make keys below HKLM\Software) is no seal's.
bool AdministratorsAlone(HKEY key) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocal descriptor;
    if (::GetSecurityInfo(key, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) !=
            ERROR_SUCCESS ||
        !owner || !dacl || !IsAdministratorsOrSystem(owner))
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return false;
        // An ACE for the keys below it only allows nothing here.
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        if (!IsAdministratorsOrSystem(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)) return false;
    }
    return true;
}

std::optional<std::vector<BYTE>> ReadSecret(HKEY key) {
    if (!AdministratorsAlone(key)) return std::nullopt;
    std::vector<BYTE> secret(kSecretSize);
    DWORD type = 0, size = kSecretSize;
    if (::RegQueryValueExW(key, kSecretValue, nullptr, &type, secret.data(), &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size != kSecretSize)
        return std::nullopt;
    return secret;
}

std::vector<BYTE> Bytes(const std::wstring& hex) {
    std::vector<BYTE> bytes;
    const auto digit = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(digit(hex[i]) * 16 + digit(hex[i + 1])));
    return bytes;
}

}  // namespace

std::optional<std::vector<BYTE>> SealSecret() {
    // Wine lets every process read every key: a standard user is played
    // as Windows treats one.
    if (StandardUserMode()) return std::nullopt;
    const REGSAM view = MachineView();
    UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, KEY_QUERY_VALUE | READ_CONTROL | view, key.put()) ==
        ERROR_SUCCESS)
        if (std::optional<std::vector<BYTE>> secret = ReadSecret(key.get())) return secret;
    key.reset();
    // Made once, with rights no one but the administrators and the system has.
    UniqueLocal descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kSealRights, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr))
        return std::nullopt;
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    // Its parent first, with the rights it inherits: users read the
    // machine's records there.
    UniqueKey parent;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeepbootKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY | view,
                          nullptr, parent.put(), nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_QUERY_VALUE | KEY_SET_VALUE | READ_CONTROL | view, &security, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return std::nullopt;
    if (std::optional<std::vector<BYTE>> secret = ReadSecret(key.get())) return secret;
    std::vector<BYTE> secret(kSecretSize);
    // The system's generator (advapi32's RtlGenRandom, on every Windows
    // since XP): it needs no provider read from the registry.
    if (!AdministratorsAlone(key.get()) || !::RtlGenRandom(secret.data(), kSecretSize) ||
        ::RegSetValueExW(key.get(), kSecretValue, 0, REG_BINARY, secret.data(), kSecretSize) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadSecret(key.get());
}

bool WasSealed(const std::wstring& mark) {
    UniqueKey key;
    DWORD type = 0, value = 0, size = sizeof value;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, KEY_QUERY_VALUE | MachineView(), key.put()) ==
               ERROR_SUCCESS &&
           ::RegQueryValueExW(key.get(), mark.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && value == 1;
}

void MarkSealed(const std::wstring& mark) {
    UniqueKey key;
    const DWORD one = 1;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, KEY_SET_VALUE | MachineView(), key.put()) == ERROR_SUCCESS)
        ::RegSetValueExW(key.get(), mark.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
}

std::wstring SealOf(const std::vector<BYTE>& secret, const void* data, std::size_t size) {
    // RFC 2104, over the system's SHA-256: a key longer than a block is
    // hashed first.
    constexpr std::size_t kBlock = 64;
    std::vector<BYTE> key = secret;
    if (key.size() > kBlock) {
        Sha256 hash;
        hash.Add(key.data(), static_cast<unsigned long>(key.size()));
        key = Bytes(hash.Finish());
    }
    key.resize(kBlock, 0);
    std::array<BYTE, kBlock> inner{}, outer{};
    for (std::size_t i = 0; i < kBlock; ++i) {
        inner[i] = static_cast<BYTE>(key[i] ^ 0x36);
        outer[i] = static_cast<BYTE>(key[i] ^ 0x5c);
    }
    Sha256 first;
    if (!first.Add(inner.data(), kBlock) || !first.Add(data, static_cast<unsigned long>(size))) return {};
    const std::vector<BYTE> digest = Bytes(first.Finish());
    if (digest.size() != 32) return {};
    Sha256 second;
    if (!second.Add(outer.data(), kBlock) || !second.Add(digest.data(), 32)) return {};
    return second.Finish();
}

}  // namespace kb
