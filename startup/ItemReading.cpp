#include <algorithm>

#include "platform/Error.h"
#include "platform/TextCompare.h"
#include "startup/Items.h"

namespace kb {

namespace {

bool Listed(const ItemPlace& place, bool enabled, const std::wstring& name) {
    // Moved aside, every value there is one of ours to list.
    if (!enabled || place.names.empty()) return true;
    return std::any_of(place.names.begin(), place.names.end(),
                       [&](const std::wstring& n) { return EqualIgnoringCase(n, name); });
}

using NamedValues = std::vector<std::pair<std::wstring, RegValue>>;

}  // namespace

std::wstring CommandOf(std::vector<std::pair<std::wstring, RegValue>> values, ItemPlace::Kind kind) {
    std::wstring command;
    // By name, whatever order the registry lists them in.
    std::sort(values.begin(), values.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, value] : values) {
        if (!value.IsText() || value.Text().empty()) continue;
        if (kind == ItemPlace::Kind::Components) {
            if (EqualIgnoringCase(name, L"StubPath")) return value.Text();
            continue;
        }
        command += (command.empty() ? L"" : L"; ") + value.Text();
    }
    return command;
}

void ReadItems(const ItemPlace& place, bool enabled, std::vector<AsideEntry>& items,
               std::vector<SkippedValue>& skipped) {
    const std::wstring path = enabled ? place.keyPath : place.keyPath + L"\\" + kAsideKey;
    const OpenedKey key = RegKey::OpenForReading(place.root, path, place.view);
    const std::wstring location = place.rootName + L"\\" + path;
    if (!key) {
        if (key.Refused()) skipped.push_back(SkippedValue::Unreadable(location, L"access is denied"));
        return;
    }
    try {
        if (place.kind == ItemPlace::Kind::Values) {
            // Values: each listed one that starts something.
            for (const auto& [name, value] : key->Values().value_or(NamedValues{})) {
                if (!Listed(place, enabled, name)) continue;
                if (!value.IsText()) {
                    skipped.push_back(SkippedValue::NotText(location, name));
                    continue;
                }
                if (!value.Text().empty()) items.push_back({place, name, false, value.Text(), enabled});
            }
        }
        if (place.kind != ItemPlace::Kind::Values) {
            // Subkeys: each one that starts something; the aside key is none.
            for (const std::wstring& name : key->SubkeyNames()) {
                if (enabled && EqualIgnoringCase(name, kAsideKey)) continue;
                // Its own values only: what it starts is in them, and a full
                // check reads every entry of every place.
                const OpenedKey subkey = RegKey::OpenForReading(place.root, path + L"\\" + name, place.view);
                if (!subkey) continue;
                std::wstring command =
                    CommandOf(subkey->Values().value_or(NamedValues{}), place.kind);
                if (!command.empty()) items.push_back({place, name, true, std::move(command), enabled});
            }
        }
    } catch (const Error&) {
        skipped.push_back(SkippedValue::Unreadable(location, L"it could not be listed"));
    }
}

std::optional<RegTree> ReadTree(HKEY root, const std::wstring& path, REGSAM view) {
    const OpenedKey key = RegKey::OpenForReading(root, path, view);
    if (!key) return std::nullopt;
    try {
        RegTree tree;
        tree.values = key->Values().value_or(NamedValues{});
        // By name: a copy written value by value may list in another order.
        std::sort(tree.values.begin(), tree.values.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
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

}  // namespace kb
