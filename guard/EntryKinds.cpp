#include "guard/EntryKinds.h"

#include <algorithm>

#include "places/TaskManager.h"
#include "platform/TextCompare.h"
#include "store/StoreReading.h"

namespace kb {

namespace {

template <typename Place, typename Places>
const Place* PlaceAt(const Places& places, const std::wstring& location) {
    const auto it = std::find_if(places.begin(), places.end(),
                                 [&](const Place& p) { return EqualIgnoringCase(p.Location(), location); });
    return it == places.end() ? nullptr : &*it;
}

const wchar_t* KeyOrValue(const AsideEntry& e) {
    return e.isKey ? L"key" : L"value";
}

}  // namespace

// A value in a Run-type key.

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

std::wstring IdentityOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + L"\n" + std::to_wstring(e.type);
}

std::wstring KnownStateOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"");
}

bool OfTheMachine(const RunValueEntry& e) {
    return e.place.root == HKEY_LOCAL_MACHINE;
}

std::wstring PlaceReadOf(const RunValueEntry& e, const StartupFolders&) {
    return e.place.Location();
}

bool SameEntry(const RunValueEntry& a, const RunValueEntry& b, const StartupFolders&) {
    return EqualIgnoringCase(a.name, b.name) && EqualIgnoringCase(a.place.Location(), b.place.Location());
}

std::wstring IndexKey(const RunValueEntry& e, const StartupFolders&) {
    return FoldCase(e.place.Location()) + L"\n" + FoldCase(e.name);
}

std::vector<std::wstring> RecordLine(const RunValueEntry& e, const StartupFolders&) {
    return {L"value", e.place.Location(), e.name, e.command};
}

std::optional<RunValueEntry> FromRecordLine(std::type_identity<RunValueEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders&) {
    if (line.size() != 4 || line[0] != L"value") return std::nullopt;
    const RunKeyPlace* place = PlaceAt<RunKeyPlace>(RunKeyPlaces(), line[1]);
    if (!place) return std::nullopt;
    return RunValueEntry{*place, line[2], line[3], REG_SZ, false, {}};
}

// A file in a Startup folder.

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && !e.aside;  // any file, even one the shell cannot read
}

std::wstring IdentityOf(const ShortcutEntry& e) {
    std::wstring identity = e.path + L"\n" + e.command;
    if (e.link) {
        for (const std::wstring* text :
             {&e.link->Target, &e.link->Arguments, &e.link->WorkingDirectory, &e.link->Description})
            identity += L"\n" + *text;
    }
    return identity;
}

std::wstring KnownStateOf(const ShortcutEntry& e) {
    return e.path + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"") + (e.aside ? L"\naside" : L"");
}

bool OfTheMachine(const ShortcutEntry& e) {
    return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
}

std::wstring PlaceReadOf(const ShortcutEntry& e, const StartupFolders& folders) {
    return folders.FolderOf(e.location);
}

bool SameEntry(const ShortcutEntry& a, const ShortcutEntry& b, const StartupFolders& folders) {
    const std::wstring& folderA = folders.FolderOf(a.location);
    return EqualIgnoringCase(a.fileName, b.fileName) && !folderA.empty() && folderA == folders.FolderOf(b.location);
}

std::wstring IndexKey(const ShortcutEntry& e, const StartupFolders& folders) {
    return folders.FolderOf(e.location) + L"\n" + FoldCase(e.fileName);
}

std::vector<std::wstring> RecordLine(const ShortcutEntry& e, const StartupFolders& folders) {
    return {L"file", e.location, folders.FolderOf(e.location), e.fileName, e.command};
}

std::optional<ShortcutEntry> FromRecordLine(std::type_identity<ShortcutEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders& folders) {
    if (line.size() != 5 || line[0] != L"file") return std::nullopt;
    // Known where the folder was; a folder that moved since is new.
    const std::wstring& folder = folders.FolderOf(line[1]);
    if (folder.empty() || !SamePath(folder, line[2]) || !IsPlainItem(line[3])) return std::nullopt;
    ShortcutEntry entry;
    entry.location = EqualIgnoringCase(line[1], kCommonStartupLocation) ? kCommonStartupLocation : kStartupLocation;
    entry.fileName = line[3];
    entry.path = folder + L"\\" + line[3];
    entry.name = line[3].substr(0, line[3].rfind(L'.'));
    entry.command = line[4];
    return entry;
}

// An entry of an item place, or a value aside below a Run-type key.

bool Starts(const AsideEntry& e) {
    return e.Enabled() && !e.command.empty();
}

std::wstring IdentityOf(const AsideEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + KeyOrValue(e) + L"\n" + e.command;
}

std::wstring KnownStateOf(const AsideEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + KeyOrValue(e) + L"\n" + e.command + L"\n" +
           std::to_wstring(static_cast<int>(e.spot)) + L"\n" + std::to_wstring(e.kept);
}

bool OfTheMachine(const AsideEntry& e) {
    return e.place.root == HKEY_LOCAL_MACHINE;
}

std::wstring PlaceReadOf(const AsideEntry& e, const StartupFolders&) {
    return e.place.Location();
}

bool SameEntry(const AsideEntry& a, const AsideEntry& b, const StartupFolders&) {
    return a.isKey == b.isKey && EqualIgnoringCase(a.name, b.name) &&
           EqualIgnoringCase(a.place.Location(), b.place.Location());
}

std::wstring IndexKey(const AsideEntry& e, const StartupFolders&) {
    return FoldCase(e.place.Location()) + L"\n" + KeyOrValue(e) + L"\n" + FoldCase(e.name);
}

std::vector<std::wstring> RecordLine(const AsideEntry& e, const StartupFolders&) {
    return {L"item", e.place.Location(), KeyOrValue(e), e.name, e.command};
}

std::optional<AsideEntry> FromRecordLine(std::type_identity<AsideEntry>, const std::vector<std::wstring>& line,
                                         const StartupFolders&) {
    if (line.size() != 5 || line[0] != L"item") return std::nullopt;
    const ItemPlace* place = PlaceAt<ItemPlace>(ItemPlaces(), line[1]);
    const bool isKey = line[2] == L"key";
    if (!place || isKey != (place->kind != ItemPlace::Kind::Values) || !place->Admits(line[3])) return std::nullopt;
    return AsideEntry{*place, line[3], isKey, line[4], ItemSpot::Live};
}

}  // namespace kb
