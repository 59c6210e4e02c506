// The startup inventory: every live place read by its kind, the logon
// values, and what the list shows of each entry.
#include "reading/Inventory.h"

#include "places/TaskManager.h"

#include "logon/LogonValues.h"
#include "platform/CurrentUser.h"
#include "platform/Overloaded.h"

namespace kb {

LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped,
                            const PlaceSelection& selection, ShortcutCache* cache, const Breather& breathe) {
    LiveEntries live;
    Reading reading{folders, skipped, cache, breathe};
    ForEachKind([&]<typename Kind>() { Kind::Read(selection, reading, live.Of<typename Kind::Entry>()); });
    return live;
}

std::vector<LogonValueEntry> ReadLogonValueEntries() {
    std::vector<LogonValueEntry> entries;
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size(); ++i)
        if (const std::optional<ValueState> state = ReadLogonValue(values[i]);
            state && *state && !IsWindowsDefault(values[i], *state))
            entries.push_back({i, *state});
    return entries;
}

std::vector<StartupEntry> Inventory::InListOrder() const {
    std::vector<StartupEntry> entries;
    const auto add = [&](const auto& list) { entries.insert(entries.end(), list.begin(), list.end()); };
    ForEachLiveKind([&]<typename Entry>() { add(live.Of<Entry>()); });
    add(logonValues);
    add(stored.values);
    add(stored.shortcuts);
    return entries;
}

EntryDetails DetailsOf(const StartupEntry& entry) {
    return std::visit(
        Overloaded{
            [](const LogonValueEntry& e) { return DetailsOf(LogonValues().at(e.index), e.value, std::nullopt); },
            // A stored entry starts nothing from anywhere.
            [](const StoredRunEntry&) { return EntryDetails{}; },
            [](const StoredShortcutEntry&) { return EntryDetails{}; },
            []<typename Entry>(const Entry& e) { return KindOf<Entry>::DetailsOf(e); },
        },
        entry);
}

EntryText TextOf(const StartupEntry& entry) {
    // Another user's entry, which this user's list does not move.
    const auto theirs = [](const std::wstring& user) { return !user.empty() && user != CurrentUserSid(); };
    // Where Windows lists the live places' switches alone, a stored entry
    // one could hold is missing from its lists.
    const auto hidden = [](bool hasSwitch) { return hasSwitch && TaskManagerSwitchesAvailable(); };
    return std::visit(
        Overloaded{
            [&](const StoredRunEntry& e) {
                // Where it would go, and that it will not: no guarded place,
                // or another user's.
                return EntryText{e.item, e.command, e.Location(), false,
                                 !IsGuardedRunKey(e.hkey, e.key) ? EntryText::Note::StaysStored
                                 : theirs(e.user)                ? EntryText::Note::AnotherUsers
                                 : hidden(SwitchPlaceOf(e.hkey, e.key).has_value())
                                     ? EntryText::Note::HiddenFromWindows
                                     : EntryText::Note::None};
            },
            [&](const StoredShortcutEntry& e) {
                // Both Startup folders have their switches.
                return EntryText{e.item, e.command, e.locationName.empty() ? e.location : e.locationName, false,
                                 theirs(e.user) ? EntryText::Note::AnotherUsers
                                 : hidden(true) ? EntryText::Note::HiddenFromWindows
                                                : EntryText::Note::None};
            },
            [](const LogonValueEntry& e) {
                const LogonValue& value = LogonValues().at(e.index);
                return EntryText{value.name, TextOf(e.value), value.Location(), true};
            },
            []<typename Entry>(const Entry& e) { return KindOf<Entry>::TextOf(e); },
        },
        entry);
}

}  // namespace kb
