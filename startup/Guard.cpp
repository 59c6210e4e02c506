#include "startup/Guard.h"

#include <windows.h>

#include <algorithm>

#include "platform/ScopeExit.h"
#include "startup/Inventory.h"
#include "startup/Store.h"

namespace kb {

bool SameName(const std::wstring& a, const std::wstring& b) {
    // An exact match is the usual case and far cheaper than the locale's.
    return a == b || ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(),
                                      static_cast<int>(a.size()), b.c_str(),
                                      static_cast<int>(b.size())) == CSTR_EQUAL;
}

namespace {

template <typename Entry, typename Name>
bool Contains(const std::vector<Entry>& entries, const std::wstring& name, Name nameOf) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return nameOf(e) == name; }) ||
           std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return SameName(nameOf(e), name); });
}

}  // namespace

void StartupGuard::Reload() {
    if (shutDown_) return;
    Inventory fresh;
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    fresh.live = ReadLiveEntries(folders_, liveSkipped);
    fresh.stored = ReadStoredEntries(storeSkipped);
    known_ = std::move(fresh);
    loaded_ = true;
    NoteSkipped(liveSkipped_, liveSkipped);
    NoteSkipped(storeSkipped_, storeSkipped);
}

bool StartupGuard::KnowsValue(const std::wstring& name) const {
    return Contains(known_.live.values, name, [](const RunValueEntry& e) -> const std::wstring& {
        return e.name;
    });
}

bool StartupGuard::KnowsShortcut(const std::wstring& name) const {
    return Contains(known_.live.shortcuts, name,
                    [](const ShortcutEntry& e) -> const std::wstring& { return e.name; });
}

void StartupGuard::Check(Policy policy, const Ask& ask, const Allowed& allowed) {
    if (checking_ || shutDown_ || policy == Policy::Allow) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    if (!loaded_) return Reload();

    std::vector<SkippedValue> skipped;
    const LiveEntries scan = ReadLiveEntries(folders_, skipped);
    NoteSkipped(liveSkipped_, skipped);

    // Only the name counts, each kind among its own; an entry allowed
    // earlier in this check makes a later one of its name known.
    const auto decide = [&](const std::wstring& name) {
        return policy == Policy::DisableSilently ? Decision::Disable : ask(name);
    };
    for (const RunValueEntry& entry : scan.values) {
        if (KnowsValue(entry.name)) continue;
        const Decision decision = decide(entry.name);
        if (shutDown_) return;
        if (decision == Decision::Disable) DisableRunValue(entry);
        if (decision == Decision::Allow) {
            known_.live.values.push_back(entry);
            allowed(entry);
        }
    }
    for (const ShortcutEntry& entry : scan.shortcuts) {
        if (KnowsShortcut(entry.name)) continue;
        const Decision decision = decide(entry.name);
        if (shutDown_) return;
        if (decision == Decision::Disable) DisableShortcut(entry, folders_);
        if (decision == Decision::Allow) {
            known_.live.shortcuts.push_back(entry);
            allowed(entry);
        }
    }
}

bool StartupGuard::Move(const StartupEntry& entry) {
    if (!MoveEntry(entry, folders_)) return false;
    // What the user enabled is allowed: known before any reload.
    if (const auto* stored = std::get_if<StoredRunEntry>(&entry)) {
        RunKeyPlace place{nullptr, stored->hkey, stored->key};
        known_.live.values.push_back({std::move(place), stored->item, stored->command, REG_SZ});
    } else if (const auto* shortcut = std::get_if<StoredShortcutEntry>(&entry)) {
        known_.live.shortcuts.push_back({shortcut->location, {}, shortcut->item, std::nullopt});
    }
    return true;
}

void StartupGuard::NoteSkipped(std::set<SkippedValue>& lastSeen,
                               const std::vector<SkippedValue>& now) {
    std::set<SkippedValue> seen(now.begin(), now.end());
    for (const SkippedValue& value : seen)
        if (!lastSeen.contains(value)) unreported_.push_back(value);
    lastSeen = std::move(seen);
}

std::vector<SkippedValue> StartupGuard::TakeNewlySkipped() {
    return std::exchange(unreported_, {});
}

}  // namespace kb
