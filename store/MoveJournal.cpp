#include "store/MoveJournal.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "store/NumberedKeys.h"
#include "places/RecordSeal.h"
#include "platform/CurrentUser.h"

namespace kb {

namespace {

constexpr wchar_t kPlaceValue[] = L"Place", kNameValue[] = L"Name", kKindValue[] = L"Kind",
                  kFromValue[] = L"From", kToValue[] = L"To", kCopiedValue[] = L"Copied", kSealValue[] = L"Seal";

// Below the user's key, where any program of the user could write a move:
// the seal of what the record says (see RecordSeal.h).
std::wstring SealOf(const std::vector<BYTE>& secret, const std::wstring& place, const std::wstring& name,
                    const std::wstring& kind, const std::wstring& from, const std::wstring& to) {
    const std::wstring text =
        CurrentUserSid() + L"\n" + place + L"\n" + name + L"\n" + kind + L"\n" + from + L"\n" + to;
    return kb::SealOf(secret, text.data(), text.size() * sizeof(wchar_t));
}

std::wstring RecordPath(unsigned long number) {
    return std::wstring(kMovesKey) + L"\\" + std::to_wstring(number);
}

// A spot as the record writes it: "live", "aside" or "kept <n>".
std::wstring SpotText(ItemSpot spot, unsigned long kept) {
    switch (spot) {
    case ItemSpot::Live: return L"live";
    case ItemSpot::Aside: return L"aside";
    case ItemSpot::Kept: return L"kept " + std::to_wstring(kept);
    }
    return {};
}

bool ParseSpot(const std::wstring& text, ItemSpot& spot, unsigned long& kept) {
    if (text == L"live") spot = ItemSpot::Live;
    else if (text == L"aside") spot = ItemSpot::Aside;
    else if (const std::optional<unsigned long> number =
                 text.starts_with(L"kept ") ? NumberOfKeyName(text.substr(5)) : std::nullopt) {
        spot = ItemSpot::Kept;
        kept = *number;
    } else return false;
    return true;
}

std::optional<std::wstring> TextOf(const RegKey& key, const wchar_t* name) {
    const std::optional<RegValue> value = key.TryQuery(name);
    if (!value || !value->IsText()) return std::nullopt;
    return value->Text();
}

}  // namespace

std::optional<unsigned long> JournalMove(const ItemMove& move, LONG& error) {
    const HKEY root = move.place.root;
    const REGSAM view = move.place.view;
    // One past the highest: a record never reuses one being struck off,
    // nor goes into a key planted there meanwhile.
    unsigned long number = 0;
    OpenedKey key(ERROR_ALREADY_EXISTS);
    for (int tries = 0; tries < 8 && !key && key.Error() == ERROR_ALREADY_EXISTS; ++tries) {
        std::vector<std::wstring> names;
        if (const OpenedKey moves = RegKey::OpenForReading(root, kMovesKey, view)) {
            try {
                names = moves->SubkeyNames();
            } catch (const Error&) {
                error = ERROR_CANTREAD;
                return std::nullopt;
            }
        }
        number = FreeNumber(names);
        key = RegKey::CreateNew(root, RecordPath(number), view);
    }
    if (!key) {
        error = key.Error();
        return std::nullopt;
    }
    try {
        const std::wstring kind = move.isKey ? L"key" : L"value";
        key->WriteString(kPlaceValue, move.place.keyPath);
        key->WriteString(kNameValue, move.name);
        key->WriteString(kKindValue, kind);
        key->WriteString(kFromValue, SpotText(move.from, move.fromKept));
        if (root == HKEY_CURRENT_USER)
            if (const std::optional<std::vector<BYTE>> secret = SealSecret())
                key->WriteString(kSealValue, SealOf(*secret, move.place.keyPath, move.name, kind,
                                                    SpotText(move.from, move.fromKept), SpotText(move.to, move.toKept)));
        // The destination last: a record without it is no move, and nothing
        // of the move has started.
        key->WriteString(kToValue, SpotText(move.to, move.toKept));
    } catch (const Error&) {
        key->DeleteValue(kToValue);
        RegKey::DeleteTree(root, RecordPath(number), view);
        error = ERROR_CANTWRITE;
        return std::nullopt;
    }
    return number;
}

void JournalCopied(const ItemMove& move, unsigned long number) {
    if (OpenedKey key = RegKey::OpenForWriting(move.place.root, RecordPath(number), move.place.view)) {
        try {
            key->WriteNumber(kCopiedValue, 1);
        } catch (const Error&) {
            // Unmarked, a move toward a live place is undone at the next
            // start rather than finished: both leave one whole copy.
        }
    }
}

void StrikeOff(const ItemMove& move, unsigned long number) {
    RegKey::DeleteTree(move.place.root, RecordPath(number), move.place.view);
}

std::vector<JournalRecord> ReadJournal(HKEY root, REGSAM view, const std::vector<ItemPlace>& places) {
    std::vector<JournalRecord> records;
    const OpenedKey moves = RegKey::OpenForReading(root, kMovesKey, view);
    if (!moves) return records;
    std::vector<std::wstring> names;
    try {
        names = moves->SubkeyNames();
    } catch (const Error&) {
        return records;
    }
    // Only the moves this program began: below the user's key, where this
    // process may check the administrators' seal, what bears it.
    const std::optional<std::vector<BYTE>> secret = root == HKEY_CURRENT_USER ? SealSecret() : std::nullopt;
    for (const std::wstring& name : names) {
        const std::optional<unsigned long> number = NumberOfKeyName(name);
        if (!number) continue;
        JournalRecord record;
        record.number = *number;
        const OpenedKey key = RegKey::OpenForReading(root, RecordPath(record.number), view);
        if (!key) continue;
        const auto place = TextOf(*key, kPlaceValue), entry = TextOf(*key, kNameValue),
                   kind = TextOf(*key, kKindValue), from = TextOf(*key, kFromValue),
                   to = TextOf(*key, kToValue);
        ItemMove& move = record.move;
        const auto found = std::find_if(places.begin(), places.end(), [&](const ItemPlace& p) {
            return place && p.root == root && p.view == view && EqualIgnoringCase(p.keyPath, *place);
        });
        // Only a move this program makes: between two spots of a guarded
        // place, under a name it admits.
        if (found == places.end() || !entry || entry->empty() || !found->Admits(*entry) || !kind ||
            (*kind != L"key" && *kind != L"value") ||
            (*kind == L"key") != (found->kind != ItemPlace::Kind::Values) || !from || !to ||
            !ParseSpot(*from, move.from, move.fromKept) || !ParseSpot(*to, move.to, move.toKept) ||
            move.from == move.to ||
            (secret && (TextOf(*key, kSealValue).value_or(L"").empty() ||
                        TextOf(*key, kSealValue) != SealOf(*secret, *place, *entry, *kind, *from, *to)))) {
            // Half-written by a move that never started, or not ours to act on.
            RegKey::DeleteTree(root, RecordPath(record.number), view);
            continue;
        }
        move.place = *found;
        move.name = *entry;
        move.isKey = *kind == L"key";
        const std::optional<RegValue> copied = key->TryQuery(kCopiedValue);
        record.copied = copied && copied->type == REG_DWORD && copied->data.size() == 4 &&
                        copied->data[0] == 1;
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace kb
