#include "platform/Registry.h"

#include <cstring>

#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/NewerWindows.h"

namespace kb {

namespace {

std::wstring RelativePath(std::wstring_view path) {
    if (!path.empty() && path.front() == L'\\') path.remove_prefix(1);
    return std::wstring(path);
}

// All subkey or value names of a key, in enumeration order.
std::vector<std::wstring> EnumNames(HKEY key, bool subkeys, std::vector<FILETIME>* written = nullptr) {
    if (InjectFault(FaultPoint::RegistryList)) throw Error(L"Cannot list the registry key", ERROR_CANTREAD);
    std::vector<std::wstring> names;
    DWORD maxKeyLength = 0, maxValueLength = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxKeyLength, nullptr, nullptr,
                       &maxValueLength, nullptr, nullptr, nullptr);
    std::wstring buffer((subkeys ? maxKeyLength : maxValueLength) + 1, L'\0');
    for (DWORD i = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        FILETIME time{};
        const LONG rc = subkeys ? ::RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr,
                                                  nullptr, &time)
                                : ::RegEnumValueW(key, i, buffer.data(), &length, nullptr, nullptr,
                                                  nullptr, nullptr);
        if (rc == ERROR_MORE_DATA && buffer.size() < 65536) {  // a longer name added meanwhile
            buffer.resize(buffer.size() * 2 + 256);
            continue;
        }
        if (rc == ERROR_NO_MORE_ITEMS) return names;
        // A list that stops early would pass for the whole one.
        if (rc != ERROR_SUCCESS) throw Error(L"Cannot list the registry key", static_cast<DWORD>(rc));
        names.emplace_back(buffer.data(), length);
        if (written) written->push_back(time);
        ++i;
    }
}

// Deepest first, and within a key the last subkey first.
LONG DeleteKeyTree(HKEY parent, const std::wstring& path, REGSAM view) {
    {
        UniqueKey key;
        // Listing the subkeys and deleting them: no more rights than that.
        const LONG rc = ::RegOpenKeyExW(parent, path.c_str(), 0,
                                        KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | view,
                                        key.put());
        if (rc != ERROR_SUCCESS) return rc;
        std::vector<std::wstring> names;
        try {
            names = EnumNames(key.get(), true);
        } catch (const Error&) {
            return ERROR_CANTREAD;
        }
        for (auto it = names.rbegin(); it != names.rend(); ++it) DeleteKeyTree(key.get(), *it, view);
    }
    return DeleteRegistryKey(parent, path, view);
}

}  // namespace

std::wstring RegValue::Text() const {
    if (!IsText() || data.empty()) return {};
    // The data need not end in a NUL, and may hold several: text up to the first.
    const auto* chars = reinterpret_cast<const wchar_t*>(data.data());
    std::wstring text(chars, data.size() / sizeof(wchar_t));
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return text;
}

bool RegValue::HoldsOnlyText() const {
    if (data.empty()) return true;
    const std::wstring text = Text();
    const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
    return IsText() && data.size() == size && std::memcmp(data.data(), text.c_str(), size) == 0;
}

OpenedKey RegKey::OpenWith(HKEY root, std::wstring_view path, REGSAM access) {
    UniqueKey key;
    const LONG rc = ::RegOpenKeyExW(root, RelativePath(path).c_str(), 0, access, key.put());
    if (rc != ERROR_SUCCESS) return OpenedKey(rc);
    return RegKey(std::move(key));
}

OpenedKey RegKey::OpenForReading(HKEY root, std::wstring_view path, REGSAM view, REGSAM extra) {
    return OpenWith(root, path, KEY_READ | extra | view);
}

OpenedKey RegKey::OpenForWriting(HKEY root, std::wstring_view path, REGSAM view) {
    CountWriteOpen();
    if (WriteRefused(root)) return OpenedKey(ERROR_ACCESS_DENIED);
    return OpenWith(root, path, KEY_READ | KEY_WRITE | view);
}

OpenedKey RegKey::Create(HKEY root, std::wstring_view path, REGSAM view) {
    return CreateWith(root, path, view, false);
}

OpenedKey RegKey::CreateNew(HKEY root, std::wstring_view path, REGSAM view) {
    return CreateWith(root, path, view, true);
}

OpenedKey RegKey::CreateWith(HKEY root, std::wstring_view path, REGSAM view, bool onlyNew) {
    CountWriteOpen();
    if (InjectFault(FaultPoint::RegistryCreateKey)) return OpenedKey(ERROR_CANTWRITE);
    if (WriteRefused(root)) return OpenedKey(ERROR_ACCESS_DENIED);
    UniqueKey key;
    DWORD disposition = 0;
    const LONG rc =
        ::RegCreateKeyExW(root, RelativePath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE | view, nullptr, key.put(), &disposition);
    if (rc != ERROR_SUCCESS) return OpenedKey(rc);
    if (onlyNew && disposition != REG_CREATED_NEW_KEY) return OpenedKey(ERROR_ALREADY_EXISTS);
    return RegKey(std::move(key));
}

bool RegKey::MayCreate(HKEY root, std::wstring_view path, REGSAM view) {
    CountWriteOpen();
    if (WriteRefused(root)) return false;
    // The key itself takes values; a parent only has to take the subkey.
    REGSAM rights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
    std::wstring relative = RelativePath(path);
    for (;;) {
        const OpenedKey key = OpenWith(root, relative, rights | view);
        if (key) return true;
        if (!key.NotFound()) return false;
        if (relative.empty()) return false;
        const std::size_t slash = relative.rfind(L'\\');
        relative = slash == std::wstring::npos ? std::wstring() : relative.substr(0, slash);
        rights = KEY_CREATE_SUB_KEY;
    }
}

bool RegKey::Exists(HKEY root, std::wstring_view path, REGSAM view) {
    return static_cast<bool>(OpenForReading(root, path, view));
}

LONG RegKey::DeleteTree(HKEY root, std::wstring_view path, REGSAM view) {
    const std::wstring relative = RelativePath(path);
    if (relative.empty()) return ERROR_INVALID_PARAMETER;  // never the root itself
    CountWriteOpen();
    if (InjectFault(FaultPoint::RegistryDeleteKey)) return ERROR_CANTWRITE;
    if (WriteRefused(root)) return ERROR_ACCESS_DENIED;
    return DeleteKeyTree(root, relative, view);
}

LONG RegKey::DeleteIfEmpty(HKEY root, std::wstring_view path, REGSAM view) {
    const std::wstring relative = RelativePath(path);
    if (relative.empty()) return ERROR_INVALID_PARAMETER;
    CountWriteOpen();
    if (InjectFault(FaultPoint::RegistryDeleteKey)) return ERROR_CANTWRITE;
    if (WriteRefused(root)) return ERROR_ACCESS_DENIED;
    {
        UniqueKey key;
        const LONG rc = ::RegOpenKeyExW(root, relative.c_str(), 0, KEY_QUERY_VALUE | view, key.put());
        if (rc != ERROR_SUCCESS) return rc;
        DWORD subkeys = 0, values = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return ERROR_CANTREAD;
        if (subkeys != 0 || values != 0) return ERROR_DIR_NOT_EMPTY;
    }
    return DeleteRegistryKey(root, relative, view);
}

bool RegKey::IsLink(HKEY root, std::wstring_view path, REGSAM view) {
    UniqueKey key;
    if (::RegOpenKeyExW(root, RelativePath(path).c_str(), REG_OPTION_OPEN_LINK,
                        KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    return ::RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           type == REG_LINK;
}

std::vector<std::wstring> RegKey::ValueNames() const {
    return EnumNames(key_.get(), false);
}

std::optional<std::vector<std::pair<std::wstring, RegValue>>> RegKey::Values(
    const std::function<bool()>& breathe) const {
    if (InjectFault(FaultPoint::RegistryList)) throw Error(L"Cannot list the registry key", ERROR_CANTREAD);
    std::vector<std::pair<std::wstring, RegValue>> values;
    DWORD maxName = 0, maxData = 0;
    ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &maxName, &maxData, nullptr, nullptr);
    std::wstring name(maxName + 1, L'\0');
    std::vector<BYTE> data(std::max<DWORD>(maxData, 512));
    int retries = 0;
    for (DWORD i = 0;;) {
        if (breathe && i % 256 == 255 && !breathe()) return std::nullopt;
        DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LONG rc = ::RegEnumValueW(key_.get(), i, name.data(), &nameLength, nullptr, &type,
                                        data.data(), &size);
        if (rc == ERROR_MORE_DATA && ++retries < 8) {  // a longer name or more data meanwhile
            name.resize(name.size() * 2);
            data.resize(std::max<std::size_t>(data.size() * 2, size));
            continue;
        }
        retries = 0;
        if (rc == ERROR_NO_MORE_ITEMS) return values;
        // A list that stops early would pass for the whole one.
        if (rc != ERROR_SUCCESS) throw Error(L"Cannot list the registry key", static_cast<DWORD>(rc));
        values.emplace_back(std::wstring(name.data(), nameLength),
                            RegValue{type, std::vector<BYTE>(data.begin(), data.begin() + size)});
        ++i;
    }
}

std::optional<RegKey::Stamp> RegKey::StampNow() const {
    Stamp stamp;
    if (::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &stamp.values, nullptr, nullptr, nullptr, &stamp.written) != ERROR_SUCCESS)
        return std::nullopt;
    return stamp;
}

std::vector<std::wstring> RegKey::SubkeyNames() const {
    return EnumNames(key_.get(), true);
}

std::vector<std::pair<std::wstring, FILETIME>> RegKey::SubkeysWritten() const {
    std::vector<FILETIME> times;
    const std::vector<std::wstring> names = EnumNames(key_.get(), true, &times);
    std::vector<std::pair<std::wstring, FILETIME>> subkeys;
    for (std::size_t i = 0; i < names.size(); ++i) subkeys.emplace_back(names[i], times[i]);
    return subkeys;
}

std::optional<RegValue> RegKey::TryQuery(const std::wstring& name) const {
    // Most values fit the first buffer, so one query usually does; a larger
    // one (or one that grew meanwhile) is asked for again in its size.
    if (InjectFault(FaultPoint::RegistryReadValue))
        throw Error(L"Cannot read the registry value '" + name + L"' (error " +
                        std::to_wstring(ERROR_ACCESS_DENIED) + L")",
                    ERROR_ACCESS_DENIED);
    RegValue value;
    value.data.resize(512);
    for (;;) {
        DWORD size = static_cast<DWORD>(value.data.size());
        const LONG rc = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &value.type,
                                           value.data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            value.data.resize(size + sizeof(wchar_t));
            continue;
        }
        if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (rc != ERROR_SUCCESS)
            throw Error(L"Cannot read the registry value '" + name + L"' (error " + std::to_wstring(rc) + L")",
                        static_cast<DWORD>(rc));
        value.data.resize(size);
        return value;
    }
}

std::wstring RegKey::ReadString(const std::wstring& name) const {
    const std::optional<RegValue> value = TryQuery(name);
    if (!value) return {};
    if (!value->IsText()) throw Error(L"Invalid data type for '" + name + L"'");
    return value->Text();
}

bool RegKey::HasValue(const std::wstring& name) const {
    return ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

LONG RegKey::SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    if (InjectFault(FaultPoint::RegistryWrite)) return ERROR_WRITE_FAULT;
    return ::RegSetValueExW(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

void RegKey::WriteOrRaise(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    if (const LONG rc = SetValue(name, type, data, size); rc != ERROR_SUCCESS)
        throw Error(L"Failed to set data for '" + name + L"'", static_cast<DWORD>(rc));
}

void RegKey::WriteString(const std::wstring& name, const std::wstring& text, DWORD type) {
    WriteOrRaise(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void RegKey::WriteNumber(const std::wstring& name, DWORD number) {
    WriteOrRaise(name, REG_DWORD, &number, sizeof number);
}

void RegKey::WriteBinary(const std::wstring& name, const void* data, DWORD size) {
    WriteOrRaise(name, REG_BINARY, data, size);
}

void RegKey::WriteBytes(const std::wstring& name, DWORD type, const std::vector<BYTE>& bytes) {
    WriteOrRaise(name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

LONG RegKey::DeleteValue(const std::wstring& name) {
    if (InjectFault(FaultPoint::RegistryDeleteValue)) return ERROR_WRITE_FAULT;
    return ::RegDeleteValueW(key_.get(), name.c_str());
}

}  // namespace kb
