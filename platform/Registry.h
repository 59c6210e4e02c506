#pragma once
// The registry accessor: one root, at most one open key, opened with full
// access. Callers make one per operation; the key closes with it.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

namespace kb {

class Registry {
public:
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    HKEY Root() const noexcept { return root_; }
    void SetRoot(HKEY root) noexcept;

    // Opens (or with create, creates) the path below the root, read and
    // write. A key that cannot be had with full access is a failure; the
    // key open before stays open then.
    bool OpenKey(const std::wstring& path, bool create);
    void CloseKey() noexcept { key_.reset(); }
    bool HasOpenKey() const noexcept { return static_cast<bool>(key_); }

    std::vector<std::wstring> GetValueNames() const;
    std::vector<std::wstring> GetKeyNames() const;

    // Missing or empty values read as ""; string and expandable-string data
    // up to the first NUL, unexpanded. Any other type with data raises.
    std::wstring ReadString(const std::wstring& name) const;
    // Writes a REG_SZ value; raises when the registry refuses it.
    void WriteString(const std::wstring& name, const std::wstring& text);
    // The same as a REG_EXPAND_SZ value, for restoring one that had that type.
    void WriteExpandString(const std::wstring& name, const std::wstring& text);
    // The value's type; REG_NONE when it cannot be queried.
    DWORD ValueType(const std::wstring& name) const;

    bool ValueExists(const std::wstring& name) const;
    // Whether the path below the root opens for reading; the open key stays.
    bool KeyExists(const std::wstring& path) const;

    bool DeleteValue(const std::wstring& name);
    // Deletes the key below the root and everything under it.
    bool DeleteKey(const std::wstring& path);

private:
    void Write(const std::wstring& name, const std::wstring& text, DWORD type);

    HKEY root_ = HKEY_CURRENT_USER;
    UniqueKey key_;
};

}  // namespace kb
