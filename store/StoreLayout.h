#pragma once
// The store's layout, shared by its rooms (the reading, value moves, file
// moves): the values a subkey holds, and how one is read, named and
// written. Only the store's own files include it.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/IntText.h"
#include "platform/Registry.h"
#include "places/Entries.h"
#include "places/MoveResult.h"

namespace kb::store {

// Values of our own, beside the shared ones, which the other utility
// leaves alone. They hold what the shared values cannot, and apply only
// while "command" is still the one they were written for (kOwnCommand):
// if the other utility rewrites the subkey, they are ignored.
inline constexpr wchar_t kOwnCommand[] = L"KeepbootCommand";
inline constexpr wchar_t kValueType[] = L"KeepbootValueType";  // "REG_EXPAND_SZ"
inline constexpr wchar_t kExpandType[] = L"REG_EXPAND_SZ";
inline constexpr wchar_t kArguments[] = L"KeepbootArguments";
inline constexpr wchar_t kWorkingDirectory[] = L"KeepbootWorkingDirectory";
inline constexpr wchar_t kIconLocation[] = L"KeepbootIconLocation";
inline constexpr wchar_t kIconIndex[] = L"KeepbootIconIndex";
inline constexpr wchar_t kShowCommand[] = L"KeepbootShowCommand";
inline constexpr wchar_t kHotKey[] = L"KeepbootHotKey";
inline constexpr wchar_t kDescription[] = L"KeepbootDescription";
// The value's real name, where its subkey (and so "item") could not be it.
inline constexpr wchar_t kRealName[] = L"KeepbootName";
// The value's exact bytes, where its text does not hold them all.
inline constexpr wchar_t kRawData[] = L"KeepbootData";
// A file written here with a copy of its very bytes: its own name in the
// Startup folder, and its attributes.
inline constexpr wchar_t kFileName[] = L"KeepbootFileName";
inline constexpr wchar_t kAttributes[] = L"KeepbootAttributes";
// The SHA-256 of the copy's bytes: a copy changed in its folder (one made
// by another user before Keepboot's own) is never put back.
inline constexpr wchar_t kDigest[] = L"KeepbootDigest";
// Whose entry it was, a SID: the user's own places are one user's, and an
// entry of theirs goes back only to them.
inline constexpr wchar_t kUser[] = L"KeepbootUser";
// The Startup folder a file was in, by name, where the later form writes
// its path as "location".
inline constexpr wchar_t kLocationName[] = L"KeepbootLocation";
// What a file's attributes may be set back to.
inline constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A key name may have 255 characters; room is kept for " (n)".
inline constexpr std::size_t kMaxSubkeyBase = 240;
// How often an entry was disabled into the same subkey (a program that
// puts itself back each time), from the second time on.
inline constexpr wchar_t kDisabledCount[] = L"KeepbootDisabledCount";

HKEY RootFromName(const std::wstring& name);
// A stored shortcut target may carry the quotes the store puts round paths
// with blanks; the shell wants the bare path.
std::wstring Unquoted(const std::wstring& command);
std::wstring RunStorePath(StoreKind store, const std::wstring& subkey);
// The view a store is opened in: the machine's for the shared one.
REGSAM ViewOf(StoreKind store);
bool IsMachineRoot(HKEY root);

// --- reading a subkey --------------------------------------------------------

// Reads text values of one subkey, noting the first shared value that is
// not text; our own values that are not text count as absent.
class SubkeyReader {
public:
    explicit SubkeyReader(const RegKey& key) : key_(key) {}
    std::wstring Shared(const wchar_t* name) {
        const std::optional<RegValue> value = key_.TryQuery(name);
        if (!value) return {};
        if (!value->IsText()) {
            if (!notText_) notText_ = name;
            return {};
        }
        return value->Text();
    }
    std::optional<std::wstring> Own(const wchar_t* name) const {
        const std::optional<RegValue> value = key_.TryQuery(name);
        if (!value || !value->IsText()) return std::nullopt;
        return value->Text();
    }
    int OwnNumber(const wchar_t* name) const { return StrToIntDef(Own(name).value_or(L""), 0); }
    std::vector<BYTE> OwnBytes(const wchar_t* name) const {
        const std::optional<RegValue> value = key_.TryQuery(name);
        return value && value->type == REG_BINARY ? value->data : std::vector<BYTE>();
    }
    // Whether our own values were written for this command.
    bool Ours(const std::wstring& command) const { return Own(kOwnCommand) == command; }
    const wchar_t* NotText() const noexcept { return notText_; }

private:
    const RegKey& key_;
    const wchar_t* notText_ = nullptr;
};

StoredRunEntry ReadRunSubkey(SubkeyReader& read, StoreKind store, const std::wstring& subkey,
                             REGSAM view);
StoredShortcutEntry ReadShortcutSubkey(SubkeyReader& read, StoreKind store,
                                       const std::wstring& subkey, REGSAM view);

// Whether the subkey still holds exactly this entry.
template <typename Entry, typename Read>
bool StillHolds(const std::wstring& path, const Entry& entry, Read read) {
    const OpenedKey key = RegKey::OpenForReading(KeysOf(entry.store).root, path, entry.storeView);
    if (!key) return false;
    SubkeyReader reader(*key);
    return read(reader, entry.store, entry.subkey, entry.storeView) == entry;
}

// --- writing a subkey --------------------------------------------------------

// The subkey of a store key for a new entry: its natural name when that is
// free, holds this very entry already (a pass run again) or holds no entry
// (left half-made); otherwise the first such "name (n)". A name that can
// be no key name is made one: "\" becomes "^", empty becomes "(Default)",
// too long is cut. There is always one: the store has only so many subkeys.
template <typename HoldsThisOrNone>
std::wstring ChooseSubkey(StoreKind store, const std::wstring& storeKey,
                          const std::wstring& natural, HoldsThisOrNone holdsThisOrNone) {
    std::wstring base = natural.empty() ? L"(Default)" : natural;
    std::replace(base.begin(), base.end(), L'\\', L'^');
    if (base.size() > kMaxSubkeyBase) base.resize(kMaxSubkeyBase);
    for (unsigned long n = 1;; ++n) {
        const std::wstring name = n == 1 ? base : base + L" (" + std::to_wstring(n) + L")";
        const OpenedKey existing =
            RegKey::OpenForReading(KeysOf(store).root, storeKey + L"\\" + name, ViewOf(store));
        if (!existing) return name;
        SubkeyReader reader(*existing);
        if (holdsThisOrNone(reader, name)) return name;
    }
}

// When the entry was disabled, as the later form of the store has it;
// harmless to readers of the older one.
void WriteDisabledDate(RegKey& key);

enum class Written { No, Refused, Created, Reused };

// Writes a store subkey in full, in the store's view, with the date. A
// subkey this call created is removed again when a write fails, so no
// half entry is left; the error goes on.
template <typename WriteValues>
Written WriteStoreSubkey(StoreKind store, const std::wstring& path, WriteValues writeValues) {
    const HKEY root = KeysOf(store).root;
    const bool existed = RegKey::Exists(root, path, ViewOf(store));
    std::optional<RegKey> key;
    {
        OpenedKey created = RegKey::Create(root, path, ViewOf(store));
        if (created.Refused()) return Written::Refused;
        key = std::move(created).Take();
    }
    if (!key) return Written::No;
    try {
        writeValues(*key);
        WriteDisabledDate(*key);
        if (existed) {
            const std::optional<RegValue> count = key->TryQuery(kDisabledCount);
            const int before = count ? StrToIntDef(count->Text(), 1) : 1;
            key->WriteString(kDisabledCount, std::to_wstring(before + 1));
        }
    } catch (...) {
        key.reset();
        if (!existed) RegKey::DeleteTree(root, path, ViewOf(store));
        throw;
    }
    return existed ? Written::Reused : Written::Created;
}

// Writes our own value, or removes it where the text is empty: no value
// where there is nothing to keep.
void WriteOwnValue(RegKey& key, const wchar_t* name, const std::wstring& text);

// Whether a store entry may leave its store: its subkey opens for writing.
std::optional<MoveResult> CannotLeaveStore(StoreKind store, const std::wstring& path, REGSAM view);
MoveResult FromError(LONG error);

}  // namespace kb::store
