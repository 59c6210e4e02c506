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

// What an entry is now: a change to any part makes it another.
std::wstring IdentityOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + L"\n" +
           std::to_wstring(e.type);
}

std::wstring IdentityOf(const ShortcutEntry& e) {
    std::wstring identity = e.path;
    if (e.link) {
        for (const std::wstring* text : {&e.link->Target, &e.link->Arguments,
                                         &e.link->WorkingDirectory, &e.link->Description})
            identity += L"\n" + *text;
    }
    return identity;
}

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && e.link && !e.link->Target.empty();
}

}  // namespace

void StartupGuard::Reload() {
    if (shutDown_) return;
    Inventory fresh;
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    fresh.live = ReadLiveEntries(folders_, liveSkipped, {}, &shortcuts_);
    fresh.stored = ReadStoredEntries(storeSkipped);
    known_ = std::move(fresh);
    loaded_ = true;
    NoteSkipped(liveSkipped_, liveSkipped, true);
    NoteSkipped(storeSkipped_, storeSkipped, true);
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

void StartupGuard::Check(Policy policy, const Ask& ask, const Allowed& allowed,
                         const PlaceSelection& places) {
    if (checking_ || shutDown_ || policy == Policy::Allow) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    if (!loaded_) return Reload();

    std::vector<SkippedValue> skipped;
    const LiveEntries scan = ReadLiveEntries(folders_, skipped, places, &shortcuts_);
    // A check of some places only adds to what was seen; what went away is
    // known after a check of them all.
    const bool everyPlace = places.All();
    NoteSkipped(liveSkipped_, skipped, everyPlace);

    // Only the name counts, each kind among its own; an entry allowed
    // earlier in this check makes a later one of its name known. An entry
    // that could not be disabled is not asked about again until it changes.
    std::set<std::wstring> unmovable;
    const auto handle = [&](const auto& entry, const auto& disable, auto& known) {
        // What starts nothing is nothing to guard: what Task Manager disabled,
        // an empty command, a shortcut the shell cannot read (perhaps one
        // still being written: its next change brings it back here).
        if (!Starts(entry)) return;
        const std::wstring identity = IdentityOf(entry);
        if (unmovable_.contains(identity)) {
            unmovable.insert(identity);
            return;
        }
        const Decision decision =
            policy == Policy::DisableSilently ? Decision::Disable : ask(entry);
        if (shutDown_) return;
        if (decision == Decision::Disable && disable(entry) == MoveResult::CannotMove) {
            unmovable.insert(identity);
            unreportedUnmovable_.push_back(TextOf(entry));
        }
        if (decision == Decision::Allow) {
            known.push_back(entry);
            allowed(entry);
        }
    };
    for (const RunValueEntry& entry : scan.values) {
        if (!KnowsValue(entry.name)) handle(entry, DisableRunValue, known_.live.values);
        if (shutDown_) return;
    }
    for (const ShortcutEntry& entry : scan.shortcuts) {
        if (!KnowsShortcut(entry.name))
            handle(
                entry, [this](const ShortcutEntry& e) { return DisableShortcut(e, folders_); },
                known_.live.shortcuts);
        if (shutDown_) return;
    }
    if (everyPlace)
        unmovable_ = std::move(unmovable);
    else
        unmovable_.merge(unmovable);
}

MoveResult StartupGuard::Move(const StartupEntry& entry) {
    const MoveResult result = MoveEntry(entry, folders_);
    if (result != MoveResult::Moved) return result;
    // What the user enabled is allowed: known before any reload.
    if (const auto* stored = std::get_if<StoredRunEntry>(&entry)) {
        RunKeyPlace place{nullptr, stored->hkey, stored->key, 0, {}};
        known_.live.values.push_back({std::move(place), stored->item, stored->command, REG_SZ});
    } else if (const auto* shortcut = std::get_if<StoredShortcutEntry>(&entry)) {
        known_.live.shortcuts.push_back({shortcut->location, {}, shortcut->item, std::nullopt});
    }
    return result;
}

void StartupGuard::NoteSkipped(std::set<SkippedValue>& lastSeen,
                               const std::vector<SkippedValue>& now, bool whole) {
    std::set<SkippedValue> seen(now.begin(), now.end());
    for (const SkippedValue& value : seen)
        if (!lastSeen.contains(value)) unreported_.push_back(value);
    if (whole)
        lastSeen = std::move(seen);
    else
        lastSeen.merge(seen);
}

std::vector<SkippedValue> StartupGuard::TakeNewlySkipped() {
    return std::exchange(unreported_, {});
}

std::vector<EntryText> StartupGuard::TakeNewlyUnmovable() {
    return std::exchange(unreportedUnmovable_, {});
}

}  // namespace kb
