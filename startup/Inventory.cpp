// The startup inventory: the Run-type keys, the Startup folders and the
// disabled-entry store, read into entry records.
#include "startup/Inventory.h"

#include "platform/Error.h"
#include "platform/Handle.h"
#include "platform/Registry.h"

namespace kb {

namespace {

void ReadRunKey(const RunKeyPlace& place, std::vector<RunValueEntry>& values,
                std::vector<SkippedValue>& skipped) {
    const std::optional<RegKey> key = RegKey::Open(place.root, place.keyPath);
    if (!key) return;
    for (const std::wstring& name : key->ValueNames()) {
        const std::optional<RegValue> value = key->Query(name);
        if (!value) continue;  // gone since the listing
        if (!value->IsText()) {
            skipped.push_back({place.Location(), name});
            continue;
        }
        values.push_back({place, name, value->Text(),
                          value->type == REG_EXPAND_SZ ? DWORD{REG_EXPAND_SZ} : DWORD{REG_SZ}});
    }
}

void ReadStartupFolder(const std::wstring& location, const std::wstring& folder,
                       std::vector<ShortcutEntry>& shortcuts) {
    // An unknown folder would make the pattern "\*.lnk", the root of the drive.
    if (folder.empty()) return;
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((folder + L"\\*.lnk").c_str(), &found));
    if (!listing) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        throw Error(L"Cannot list the folder " + folder);
    }
    do {
        shortcuts.push_back(ReadShortcut(location, folder, found.cFileName));
    } while (::FindNextFileW(listing.get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) throw Error(L"Cannot list the folder " + folder);
}

}  // namespace

ShortcutEntry ReadShortcut(const std::wstring& location, const std::wstring& folder,
                           const std::wstring& fileName) {
    ShortcutEntry entry{location, folder + L"\\" + fileName,
                        fileName.substr(0, fileName.rfind(L'.')), std::nullopt};
    try {
        ShellLinkData link;
        ReadShellLink(entry.path, link);
        entry.link = std::move(link);
    } catch (const Error&) {
        // A partly read shortcut counts as unread.
    }
    return entry;
}

LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped) {
    LiveEntries live;
    for (const RunKeyPlace& place : RunKeyPlaces()) ReadRunKey(place, live.values, skipped);
    ReadStartupFolder(kCommonStartupLocation, folders.commonStartup, live.shortcuts);
    ReadStartupFolder(kStartupLocation, folders.userStartup, live.shortcuts);
    return live;
}

std::vector<StartupEntry> Inventory::InListOrder() const {
    std::vector<StartupEntry> entries;
    entries.reserve(live.values.size() + live.shortcuts.size() + stored.values.size() +
                    stored.shortcuts.size());
    entries.insert(entries.end(), live.values.begin(), live.values.end());
    entries.insert(entries.end(), live.shortcuts.begin(), live.shortcuts.end());
    entries.insert(entries.end(), stored.values.begin(), stored.values.end());
    entries.insert(entries.end(), stored.shortcuts.begin(), stored.shortcuts.end());
    return entries;
}

EntryText TextOf(const StartupEntry& entry) {
    struct Visitor {
        EntryText operator()(const RunValueEntry& e) const {
            return {e.name, e.command, e.place.Location(), true};
        }
        EntryText operator()(const ShortcutEntry& e) const {
            return {e.name, e.Target(), e.location, true};
        }
        EntryText operator()(const StoredRunEntry& e) const {
            return {e.item, e.command, e.Location(), false};
        }
        EntryText operator()(const StoredShortcutEntry& e) const {
            return {e.item, e.command, e.location, false};
        }
    };
    return std::visit(Visitor{}, entry);
}

}  // namespace kb
