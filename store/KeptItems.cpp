#include "store/KeptItems.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "store/NumberedKeys.h"

namespace kb {

namespace {

constexpr wchar_t kPlaceValue[] = L"Place", kNameValue[] = L"Name", kKindValue[] = L"Kind";
constexpr wchar_t kEntryKey[] = L"Entry";


}  // namespace

bool KeptRecord::Fits(const ItemPlace& place) const {
    return EqualIgnoringCase(placePath, place.keyPath) &&
           isKey == (place.kind != ItemPlace::Kind::Values) && !name.empty() && place.Admits(name) &&
           !EqualIgnoringCase(name, kAsideKey);
}

std::wstring KeptRecordPath(unsigned long number) {
    return std::wstring(kKeptKey) + L"\\" + std::to_wstring(number);
}

std::wstring KeptEntryPath(unsigned long number) {
    return KeptRecordPath(number) + L"\\" + kEntryKey;
}

std::vector<KeptRecord> ReadKeptRecords(HKEY root, REGSAM view, std::vector<std::wstring>* foreign) {
    std::vector<KeptRecord> records;
    const OpenedKey kept = RegKey::OpenForReading(root, kKeptKey, view);
    if (!kept) {
        if (kept.NotFound()) return records;
        throw Error(L"Cannot read Keepboot's kept entries");
    }
    for (const std::wstring& name : kept->SubkeyNames()) {
        KeptRecord record;
        const std::optional<unsigned long> number = NumberOfKeyName(name);
        const OpenedKey key = number ? RegKey::OpenForReading(root, KeptRecordPath(*number), view)
                                     : OpenedKey{static_cast<LONG>(ERROR_FILE_NOT_FOUND)};
        const auto valueOf = [&](const wchar_t* value) { return key ? key->TryQuery(value) : std::nullopt; };
        const std::optional<RegValue> place = valueOf(kPlaceValue), entryName = valueOf(kNameValue),
                                      kind = valueOf(kKindValue);
        if (!place || !place->IsText() || !entryName || !entryName->IsText() || !kind ||
            !kind->IsText() || (kind->Text() != L"key" && kind->Text() != L"value")) {
            if (foreign) foreign->push_back(name);
            continue;
        }
        record.number = *number;
        record.placePath = place->Text();
        record.name = entryName->Text();
        record.isKey = kind->Text() == L"key";
        records.push_back(std::move(record));
    }
    std::sort(records.begin(), records.end(),
              [](const KeptRecord& a, const KeptRecord& b) { return a.number < b.number; });
    return records;
}

unsigned long NextKeptNumber(HKEY root, REGSAM view) {
    std::vector<std::wstring> names;
    if (const OpenedKey kept = RegKey::OpenForReading(root, kKeptKey, view)) {
        try {
            names = kept->SubkeyNames();
        } catch (const Error&) {
            // Unlisted: a move to a number that is taken finds it there, and
            // stops before anything of it is done.
        }
    }
    return FreeNumber(names);
}

LONG WriteKeptRecord(HKEY root, REGSAM view, const KeptRecord& record) {
    OpenedKey key = RegKey::Create(root, KeptRecordPath(record.number), view);
    if (!key) return key.Error();
    try {
        key->WriteString(kPlaceValue, record.placePath);
        key->WriteString(kNameValue, record.name);
        key->WriteString(kKindValue, record.isKey ? L"key" : L"value");
    } catch (const Error&) {
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

void DropKeptRecordIfEmpty(HKEY root, REGSAM view, unsigned long number) {
    // The entry's key goes only when nothing is left in it.
    RegKey::DeleteIfEmpty(root, KeptEntryPath(number), view);
    if (RegKey::Exists(root, KeptEntryPath(number), view)) return;
    RegKey::DeleteTree(root, KeptRecordPath(number), view);
}

}  // namespace kb
