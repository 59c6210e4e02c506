// The startup inventory: the Run-type keys, the Startup folders and the
// disabled-entry store, read into entry records.
#include "reading/Inventory.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/CurrentUser.h"
#include "platform/Handle.h"
#include "platform/Overloaded.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "places/CommandLine.h"
#include "store/Items.h"
#include "logon/LogonValues.h"
#include "places/TaskManager.h"

namespace kb {

namespace {

// Shortcuts are a few kilobytes; a bigger file is known by time and size.
constexpr std::size_t kKeptShortcutBytes = 64 * 1024;

void ReadRunKey(const RunKeyPlace& place, std::vector<RunValueEntry>& values,
                std::vector<SkippedValue>& skipped, const Breather& breathe) {
    const OpenedKey key = RegKey::OpenForReading(place.root, place.keyPath, place.view);
    if (!key) {
        // Missing is empty; there but refused is not, and is said once.
        if (key.Refused())
            skipped.push_back(SkippedValue::Unreadable(place.Location(), L"access is denied"));
        return;
    }
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> read;
    try {
        read = key->Values(breathe);
    } catch (const Error&) {
        skipped.push_back(SkippedValue::Unreadable(place.Location(), L"its values could not be listed"));
        return;
    }
    if (!read) throw ReadingStopped();
    const TaskManagerSwitches switches(place.root, place.approvedKey);
    for (const auto& [name, value] : *read) {
        if (!value.IsText()) {
            skipped.push_back(SkippedValue::NotText(place.Location(), name));
            continue;
        }
        RunValueEntry entry{place, name, value.Text(),
                            value.type == REG_EXPAND_SZ ? DWORD{REG_EXPAND_SZ} : DWORD{REG_SZ},
                            switches.Disabled(name), {}};
        if (!value.HoldsOnlyText()) entry.raw = value.data;
        values.push_back(std::move(entry));
    }
}

// A folder that is missing holds nothing; one that is there but could not
// be listed (or is no folder) holds what it held, which the caller keeps.
// Why, or nothing when the folder is simply not there.
std::optional<std::wstring> WhyUnlisted(const std::wstring& folder, DWORD error) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    const bool notFound = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD why = ::GetLastError();
        if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) return std::nullopt;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"it is not a folder";
    } else if (notFound) {
        return std::nullopt;  // a folder holding no shortcut
    }
    if (error == ERROR_ACCESS_DENIED) return L"access is denied";
    return L"it could not be listed (error " + std::to_wstring(error) + L")";
}

// Whether a listed name is a file Windows starts at logon: folders are not
// opened, nor is the folder's own desktop.ini, which the shell knows by its
// being hidden and system; Explorer opens one without those like any file.
bool StartsAtLogon(const WIN32_FIND_DATAW& found) {
    constexpr DWORD kFolderSettings = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(EqualIgnoringCase(found.cFileName, L"desktop.ini") &&
             (found.dwFileAttributes & kFolderSettings) == kFolderSettings);
}

void ReadStartupFolder(const std::wstring& location, const std::wstring& folder,
                       std::vector<ShortcutEntry>& shortcuts, std::vector<SkippedValue>& skipped,
                       ShortcutCache* cache) {
    // An unknown folder would make the pattern "\*", the root of the drive.
    if (folder.empty()) return;
    const TaskManagerSwitches switches(TaskManagerRootOf(location), kTaskManagerFolderKey);
    ShortcutCache::Folder known = cache ? cache->Take(folder) : ShortcutCache::Folder{};
    const std::size_t first = shortcuts.size();
    const auto unreadable = [&](DWORD error) {
        const std::optional<std::wstring> why = WhyUnlisted(folder, error);
        if (cache) cache->Put(folder, why ? std::move(known) : ShortcutCache::Folder{});
        if (!why) return;
        // Nothing of a listing that stopped part-way passes for the folder.
        shortcuts.resize(first);
        skipped.push_back(SkippedValue::Unreadable(folder, *why));
    };
    ShortcutCache::Folder now;
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!listing) return unreadable(::GetLastError());
    do {
        if (!StartsAtLogon(found)) continue;
        const std::wstring fileName = found.cFileName;
        const std::wstring path = folder + L"\\" + fileName;
        ShortcutCache::Reading reading{found.ftLastWriteTime,
                                       (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                                           found.nFileSizeLow,
                                       std::nullopt, std::nullopt};
        if (cache && reading.size <= kKeptShortcutBytes)
            reading.bytes = ReadSmallFile(path, kKeptShortcutBytes);
        const auto before = known.find(fileName);
        const bool same = before != known.end() && before->second.link &&
                          ::CompareFileTime(&before->second.written, &reading.written) == 0 &&
                          before->second.size == reading.size &&
                          before->second.bytes == reading.bytes;
        reading.link = same ? before->second.link : ReadLinkOf(path);
        ShortcutEntry entry = StartupFileEntry(location, path, reading.link);
        entry.disabledByTaskManager = switches.Disabled(fileName);
        now[fileName] = std::move(reading);
        shortcuts.push_back(std::move(entry));
    } while (::FindNextFileW(listing.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) return unreadable(error);
    if (cache) cache->Put(folder, std::move(now));
}

// The files the other lister moved aside into the folder's own subfolder.
// A subfolder that is a link leads elsewhere: what is there is no entry.
void ReadAsideFiles(const std::wstring& location, const std::wstring& folder,
                    std::vector<ShortcutEntry>& shortcuts, std::vector<SkippedValue>& skipped) {
    if (folder.empty()) return;
    const std::wstring aside = folder + L"\\" + kAsideKey;
    if (IsLink(aside)) {
        skipped.push_back(SkippedValue::Unreadable(aside, L"it is a link to another folder, not followed"));
        return;
    }
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((aside + L"\\*").c_str(), &found));
    if (!listing) return;
    do {
        if (!StartsAtLogon(found)) continue;
        const std::wstring path = aside + L"\\" + found.cFileName;
        ShortcutEntry entry = StartupFileEntry(location, path, ReadLinkOf(path));
        entry.aside = true;
        shortcuts.push_back(std::move(entry));
    } while (::FindNextFileW(listing.get(), &found));
}

}  // namespace

ShortcutCache::Folder ShortcutCache::Take(const std::wstring& folder) {
    const auto it = folders_.find(folder);
    if (it == folders_.end()) return {};
    Folder readings = std::move(it->second);
    folders_.erase(it);
    return readings;
}

void ShortcutCache::Put(const std::wstring& folder, Folder readings) {
    folders_[folder] = std::move(readings);
}

LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped,
                            const PlaceSelection& selection, ShortcutCache* cache,
                            const Breather& breathe) {
    LiveEntries live;
    std::vector<ItemPlace> itemPlaces;
    const std::vector<LivePlace>& places = LivePlaces();
    for (PlaceId id = 0; id < places.size(); ++id) {
        if (!selection.Has(id)) continue;
        std::visit(Overloaded{
                       [&](const RunKeyPlace& key) { ReadRunKey(key, live.values, skipped, breathe); },
                       [&](const ItemPlace& items) {
                           for (const ItemSpot spot : {ItemSpot::Live, ItemSpot::Aside})
                               ReadItems(items, spot, live.items, skipped);
                           itemPlaces.push_back(items);
                       },
                       [&](const StartupFolderPlace& folder) {
                           const std::wstring& path = folder.FolderIn(folders);
                           ReadStartupFolder(folder.LocationName(), path, live.shortcuts, skipped, cache);
                           ReadAsideFiles(folder.LocationName(), path, live.shortcuts, skipped);
                       },
                   },
                   places[id]);
    }
    // What Keepboot keeps of the item places in its own key, below each root.
    for (const auto& [root, view] : {std::pair{HKEY_LOCAL_MACHINE, MachineView()},
                                     std::pair{HKEY_CURRENT_USER, REGSAM{0}}})
        if (std::any_of(itemPlaces.begin(), itemPlaces.end(), [&](const ItemPlace& p) { return p.root == root; }))
            ReadKeptItems(root, view, itemPlaces, live.items, skipped);
    // What the other lister moved aside below the Run-type keys.
    selection.ForEach<RunKeyPlace>([&](PlaceId, const RunKeyPlace& key) {
        ReadItems(AsidePlaceOf(key), ItemSpot::Aside, live.items, skipped);
    });
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

PlaceStamp StampOf(const RunKeyPlace& place) {
    const auto stampOf = [](HKEY root, const std::wstring& path, REGSAM view) {
        const OpenedKey key = RegKey::OpenForReading(root, path, view);
        return key ? key->StampNow() : std::nullopt;
    };
    return {stampOf(place.root, place.keyPath, place.view),
            SwitchesStamp(place.root, place.approvedKey)};
}

std::vector<StartupEntry> Inventory::InListOrder() const {
    std::vector<StartupEntry> entries;
    const auto add = [&](const auto& list) { entries.insert(entries.end(), list.begin(), list.end()); };
    add(live.values);
    add(live.items);
    add(logonValues);
    // The live shortcuts, and any other kind of live entry after them.
    ForEachLiveKind([&]<typename Entry>() {
        if constexpr (!std::is_same_v<Entry, RunValueEntry> && !std::is_same_v<Entry, AsideEntry>)
            add(ListOf<Entry>(live));
    });
    add(stored.values);
    add(stored.shortcuts);
    return entries;
}

EntryDetails DetailsOf(const StartupEntry& entry) {
    const auto ofCommand = [](const std::wstring& command, std::wstring from) {
        ProgramAndArguments parts = SplitCommandLine(command);
        return EntryDetails{std::move(parts.program), std::move(parts.arguments), std::move(from), {}};
    };
    return std::visit(
        Overloaded{
            [&](const RunValueEntry& e) { return ofCommand(e.command, e.place.Location()); },
            [](const ShortcutEntry& e) {
                auto [program, arguments] = ProgramOf(e.path, e.link);
                return EntryDetails{std::move(program), std::move(arguments), e.path.substr(0, e.path.rfind(L'\\')),
                                    {}};
            },
            [&](const AsideEntry& e) { return e.Enabled() ? ofCommand(e.command, e.place.Location()) : EntryDetails{}; },
            [](const LogonValueEntry& e) { return DetailsOf(LogonValues().at(e.index), e.value, std::nullopt); },
            // A stored entry starts nothing from anywhere.
            [](const StoredRunEntry&) { return EntryDetails{}; },
            [](const StoredShortcutEntry&) { return EntryDetails{}; },
        },
        entry);
}

EntryText TextOf(const StartupEntry& entry) {
    struct Visitor {
        EntryText operator()(const RunValueEntry& e) const {
            return {e.name, e.command, e.place.Location(), !e.disabledByTaskManager};
        }
        EntryText operator()(const ShortcutEntry& e) const {
            return {e.name, e.command, e.location, !e.disabledByTaskManager && !e.aside};
        }
        EntryText operator()(const StoredRunEntry& e) const {
            // Where it would go, and that it will not: no guarded place, or
            // another user's.
            return {e.item, e.command,
                    !IsGuardedRunKey(e.hkey, e.key) ? e.Location() + L" (no startup place: stays stored)"
                    : Theirs(e.user)                ? e.Location() + L" (another user's)"
                                                    : e.Location(),
                    false};
        }
        EntryText operator()(const StoredShortcutEntry& e) const {
            const std::wstring& location = e.locationName.empty() ? e.location : e.locationName;
            return {e.item, e.command, Theirs(e.user) ? location + L" (another user's)" : location, false};
        }
        static bool Theirs(const std::wstring& user) { return !user.empty() && user != CurrentUserSid(); }
        EntryText operator()(const AsideEntry& e) const {
            return {e.name, e.command, e.place.Location(), e.Enabled()};
        }
        EntryText operator()(const LogonValueEntry& e) const {
            const LogonValue& value = LogonValues().at(e.index);
            return {value.name, TextOf(e.value), value.Location(), true};
        }
    };
    return std::visit(Visitor{}, entry);
}

}  // namespace kb
