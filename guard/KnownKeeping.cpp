#include "guard/KnownKeeping.h"

#include <algorithm>

#include "guard/EntryIdentity.h"
#include "platform/TextCompare.h"
#include "store/Store.h"
#include "places/TaskManager.h"

namespace kb {

namespace {

template <typename Place, typename Places>
const Place* PlaceAt(const Places& places, const std::wstring& location) {
    const auto it = std::find_if(places.begin(), places.end(),
                                 [&](const Place& p) { return EqualIgnoringCase(p.Location(), location); });
    return it == places.end() ? nullptr : &*it;
}

}  // namespace

bool OfTheMachine(const RunValueEntry& e) {
    return e.place.root == HKEY_LOCAL_MACHINE;
}

bool OfTheMachine(const ShortcutEntry& e) {
    return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
}

bool OfTheMachine(const AsideEntry& e) {
    return e.place.root == HKEY_LOCAL_MACHINE;
}

namespace {

// An entry's line in the record: its kind, where, its name, what it starts.
std::vector<std::wstring> RecordLine(const RunValueEntry& e, const StartupFolders&) {
    return {L"value", e.place.Location(), e.name, e.command};
}

std::vector<std::wstring> RecordLine(const ShortcutEntry& e, const StartupFolders& folders) {
    return {L"file", e.location, folders.FolderOf(e.location), e.fileName, e.command};
}

std::vector<std::wstring> RecordLine(const AsideEntry& e, const StartupFolders&) {
    return {L"item", e.place.Location(), e.isKey ? L"key" : L"value", e.name, e.command};
}

}  // namespace

RecordLines LinesOf(const LiveEntries& live, bool machine, const StartupFolders& folders) {
    // What starts nothing is not on record: it is new once it starts.
    RecordLines lines;
    ForEachLiveKind([&]<typename Entry>() {
        for (const Entry& e : ListOf<Entry>(live))
            if (OfTheMachine(e) == machine && Starts(e)) lines.push_back(RecordLine(e, folders));
    });
    return lines;
}

void AddEntriesOf(const RecordLines& lines, const StartupFolders& folders, LiveEntries& live) {
    for (const std::vector<std::wstring>& f : lines) {
        if (f.size() == 4 && f[0] == L"value") {
            if (const RunKeyPlace* place = PlaceAt<RunKeyPlace>(RunKeyPlaces(), f[1]))
                live.values.push_back({*place, f[2], f[3], REG_SZ, false, {}});
        } else if (f.size() == 5 && f[0] == L"file") {
            // Known where the folder was; a folder that moved since is new.
            const std::wstring& folder = folders.FolderOf(f[1]);
            if (folder.empty() || !SamePath(folder, f[2]) || !IsPlainItem(f[3])) continue;
            ShortcutEntry entry;
            entry.location = EqualIgnoringCase(f[1], kCommonStartupLocation) ? kCommonStartupLocation
                                                                             : kStartupLocation;
            entry.fileName = f[3];
            entry.path = folder + L"\\" + f[3];
            entry.name = f[3].substr(0, f[3].rfind(L'.'));
            entry.command = f[4];
            live.shortcuts.push_back(std::move(entry));
        } else if (f.size() == 5 && f[0] == L"item") {
            const ItemPlace* place = PlaceAt<ItemPlace>(ItemPlaces(), f[1]);
            const bool isKey = f[2] == L"key";
            if (place && isKey == (place->kind != ItemPlace::Kind::Values) && place->Admits(f[3]))
                live.items.push_back({*place, f[3], isKey, f[4], ItemSpot::Live});
        }
    }
}

}  // namespace kb
