#include "store/KeptItems.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

constexpr wchar_t kPlaceValue[] = L"Place", kNameValue[] = L"Name", kKindValue[] = L"Kind";
constexpr wchar_t kEntryKey[] = L"Entry";

// A record's number is its key's name: decimal digits only.
bool ParseNumber(const std::wstring& text, unsigned long& number) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    number = std::wcstoul(text.c_str(), nullptr, 10);
    return number != 0;
}

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

std::vector<KeptRecord> ReadKeptRecords(HKEY root, REGSAM view) {
    std::vector<KeptRecord> records;
    const OpenedKey kept = RegKey::OpenForReading(root, kKeptKey, view);
    if (!kept) {
        if (kept.NotFound()) return records;
        throw Error(L"Cannot read Keepboot's kept entries");
    }
    for (const std::wstring& name : kept->SubkeyNames()) {
        KeptRecord record;
        if (!ParseNumber(name, record.number)) continue;
        const OpenedKey key = RegKey::OpenForReading(root, KeptRecordPath(record.number), view);
        if (!key) continue;
        const std::optional<RegValue> place = key->TryQuery(kPlaceValue), entryName = key->TryQuery(kNameValue),
                                      kind = key->TryQuery(kKindValue);
        if (!place || !place->IsText() || !entryName || !entryName->IsText() || !kind ||
            !kind->IsText() || (kind->Text() != L"key" && kind->Text() != L"value"))
            continue;
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
    unsigned long highest = 0;
    if (const OpenedKey kept = RegKey::OpenForReading(root, kKeptKey, view)) {
        try {
            for (const std::wstring& name : kept->SubkeyNames())
                if (unsigned long number = 0; ParseNumber(name, number)) highest = std::max(highest, number);
        } catch (const Error&) {
        }
    }
    return highest + 1;
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
