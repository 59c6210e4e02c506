// The guard's known set: how two entries are told to be the same, how the
// known entries are looked up, and how a reading or a move changes them.
#include <algorithm>
#include <iterator>
#include <variant>

#include "platform/Overloaded.h"
#include "platform/TextCompare.h"
#include "guard/EntryIdentity.h"
#include "guard/Guard.h"
#include "reading/Inventory.h"

namespace kb {

// The same place and name, as Windows tells entries apart: the key (in its
// view) or the folder, and the name compared by code point ignoring case.
bool StartupGuard::SameEntry(const RunValueEntry& a, const RunValueEntry& b) const {
    return EqualIgnoringCase(a.name, b.name) &&
           EqualIgnoringCase(a.place.Location(), b.place.Location());
}

bool StartupGuard::SameEntry(const ShortcutEntry& a, const ShortcutEntry& b) const {
    const std::wstring& folderA = folders_.FolderOf(a.location);
    return EqualIgnoringCase(a.fileName, b.fileName) && !folderA.empty() &&
           folderA == folders_.FolderOf(b.location);
}

bool StartupGuard::SameEntry(const AsideEntry& a, const AsideEntry& b) const {
    return a.isKey == b.isKey && EqualIgnoringCase(a.name, b.name) &&
           EqualIgnoringCase(a.place.Location(), b.place.Location());
}

std::wstring StartupGuard::IndexKey(const AsideEntry& e) const {
    return FoldCase(e.place.Location()) + (e.isKey ? L"\nkey\n" : L"\nvalue\n") + FoldCase(e.name);
}

std::wstring StartupGuard::IndexKey(const RunValueEntry& e) const {
    return FoldCase(e.place.Location()) + L"\n" + FoldCase(e.name);
}

std::wstring StartupGuard::IndexKey(const ShortcutEntry& e) const {
    return folders_.FolderOf(e.location) + L"\n" + FoldCase(e.fileName);
}

const StartupGuard::KnownIndex& StartupGuard::Index() const {
    // Built once for the many look-ups of a check: a linear search per
    // entry made a check of 15,000 values take seconds.
    if (!index_) {
        index_.emplace();
        for (std::size_t i = 0; i < known_.live.values.size(); ++i)
            index_->values.emplace(IndexKey(known_.live.values[i]), i);
        for (std::size_t i = 0; i < known_.live.shortcuts.size(); ++i)
            index_->shortcuts.emplace(IndexKey(known_.live.shortcuts[i]), i);
        for (std::size_t i = 0; i < known_.live.items.size(); ++i)
            index_->items.emplace(IndexKey(known_.live.items[i]), i);
    }
    return *index_;
}

template <typename Entry>
std::vector<const Entry*> StartupGuard::Namesakes(const Entry& entry) const {
    const KnownIndex& index = Index();
    const std::vector<Entry>& known = ListOf<Entry>(known_.live);
    const auto& byName = ListOf<Entry>(index);
    // In the order they were added: the last one has the latest word.
    std::vector<std::size_t> found;
    const auto [first, last] = byName.equal_range(IndexKey(entry));
    for (auto it = first; it != last; ++it)
        if (SameEntry(known[it->second], entry)) found.push_back(it->second);
    std::sort(found.begin(), found.end());
    std::vector<const Entry*> namesakes;
    for (std::size_t i : found) namesakes.push_back(&known[i]);
    return namesakes;
}

template <typename Entry>
const Entry* StartupGuard::KnownAs(const Entry& entry) const {
    const std::vector<const Entry*> namesakes = Namesakes(entry);
    return namesakes.empty() ? nullptr : namesakes.back();
}

template <typename Entry>
bool StartupGuard::Knows(const Entry& entry) const {
    // Known: the same entry starting the same thing; or it starts nothing now.
    // What starts nothing is known as such, and is new once it starts.
    if (!Starts(entry)) return true;
    const std::wstring what = entry.command;
    for (const Entry* k : Namesakes(entry))
        if (Starts(*k) && k->command == what) return true;
    return false;
}

std::optional<std::wstring> StartupGuard::PreviousCommand(const StartupEntry& entry) const {
    const auto previous = [this](const auto& live) -> std::optional<std::wstring> {
        const auto* known = KnownAs(live);
        if (known && Starts(*known) && known->command != live.command) return known->command;
        return std::nullopt;
    };
    // A stored entry or a logon value is not of the known set.
    const auto none = [](const auto&) -> std::optional<std::wstring> { return std::nullopt; };
    return std::visit(Overloaded{[&](const RunValueEntry& e) { return previous(e); },
                                 [&](const ShortcutEntry& e) { return previous(e); },
                                 [&](const AsideEntry& e) { return previous(e); },
                                 [&](const StoredRunEntry& e) { return none(e); },
                                 [&](const StoredShortcutEntry& e) { return none(e); },
                                 [&](const LogonValueEntry& e) { return none(e); }},
                      entry);
}

void StartupGuard::MoveFolders(StartupFolders folders) {
    const auto moved = [&](const ShortcutEntry& k) {
        const std::wstring& folder = folders.FolderOf(k.location);
        return folder.empty() || !SamePath(folder, folders_.FolderOf(k.location));
    };
    std::erase_if(known_.live.shortcuts, moved);
    index_.reset();
    knownChanged_ = true;
    folders_ = std::move(folders);
}

namespace {

// Takes the entries that match out of the vector, in their order.
template <typename Entry, typename Matches>
std::vector<Entry> TakeOut(std::vector<Entry>& entries, Matches matches) {
    std::vector<Entry> taken;
    const auto rest = std::stable_partition(entries.begin(), entries.end(),
                                            [&](const Entry& e) { return !matches(e); });
    std::move(rest, entries.end(), std::back_inserter(taken));
    entries.erase(rest, entries.end());
    return taken;
}

std::wstring KeyOfKnown(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"");
}

std::wstring KeyOfKnown(const ShortcutEntry& e) {
    return e.path + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"") + (e.aside ? L"\naside" : L"");
}

std::wstring KeyOfKnown(const AsideEntry& e) {
    return e.place.Location() + L"\n" + e.name + (e.isKey ? L"\nkey\n" : L"\nvalue\n") + e.command + L"\n" +
           std::to_wstring(static_cast<int>(e.spot)) + L"\n" + std::to_wstring(e.kept);
}

template <typename Entry>
bool SameEntries(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Entry& x, const Entry& y) { return KeyOfKnown(x) == KeyOfKnown(y); });
}

}  // namespace

bool StartupGuard::Differs(const LiveEntries& before, const LiveEntries& now) const {
    return !SameEntries(before.values, now.values) || !SameEntries(before.shortcuts, now.shortcuts) ||
           !SameEntries(before.items, now.items);
}

void StartupGuard::Replace(const PlaceSelection& read, LiveEntries now) {
    index_.reset();
    LiveEntries before;
    std::vector<std::wstring> keysRead, itemsRead, foldersRead;
    read.ForEach<RunKeyPlace>([&](PlaceId, const RunKeyPlace& key) { keysRead.push_back(key.Location()); });
    read.ForEach<ItemPlace>([&](PlaceId, const ItemPlace& items) { itemsRead.push_back(items.Location()); });
    read.ForEach<StartupFolderPlace>([&](PlaceId, const StartupFolderPlace& folder) {
        if (!folder.FolderIn(folders_).empty()) foldersRead.push_back(folder.FolderIn(folders_));
    });
    const auto among = [](const std::vector<std::wstring>& locations, const std::wstring& location) {
        return std::any_of(locations.begin(), locations.end(),
                           [&](const std::wstring& place) { return EqualIgnoringCase(place, location); });
    };
    before.values = TakeOut(known_.live.values,
                            [&](const RunValueEntry& k) { return among(keysRead, k.place.Location()); });
    before.shortcuts = TakeOut(known_.live.shortcuts, [&](const ShortcutEntry& k) {
        const std::wstring& folder = folders_.FolderOf(k.location);
        return std::find(foldersRead.begin(), foldersRead.end(), folder) != foldersRead.end();
    });
    // An item place's entries, and what is moved aside below a Run-type key
    // read with it.
    itemsRead.insert(itemsRead.end(), keysRead.begin(), keysRead.end());
    before.items = TakeOut(known_.live.items, [&](const AsideEntry& k) { return among(itemsRead, k.place.Location()); });
    // What is kept across runs is written again only when it changed.
    if (Differs(before, now)) knownChanged_ = true;
    std::move(now.values.begin(), now.values.end(), std::back_inserter(known_.live.values));
    std::move(now.shortcuts.begin(), now.shortcuts.end(), std::back_inserter(known_.live.shortcuts));
    std::move(now.items.begin(), now.items.end(), std::back_inserter(known_.live.items));
}

void StartupGuard::NoteAllowed(const RunValueEntry& entry) {
    known_.live.values.push_back(entry);
    index_.reset();
    knownChanged_ = true;
}

void StartupGuard::NoteAllowed(const ShortcutEntry& entry) {
    known_.live.shortcuts.push_back(entry);
    index_.reset();
    knownChanged_ = true;
}

void StartupGuard::NoteAllowed(const AsideEntry& entry) {
    known_.live.items.push_back(entry);
    index_.reset();
    knownChanged_ = true;
}

void StartupGuard::NoteMoved(const StartupEntry& entry) {
    // What the user enabled is allowed: known before any reload.
    index_.reset();
    knownChanged_ = true;
    // A file back in its Startup folder is known as it reads now.
    const auto knowFileBack = [this](const std::wstring& location, const std::wstring& fileName) {
        const std::wstring& folder = folders_.FolderOf(location);
        if (folder.empty()) return;
        const std::wstring path = folder + L"\\" + fileName;
        known_.live.shortcuts.push_back(StartupFileEntry(location, path, ReadLinkOf(path)));
    };
    std::visit(Overloaded{
                   [&](const RunValueEntry& value) {
                       if (!value.disabledByTaskManager) return;
                       RunValueEntry on = value;
                       on.disabledByTaskManager = false;
                       known_.live.values.push_back(std::move(on));
                   },
                   [&](const ShortcutEntry& live) {
                       if (live.aside) return knowFileBack(live.location, live.fileName);
                       if (!live.disabledByTaskManager) return;
                       ShortcutEntry on = live;
                       on.disabledByTaskManager = false;
                       known_.live.shortcuts.push_back(std::move(on));
                   },
                   [&](const StoredRunEntry& stored) {
                       RunKeyPlace place{nullptr, stored.hkey, stored.key, 0, {}};
                       known_.live.values.push_back(
                           {std::move(place), stored.item, stored.command, REG_SZ, false, stored.raw});
                   },
                   [&](const AsideEntry& item) {
                       if (!item.Enabled()) KnowItemBack(item);
                   },
                   [&](const StoredShortcutEntry& stored) { knowFileBack(stored.location, stored.fileName); },
                   [](const LogonValueEntry&) {},  // not of the known set
               },
               entry);
}

void StartupGuard::KnowItemBack(const AsideEntry& item) {
    // Back below a Run-type key it is a value of that key; elsewhere an
    // entry of its place.
    const auto runKey = std::find_if(RunKeyPlaces().begin(), RunKeyPlaces().end(), [&](const RunKeyPlace& place) {
        return item.place.names.empty() && item.place.kind == ItemPlace::Kind::Values &&
               EqualIgnoringCase(place.Location(), item.place.Location());
    });
    if (runKey != RunKeyPlaces().end()) {
        known_.live.values.push_back({*runKey, item.name, item.command, REG_SZ, false, {}});
        return;
    }
    AsideEntry back = item;
    back.spot = ItemSpot::Live;
    back.kept = 0;
    known_.live.items.push_back(std::move(back));
}

// The checks in Guard.cpp look up each kind of entry.
template bool StartupGuard::Knows(const RunValueEntry&) const;
template bool StartupGuard::Knows(const ShortcutEntry&) const;
template bool StartupGuard::Knows(const AsideEntry&) const;

}  // namespace kb
