// Reading the item places' entries, live, aside and kept.
#include <algorithm>

#include "platform/Error.h"
#include "platform/IntText.h"
#include "platform/TextCompare.h"
#include "store/Items.h"
#include "store/KeptItems.h"

namespace kb {

namespace {

using NamedValues = std::vector<std::pair<std::wstring, RegValue>>;

// The values by name: a copy written value by value may list in another
// order, and a step's commands run in the order of their names.
void SortByName(NamedValues& values) {
    std::sort(values.begin(), values.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool NotInstalled(const RegValue& value) {
    DWORD number = 1;
    if (value.type != REG_DWORD || value.data.size() != sizeof number) return false;
    std::copy(value.data.begin(), value.data.end(), reinterpret_cast<BYTE*>(&number));
    return number == 0;
}

// What the values of an entry's key start, and, for a step, what its
// Depend subkey loads.
std::wstring CommandOfValues(const NamedValues& values, const NamedValues* depend,
                             ItemPlace::Kind kind) {
    if (kind == ItemPlace::Kind::Components) {
        std::wstring stubPath;
        for (const auto& [name, value] : values) {
            // Windows skips a component marked not installed.
            if (EqualIgnoringCase(name, L"IsInstalled") && NotInstalled(value)) return {};
            if (EqualIgnoringCase(name, L"StubPath") && value.IsText()) stubPath = value.Text();
        }
        return stubPath;
    }
    std::wstring command;
    const auto add = [&](const NamedValues& from) {
        for (const auto& [name, value] : from)
            if (!name.empty() && value.IsText() && !value.Text().empty())
                command += (command.empty() ? L"" : L"; ") + value.Text();
    };
    add(values);
    if (depend) add(*depend);
    return command;
}

// The Depend subkey of a step, found whatever its letter case.
const RegTree* DependOf(const RegTree& tree) {
    for (const auto& [name, subtree] : tree.subkeys)
        if (EqualIgnoringCase(name, L"Depend")) return &subtree;
    return nullptr;
}

// What an entry's key starts, from its own values (and a step's Depend):
// a full check reads every entry of every place, so nothing more.
std::wstring CommandOfKey(const ItemPlace& place, const std::wstring& path) {
    const OpenedKey key = RegKey::OpenForReading(place.root, path, place.view);
    if (!key) return {};
    NamedValues values = key->Values().value_or(NamedValues{});
    SortByName(values);
    if (place.kind != ItemPlace::Kind::Subkeys) return CommandOfValues(values, nullptr, place.kind);
    const OpenedKey depend = RegKey::OpenForReading(place.root, path + L"\\Depend", place.view);
    NamedValues loads = depend ? depend->Values().value_or(NamedValues{}) : NamedValues{};
    SortByName(loads);
    return CommandOfValues(values, depend ? &loads : nullptr, place.kind);
}

}  // namespace

std::wstring SpotKeyPath(const ItemPlace& place, const std::wstring& name, bool isKey,
                         ItemSpot spot, unsigned long kept) {
    switch (spot) {
    case ItemSpot::Live:
        return isKey ? place.keyPath + L"\\" + name : place.keyPath;
    case ItemSpot::Aside:
        return place.keyPath + L"\\" + kAsideKey + (isKey ? L"\\" + name : L"");
    case ItemSpot::Kept:
        return KeptEntryPath(kept);
    }
    return {};
}

std::wstring CommandOf(const RegTree& tree, ItemPlace::Kind kind) {
    const RegTree* depend = kind == ItemPlace::Kind::Subkeys ? DependOf(tree) : nullptr;
    return CommandOfValues(tree.values, depend ? &depend->values : nullptr, kind);
}

void ReadItems(const ItemPlace& place, ItemSpot spot, std::vector<AsideEntry>& items,
               std::vector<SkippedValue>& skipped) {
    const bool live = spot == ItemSpot::Live;
    const std::wstring path = live ? place.keyPath : place.keyPath + L"\\" + kAsideKey;
    const std::wstring location = place.rootName + L"\\" + path;
    // What a link leads to is no entry of this place.
    if (!live && RegKey::IsLink(place.root, path, place.view)) {
        skipped.push_back(SkippedValue::Unreadable(location, WhyUnreadable::KeyLink));
        return;
    }
    const OpenedKey key = RegKey::OpenForReading(place.root, path, place.view);
    if (!key) {
        if (key.Refused()) skipped.push_back(SkippedValue::Unreadable(location, WhyUnreadable::Denied));
        return;
    }
    try {
        if (place.kind == ItemPlace::Kind::Values) {
            // Values: each the place admits that starts something.
            for (const auto& [name, value] : key->Values().value_or(NamedValues{})) {
                if (!place.Admits(name)) continue;
                if (!value.IsText()) {
                    skipped.push_back(SkippedValue::NotText(location, name));
                    continue;
                }
                if (!value.Text().empty()) items.push_back({place, name, false, value.Text(), spot});
            }
            return;
        }
        // Subkeys: each one that starts something; the aside key is none.
        for (const std::wstring& name : key->SubkeyNames()) {
            if (live && EqualIgnoringCase(name, kAsideKey)) continue;
            std::wstring command = CommandOfKey(place, path + L"\\" + name);
            if (!command.empty()) items.push_back({place, name, true, std::move(command), spot});
        }
    } catch (const Error&) {
        skipped.push_back(SkippedValue::Unreadable(location, WhyUnreadable::Unlisted));
    }
}

void ReadKeptItems(HKEY root, REGSAM view, const std::vector<ItemPlace>& places,
                   std::vector<AsideEntry>& items, std::vector<SkippedValue>& skipped) {
    const std::wstring rootName = root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU";
    if (RegKey::IsLink(root, kKeptKey, view)) {
        skipped.push_back(SkippedValue::Unreadable(rootName + L"\\" + kKeptKey, WhyUnreadable::KeyLink));
        return;
    }
    try {
        std::vector<std::wstring> foreign;
        const std::vector<KeptRecord> records = ReadKeptRecords(root, view, &foreign);
        // Planted by another program: it hides no entry and takes no
        // number, and it is said.
        for (const std::wstring& name : foreign)
            skipped.push_back(SkippedValue::Foreign(rootName + L"\\" + kKeptKey + L"\\" + name));
        for (const KeptRecord& record : records) {
            const auto place = std::find_if(places.begin(), places.end(), [&](const ItemPlace& p) {
                return p.root == root && p.view == view && record.Fits(p);
            });
            if (place == places.end()) continue;
            const std::wstring path = KeptEntryPath(record.number);
            std::wstring command;
            if (record.isKey) {
                command = CommandOfKey(*place, path);
            } else if (const OpenedKey key = RegKey::OpenForReading(root, path, view)) {
                const std::optional<RegValue> value = key->TryQuery(record.name);
                if (value && value->IsText()) command = value->Text();
            }
            if (!command.empty())
                items.push_back({*place, record.name, record.isKey, std::move(command),
                                 ItemSpot::Kept, record.number});
        }
    } catch (const Error&) {
        skipped.push_back(
            SkippedValue::Unreadable(rootName + L"\\" + kKeptKey, WhyUnreadable::Unlisted));
    }
}

std::optional<RegTree> ReadTree(HKEY root, const std::wstring& path, REGSAM view) {
    const OpenedKey key = RegKey::OpenForReading(root, path, view);
    if (!key) return std::nullopt;
    try {
        RegTree tree;
        tree.values = key->Values().value_or(NamedValues{});
        SortByName(tree.values);
        for (const std::wstring& name : key->SubkeyNames()) {
            std::optional<RegTree> subtree = ReadTree(root, path + L"\\" + name, view);
            if (!subtree) return std::nullopt;
            tree.subkeys.emplace(name, std::move(*subtree));
        }
        return tree;
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<FILETIME> LastWrittenBelow(HKEY root, const std::wstring& path, REGSAM view) {
    const OpenedKey key = RegKey::OpenForReading(root, path, view);
    if (!key) return std::nullopt;
    const std::optional<RegKey::Stamp> stamp = key->StampNow();
    if (!stamp) return std::nullopt;
    FILETIME newest = stamp->written;
    try {
        for (const std::wstring& name : key->SubkeyNames())
            if (const std::optional<FILETIME> below = LastWrittenBelow(root, path + L"\\" + name, view);
                below && ::CompareFileTime(&*below, &newest) > 0)
                newest = *below;
    } catch (const Error&) {
        return std::nullopt;
    }
    return newest;
}

}  // namespace kb
