#pragma once
// Registry keys as owned values: opening gives a key or nothing, and every
// read or write goes through a key the caller holds.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Handle.h"

namespace kb {

// A value as it stands: its type and its bytes.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegValue&) const = default;

    // Missing values and values without data read as empty text, as do the
    // two string types; anything else is not text.
    bool IsText() const noexcept {
        return data.empty() || type == REG_SZ || type == REG_EXPAND_SZ;
    }
    // The text up to the first NUL, unexpanded; empty when not text.
    std::wstring Text() const;
    // Whether Text() and one closing NUL are all of the bytes.
    bool HoldsOnlyText() const;
};

class OpenedKey;

class RegKey {
public:
    // Keys are opened with the rights their use needs and no more: Windows
    // lets a standard user read the machine's keys but not write them.
    // view is 0 or one of KEY_WOW64_32KEY / KEY_WOW64_64KEY.
    //
    // The contract is in the name: a Try... read returns none only for "not
    // found" and raises otherwise; a write raises; a deletion returns
    // Windows' code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when already gone,
    // or why not), since a move undoing itself goes on past one that fails.

    // The key below the root, for reading (KEY_READ, plus extra rights such
    // as KEY_NOTIFY).
    static OpenedKey OpenForReading(HKEY root, std::wstring_view path, REGSAM view = 0,
                                    REGSAM extra = 0);
    // The key below the root, for reading and writing its values and
    // subkeys. Only a step that writes opens a key so.
    static OpenedKey OpenForWriting(HKEY root, std::wstring_view path, REGSAM view = 0);
    // The same, creating the key and its missing parents.
    static OpenedKey Create(HKEY root, std::wstring_view path, REGSAM view = 0);
    // The same, for a key that was not there: ERROR_ALREADY_EXISTS when it was.
    static OpenedKey CreateNew(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Whether this process could create (or write) the key below the root:
    // the key, or its nearest existing parent, opens with the rights that
    // needs. Nothing is created.
    static bool MayCreate(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Whether the key below the root opens for reading.
    static bool Exists(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Deletes the key below the root with everything under it; never the
    // root itself. ERROR_SUCCESS, or why not.
    static LONG DeleteTree(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Deletes the key only while it holds no value and no subkey: what
    // another program writes into it meanwhile is never taken with it.
    // ERROR_SUCCESS, ERROR_DIR_NOT_EMPTY when it holds something, or why not.
    static LONG DeleteIfEmpty(HKEY root, std::wstring_view path, REGSAM view = 0);
    // Whether the key at the path is itself a symbolic link to another key
    // (opened without following it).
    static bool IsLink(HKEY root, std::wstring_view path, REGSAM view = 0);

    HKEY get() const noexcept { return key_.get(); }

    // All names in the registry's enumeration order. Raises when the key
    // cannot be enumerated to its end.
    std::vector<std::wstring> ValueNames() const;
    std::vector<std::wstring> SubkeyNames() const;
    // Each subkey with when it was last written, as the listing gives it:
    // no subkey is opened.
    std::vector<std::pair<std::wstring, FILETIME>> SubkeysWritten() const;
    // Every value with its name, in one pass (a key of thousands of values
    // is read in half the calls of listing and querying). Raises as
    // ValueNames does; breathe, when given, is called every few hundred
    // values and stops the reading when it answers false (none is then
    // returned).
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> Values(
        const std::function<bool()>& breathe = {}) const;
    // When the key or one of its values was last written, and how many
    // values it holds; none when it cannot be asked.
    struct Stamp {
        FILETIME written{};
        DWORD values = 0;
        bool operator==(const Stamp& other) const noexcept {
            return written.dwLowDateTime == other.written.dwLowDateTime &&
                   written.dwHighDateTime == other.written.dwHighDateTime &&
                   values == other.values;
        }
    };
    std::optional<Stamp> StampNow() const;

    // The value, or none when it does not exist. Raises when it is there
    // but cannot be read: an unreadable value is never taken for a missing one.
    std::optional<RegValue> TryQuery(const std::wstring& name) const;
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
    // A REG_BINARY value; raises as WriteString does.
    void WriteBinary(const std::wstring& name, const void* data, DWORD size);
    // The bytes as they are, of the type given; raises as WriteString does.
    void WriteBytes(const std::wstring& name, DWORD type, const std::vector<BYTE>& bytes);
    // Deletes the value: a deletion's code.
    LONG DeleteValue(const std::wstring& name);

private:
    explicit RegKey(UniqueKey key) noexcept : key_(std::move(key)) {}
    static OpenedKey OpenWith(HKEY root, std::wstring_view path, REGSAM access);
    static OpenedKey CreateWith(HKEY root, std::wstring_view path, REGSAM view, bool onlyNew);
    // Windows' code for the write.
    LONG SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size);
    void WriteOrRaise(const std::wstring& name, DWORD type, const void* data, DWORD size);
    UniqueKey key_;
};

// What opening a key gave: the key, or why there is none. "Not found"
// (the key or a parent is missing) is told apart from "refused" (it is
// there, but not for this process with the rights asked for).
class OpenedKey {
public:
    OpenedKey(RegKey key) noexcept : key_(std::move(key)) {}
    explicit OpenedKey(LONG error) noexcept : error_(error) {}

    explicit operator bool() const noexcept { return key_.has_value(); }
    RegKey& operator*() noexcept { return *key_; }
    const RegKey& operator*() const noexcept { return *key_; }
    RegKey* operator->() noexcept { return &*key_; }
    const RegKey* operator->() const noexcept { return &*key_; }
    // Hands the key over; an empty optional when none opened.
    std::optional<RegKey> Take() && noexcept { return std::move(key_); }

    LONG Error() const noexcept { return error_; }
    bool NotFound() const noexcept {
        return error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND;
    }
    bool Refused() const noexcept { return error_ == ERROR_ACCESS_DENIED; }

private:
    std::optional<RegKey> key_;
    LONG error_ = ERROR_SUCCESS;
};

}  // namespace kb
