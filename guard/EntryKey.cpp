#include "guard/EntryKey.h"

#include <windows.h>

#include "logon/LogonValues.h"

namespace kb {

namespace {

constexpr wchar_t kValue[] = L"value", kShortcut[] = L"shortcut", kStoredValue[] = L"stored-value",
                  kStoredShortcut[] = L"stored-shortcut", kItem[] = L"item", kLogonValue[] = L"logon-value";

// Where an item is: "on" (live), "aside", or "kept <n>".
std::wstring SpotText(const AsideEntry& e) {
    switch (e.spot) {
    case ItemSpot::Live: return L"on";
    case ItemSpot::Aside: return L"aside";
    case ItemSpot::Kept: return L"kept " + std::to_wstring(e.kept);
    }
    return {};
}

std::wstring StoreText(StoreKind store) {
    return store == StoreKind::User ? L"user" : L"shared";
}

// How many texts follow the kind.
std::size_t FieldsOf(const std::wstring& kind) {
    if (kind == kValue) return 4;
    if (kind == kShortcut) return 1;
    if (kind == kStoredValue || kind == kStoredShortcut) return 3;
    if (kind == kItem) return 6;
    if (kind == kLogonValue) return 2;
    return 0;
}

template <typename Entry, typename Matches>
std::optional<StartupEntry> Find(const std::vector<Entry>& entries, Matches matches) {
    for (const Entry& e : entries)
        if (matches(e)) return StartupEntry(e);
    return std::nullopt;
}

}  // namespace

std::vector<std::wstring> KeyOf(const StartupEntry& entry) {
    struct Visitor {
        std::vector<std::wstring> operator()(const RunValueEntry& e) const {
            return {kValue, e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath,
                    e.name};
        }
        std::vector<std::wstring> operator()(const ShortcutEntry& e) const {
            return {kShortcut, e.path};
        }
        std::vector<std::wstring> operator()(const StoredRunEntry& e) const {
            return {kStoredValue, StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
        }
        std::vector<std::wstring> operator()(const StoredShortcutEntry& e) const {
            return {kStoredShortcut, StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
        }
        std::vector<std::wstring> operator()(const AsideEntry& e) const {
            return {kItem, e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath,
                    e.name, e.isKey ? L"key" : L"value", SpotText(e)};
        }
        // The value as the user saw it: another one now is not restored.
        std::vector<std::wstring> operator()(const LogonValueEntry& e) const {
            return {kLogonValue, std::to_wstring(e.index), TextOf(e.value)};
        }
    };
    return std::visit(Visitor{}, entry);
}

std::optional<StartupEntry> FindByKey(const Inventory& inventory,
                                      const std::vector<std::wstring>& texts, std::size_t& at) {
    if (at >= texts.size()) return std::nullopt;
    const std::wstring& kind = texts[at];
    const std::size_t fields = FieldsOf(kind);
    if (fields == 0 || texts.size() - at - 1 < fields) {
        at = texts.size();
        return std::nullopt;
    }
    const auto field = [&](std::size_t i) -> const std::wstring& { return texts[at + 1 + i]; };
    const auto sameStore = [&](const auto& e) {
        return StoreText(e.store) == field(0) && std::to_wstring(e.storeView) == field(1) &&
               e.subkey == field(2);
    };
    std::optional<StartupEntry> found;
    // Names compare exactly: the key was made from the same reading's kind.
    if (kind == kValue)
        found = Find(inventory.live.values, [&](const RunValueEntry& e) {
            return e.place.rootName == field(0) && std::to_wstring(e.place.view) == field(1) &&
                   e.place.keyPath == field(2) && e.name == field(3);
        });
    else if (kind == kShortcut)
        found = Find(inventory.live.shortcuts, [&](const ShortcutEntry& e) { return e.path == field(0); });
    else if (kind == kItem)
        found = Find(inventory.live.items, [&](const AsideEntry& e) {
            return e.place.rootName == field(0) && std::to_wstring(e.place.view) == field(1) &&
                   e.place.keyPath == field(2) && e.name == field(3) &&
                   (e.isKey ? L"key" : L"value") == field(4) && SpotText(e) == field(5);
        });
    else if (kind == kLogonValue)
        found = Find(inventory.logonValues, [&](const LogonValueEntry& e) {
            return std::to_wstring(e.index) == field(0) && TextOf(e.value) == field(1);
        });
    else if (kind == kStoredValue)
        found = Find(inventory.stored.values, sameStore);
    else
        found = Find(inventory.stored.shortcuts, sameStore);
    at += 1 + fields;
    return found;
}

}  // namespace kb
