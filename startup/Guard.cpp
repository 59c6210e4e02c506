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

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && e.link && !e.link->Target.empty();
}

// What an enabled shortcut starts, as far as its store entry says.
ShellLinkData RebuiltLink(const StoredShortcutEntry& e) {
    if (e.saved) return *e.saved;
    ShellLinkData link;
    link.Target = e.command;
    return link;
}

// Whether a known entry of that name starts something.
template <typename Entry, typename Name>
bool ContainsStarting(const std::vector<Entry>& entries, const std::wstring& name, Name nameOf) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return Starts(e) && nameOf(e) == name; }) ||
           std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return Starts(e) && SameName(nameOf(e), name); });
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
    return ContainsStarting(known_.live.values, name,
                            [](const RunValueEntry& e) -> const std::wstring& { return e.name; });
}

bool StartupGuard::KnowsShortcut(const std::wstring& name) const {
    return ContainsStarting(known_.live.shortcuts, name,
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
        if (decision == Decision::Disable) {
            MoveResult result = disable(entry);
            // The user who answered may lend the rights; nobody is asked for
            // them behind the user's back.
            if (result == MoveResult::NeedsAdministrator && policy == Policy::Ask && elevate_)
                result = elevate_(entry);
            if (shutDown_) return;
            if (result == MoveResult::CannotMove || result == MoveResult::NeedsAdministrator) {
                unmovable.insert(identity);
                (result == MoveResult::CannotMove ? unreportedUnmovable_ : unreportedWaiting_)
                    .push_back(TextOf(entry));
            }
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
    NoteMoved(entry);
    return result;
}

void StartupGuard::NoteMoved(const StartupEntry& entry) {
    // What the user enabled is allowed: known before any reload.
    if (const auto* value = std::get_if<RunValueEntry>(&entry); value && value->disabledByTaskManager) {
        RunValueEntry on = *value;
        on.disabledByTaskManager = false;
        known_.live.values.push_back(std::move(on));
    } else if (const auto* live = std::get_if<ShortcutEntry>(&entry);
               live && live->disabledByTaskManager) {
        ShortcutEntry on = *live;
        on.disabledByTaskManager = false;
        known_.live.shortcuts.push_back(std::move(on));
    } else if (const auto* stored = std::get_if<StoredRunEntry>(&entry)) {
        RunKeyPlace place{nullptr, stored->hkey, stored->key, 0, {}};
        known_.live.values.push_back({std::move(place), stored->item, stored->command, REG_SZ});
    } else if (const auto* shortcut = std::get_if<StoredShortcutEntry>(&entry)) {
        known_.live.shortcuts.push_back(
            {shortcut->location, {}, shortcut->item, RebuiltLink(*shortcut)});
    }
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

std::vector<EntryText> StartupGuard::TakeNewlyWaitingForAdministrator() {
    return std::exchange(unreportedWaiting_, {});
}

}  // namespace kb
