#include "platform/Registry.h"

#include "platform/Error.h"
#include "platform/Faults.h"

namespace kb {

namespace {

const wchar_t* RelativePath(const std::wstring& path) noexcept {
    return path.c_str() + (!path.empty() && path.front() == L'\\' ? 1 : 0);
}

// All subkey or value names of a key, in enumeration order.
std::vector<std::wstring> EnumNames(HKEY key, bool subkeys) {
    std::vector<std::wstring> names;
    if (!key) return names;
    DWORD maxKeyLength = 0, maxValueLength = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxKeyLength, nullptr, nullptr,
                       &maxValueLength, nullptr, nullptr, nullptr);
    std::wstring buffer((subkeys ? maxKeyLength : maxValueLength) + 1, L'\0');
    for (DWORD i = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG rc = subkeys ? ::RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr,
                                                  nullptr, nullptr)
                                : ::RegEnumValueW(key, i, buffer.data(), &length, nullptr, nullptr,
                                                  nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) {  // a longer name added since the query
            buffer.resize(buffer.size() * 2 + 256);
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), length);
        ++i;
    }
    return names;
}

// Deepest first, and within a key the last subkey first.
bool DeleteTree(HKEY parent, const std::wstring& path) {
    {
        UniqueKey key;
        if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
            return false;
        const std::vector<std::wstring> names = EnumNames(key.get(), true);
        for (auto it = names.rbegin(); it != names.rend(); ++it) DeleteTree(key.get(), *it);
    }
    return ::RegDeleteKeyW(parent, path.c_str()) == ERROR_SUCCESS;
}

}  // namespace

void Registry::SetRoot(HKEY root) noexcept {
    CloseKey();
    root_ = root;
}

bool Registry::OpenKey(const std::wstring& path, bool create) {
    UniqueKey key;
    LONG rc;
    if (create) {
        if (InjectFault(FaultPoint::RegistryCreateKey)) return false;
        rc = ::RegCreateKeyExW(root_, RelativePath(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    } else {
        rc = ::RegOpenKeyExW(root_, RelativePath(path), 0, KEY_ALL_ACCESS, key.put());
    }
    if (rc != ERROR_SUCCESS) return false;
    key_ = std::move(key);
    return true;
}

std::vector<std::wstring> Registry::GetValueNames() const {
    return EnumNames(key_.get(), false);
}

std::vector<std::wstring> Registry::GetKeyNames() const {
    return EnumNames(key_.get(), true);
}

std::wstring Registry::ReadString(const std::wstring& name) const {
    if (!key_) return {};
    // Most values fit the first buffer, so one query usually does; a larger
    // one (or one that grew meanwhile) is asked for again in its size.
    std::vector<BYTE> data(512);
    DWORD type = REG_NONE;
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        const LONG rc =
            ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(size + sizeof(wchar_t));
            continue;
        }
        if (rc != ERROR_SUCCESS || size == 0) return {};
        data.resize(size);
        break;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw Error(L"Invalid data type for '" + name + L"'");
    // The data need not end in a NUL, and may hold several: text up to the first.
    const auto* chars = reinterpret_cast<const wchar_t*>(data.data());
    std::wstring text(chars, data.size() / sizeof(wchar_t));
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return text;
}

void Registry::WriteString(const std::wstring& name, const std::wstring& text) {
    Write(name, text, REG_SZ);
}

void Registry::WriteExpandString(const std::wstring& name, const std::wstring& text) {
    Write(name, text, REG_EXPAND_SZ);
}

void Registry::Write(const std::wstring& name, const std::wstring& text, DWORD type) {
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (!key_ || InjectFault(FaultPoint::RegistryWrite) ||
        ::RegSetValueExW(key_.get(), name.c_str(), 0, type,
                         reinterpret_cast<const BYTE*>(text.c_str()), size) != ERROR_SUCCESS)
        throw Error(L"Failed to set data for '" + name + L"'");
}

DWORD Registry::ValueType(const std::wstring& name) const {
    DWORD type = REG_NONE;
    if (!key_ || ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, nullptr) !=
                     ERROR_SUCCESS)
        return REG_NONE;
    return type;
}

bool Registry::ValueExists(const std::wstring& name) const {
    return key_ && ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
}

bool Registry::KeyExists(const std::wstring& path) const {
    UniqueKey key;
    return ::RegOpenKeyExW(root_, RelativePath(path), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool Registry::DeleteValue(const std::wstring& name) {
    if (InjectFault(FaultPoint::RegistryDeleteValue)) return false;
    return key_ && ::RegDeleteValueW(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

bool Registry::DeleteKey(const std::wstring& path) {
    const wchar_t* relative = RelativePath(path);
    if (*relative == L'\0') return false;  // never the root itself
    if (InjectFault(FaultPoint::RegistryDeleteKey)) return false;
    return DeleteTree(root_, relative);
}

}  // namespace kb
