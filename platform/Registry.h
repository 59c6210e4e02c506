#pragma once
// Registry keys as owned values: opening gives a key or nothing, and every
// read or write goes through a key the caller holds.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Handle.h"

namespace kb {

// A value as it stands: its type and its bytes.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    // Missing values and values without data read as empty text, as do the
    // two string types; anything else is not text.
    bool IsText() const noexcept {
        return data.empty() || type == REG_SZ || type == REG_EXPAND_SZ;
    }
    // The text up to the first NUL, unexpanded; empty when not text.
    std::wstring Text() const;
};

class RegKey {
public:
    // The key below the root, opened for reading and writing. A key that
    // cannot be had with full access (missing, or not writable for this
    // user) is none. view is 0 or one of KEY_WOW64_32KEY / KEY_WOW64_64KEY.
    static std::optional<RegKey> Open(HKEY root, std::wstring_view path, REGSAM view = 0);
    // The same, creating the key and its missing parents.
    static std::optional<RegKey> Create(HKEY root, std::wstring_view path, REGSAM view = 0);
    // The key below the root, opened for reading only.
    static std::optional<RegKey> OpenForReading(HKEY root, std::wstring_view path,
                                                REGSAM view = 0);
    // Whether the key below the root opens for reading.
    static bool Exists(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Deletes the key below the root with everything under it; never the
    // root itself.
    static bool DeleteTree(HKEY root, std::wstring_view path, REGSAM view = 0);

    HKEY get() const noexcept { return key_.get(); }

    // All names in the registry's enumeration order. Raises when the key
    // cannot be enumerated to its end.
    std::vector<std::wstring> ValueNames() const;
    std::vector<std::wstring> SubkeyNames() const;

    // The value, or none when it does not exist.
    std::optional<RegValue> Query(const std::wstring& name) const;
    // Missing or empty values read as ""; string and expandable-string data
    // up to the first NUL, unexpanded. Any other type with data raises
    // "Invalid data type for '<name>'".
    std::wstring ReadString(const std::wstring& name) const;
    bool HasValue(const std::wstring& name) const;

    // Writes text as a REG_SZ (or, given, REG_EXPAND_SZ) value; raises
    // "Failed to set data for '<name>'" when the registry refuses it.
    void WriteString(const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
    // A REG_DWORD value; raises as WriteString does.
    void WriteNumber(const std::wstring& name, DWORD number);
    // A REG_BINARY value; false when the registry refuses it.
    bool WriteBinary(const std::wstring& name, const void* data, DWORD size);
    bool DeleteValue(const std::wstring& name);

private:
    explicit RegKey(UniqueKey key) noexcept : key_(std::move(key)) {}
    static std::optional<RegKey> OpenWith(HKEY root, std::wstring_view path, REGSAM access);
    bool Write(const std::wstring& name, DWORD type, const void* data, DWORD size);
    UniqueKey key_;
};

}  // namespace kb
