#include "guard/EntryKey.h"

#include <algorithm>

#include "guard/EntryKinds.h"

namespace kb {

namespace {

// Calls f(list) for each list of the inventory.
template <typename F>
void ForEachList(const Inventory& inventory, F&& f) {
    ForEachLiveKind([&]<typename Entry>() { f(ListOf<Entry>(inventory.live)); });
    f(inventory.stored.values);
    f(inventory.stored.shortcuts);
    f(inventory.logonValues);
}

// How many texts a key says follow its count: digits only, as KeyOf wrote
// them, and few.
std::optional<std::size_t> CountIn(const std::wstring& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    std::size_t count = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        count = count * 10 + static_cast<std::size_t>(c - L'0');
    }
    return count;
}

}  // namespace

std::vector<std::wstring> KeyOf(const StartupEntry& entry) {
    std::vector<std::wstring> texts = std::visit([](const auto& e) { return KeyTextsOf(e); }, entry);
    // How many texts follow, after the kind: a reader passes over a key of
    // a kind it does not know.
    texts.insert(texts.begin() + 1, std::to_wstring(texts.size() - 1));
    return texts;
}

std::optional<StartupEntry> FindByKey(const Inventory& inventory,
                                      const std::vector<std::wstring>& texts, std::size_t& at) {
    if (at >= texts.size()) return std::nullopt;
    const std::optional<std::size_t> fields = at + 1 < texts.size() ? CountIn(texts[at + 1]) : std::nullopt;
    if (!fields || *fields > texts.size() - at - 2) {
        at = texts.size();  // malformed: nothing after it can be read either
        return std::nullopt;
    }
    const std::wstring& kind = texts[at];
    const auto named = texts.begin() + static_cast<std::ptrdiff_t>(at + 2);
    at += 2 + *fields;
    // Names compare exactly: the key was made from the same reading's kind.
    std::optional<StartupEntry> found;
    ForEachList(inventory, [&](const auto& entries) {
        // Every entry of a list is of one kind: the others' are passed over whole.
        if (found || entries.empty() || KeyTextsOf(entries.front()).front() != kind) return;
        for (const auto& e : entries) {
            if (found) return;
            const std::vector<std::wstring> key = KeyTextsOf(e);
            if (key.size() == *fields + 1 && key[0] == kind && std::equal(key.begin() + 1, key.end(), named))
                found = StartupEntry(e);
        }
    });
    return found;
}

}  // namespace kb
