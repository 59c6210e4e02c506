#include "guard/EntryKinds.h"

#include <algorithm>

#include "logon/LogonValues.h"
#include "places/ShortcutFiles.h"
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

// Where an item is: "on" (live), "aside", or "kept <n>".
std::wstring SpotText(const AsideEntry& e) {
    switch (e.spot) {
    case ItemSpot::Live: return L"on";
    case ItemSpot::Aside: return L"aside";
    case ItemSpot::Kept: return L"kept " + std::to_wstring(e.kept);
    }
    return {};
}

std::wstring StoreText(StoreKind store) {
    return store == StoreKind::User ? L"user" : L"shared";
}

// A file back in its Startup folder is known as it reads now.
void KnowFileBack(const std::wstring& location, const std::wstring& fileName, const StartupFolders& folders,
                  LiveEntries& known) {
    const std::wstring& folder = folders.FolderOf(location);
    if (folder.empty()) return;
    const std::wstring path = folder + L"\\" + fileName;
    known.shortcuts.push_back(StartupFileEntry(location, path, ReadLinkOf(path)));
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

void KnowMoved(const RunValueEntry& e, const StartupFolders&, LiveEntries& known) {
    if (!e.disabledByTaskManager) return;  // disabled: gone from the known set at the next reading
    RunValueEntry on = e;
    on.disabledByTaskManager = false;
    known.values.push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const RunValueEntry& e) {
    return {L"value", e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath, e.name};
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

void KnowMoved(const ShortcutEntry& e, const StartupFolders& folders, LiveEntries& known) {
    if (e.aside) return KnowFileBack(e.location, e.fileName, folders, known);
    if (!e.disabledByTaskManager) return;
    ShortcutEntry on = e;
    on.disabledByTaskManager = false;
    known.shortcuts.push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const ShortcutEntry& e) {
    return {L"shortcut", e.path};
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

void KnowMoved(const AsideEntry& e, const StartupFolders&, LiveEntries& known) {
    if (e.Enabled()) return;
    // Back below a Run-type key it is a value of that key; elsewhere an
    // entry of its place.
    const auto runKey = std::find_if(RunKeyPlaces().begin(), RunKeyPlaces().end(), [&](const RunKeyPlace& place) {
        return e.place.names.empty() && e.place.kind == ItemPlace::Kind::Values &&
               EqualIgnoringCase(place.Location(), e.place.Location());
    });
    if (runKey != RunKeyPlaces().end()) {
        known.values.push_back({*runKey, e.name, e.command, REG_SZ, false, {}});
        return;
    }
    AsideEntry back = e;
    back.spot = ItemSpot::Live;
    back.kept = 0;
    known.items.push_back(std::move(back));
}

std::vector<std::wstring> KeyTextsOf(const AsideEntry& e) {
    return {L"item", e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath, e.name, KeyOrValue(e),
            SpotText(e)};
}

// An entry of the store, which comes back as a live one; a logon value that
// is not Windows' own.

void KnowMoved(const StoredRunEntry& e, const StartupFolders&, LiveEntries& known) {
    RunKeyPlace place{nullptr, e.hkey, e.key, 0, {}};
    known.values.push_back({std::move(place), e.item, e.command, REG_SZ, false, e.raw});
}

void KnowMoved(const StoredShortcutEntry& e, const StartupFolders& folders, LiveEntries& known) {
    KnowFileBack(e.location, e.fileName, folders, known);
}

void KnowMoved(const LogonValueEntry&, const StartupFolders&, LiveEntries&) {}

std::vector<std::wstring> KeyTextsOf(const StoredRunEntry& e) {
    return {L"stored-value", StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
}

std::vector<std::wstring> KeyTextsOf(const StoredShortcutEntry& e) {
    return {L"stored-shortcut", StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
}

// The value as the user saw it: another one now is not restored.
std::vector<std::wstring> KeyTextsOf(const LogonValueEntry& e) {
    return {L"logon-value", std::to_wstring(e.index), TextOf(e.value)};
}

bool HeldAside(const RunValueEntry&) {
    return false;
}

bool HeldAside(const ShortcutEntry&) {
    return false;
}

bool HeldAside(const AsideEntry& e) {
    return !e.Enabled();
}

bool HeldAside(const StoredRunEntry&) {
    return true;
}

bool HeldAside(const StoredShortcutEntry&) {
    return true;
}

bool HeldAside(const LogonValueEntry&) {
    return false;
}

}  // namespace kb
