// The item places: their reading, their moves, and what each entry is to
// the guard.
#include "kinds/ItemKeys.h"

#include <algorithm>

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "places/CommandLine.h"
#include "platform/TextCompare.h"
#include "store/Items.h"
#include "store/StoreLayout.h"

namespace kb {

namespace {

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

}  // namespace

ChangeWatch::Place ItemKeys::WatchOf(const Place& place, const StartupFolders&) {
    return {ChangeWatch::Place::Kind::Key, place.root, place.keyPath, place.view,
            place.kind != ItemPlace::Kind::Values};
}

void ItemKeys::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    std::vector<ItemPlace> read;
    selection.ForEach<Place>([&](PlaceId, const Place& place) {
        for (const ItemSpot spot : {ItemSpot::Live, ItemSpot::Aside}) ReadItems(place, spot, into, reading.skipped);
        read.push_back(place);
    });
    // What Keepboot keeps of the item places in its own key, below each root.
    for (const auto& [root, view] : {std::pair{HKEY_LOCAL_MACHINE, MachineView()},
                                     std::pair{HKEY_CURRENT_USER, REGSAM{0}}})
        if (std::any_of(read.begin(), read.end(), [&](const ItemPlace& p) { return p.root == root; }))
            ReadKeptItems(root, view, read, into, reading.skipped);
    // What the other lister moved aside below the Run-type keys.
    selection.ForEach<RunKeyPlace>([&](PlaceId, const RunKeyPlace& key) {
        ReadItems(AsidePlaceOf(key), ItemSpot::Aside, into, reading.skipped);
    });
}

MoveResult ItemKeys::Move(const Entry& e, const StartupFolders&) {
    return MoveItem(e);
}

bool ItemKeys::WritesMachinePlaces(const Entry& e) {
    return store::IsMachineRoot(e.place.root);
}

EntryText ItemKeys::TextOf(const Entry& e) {
    return {e.name, e.command, e.place.Location(), e.Enabled()};
}

EntryDetails ItemKeys::DetailsOf(const Entry& e) {
    if (!e.Enabled()) return {};
    ProgramAndArguments parts = SplitCommandLine(e.command);
    return {std::move(parts.program), std::move(parts.arguments), e.place.Location(), {}};
}

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
    return {ItemKeys::kRecordWord, e.place.Location(), KeyOrValue(e), e.name, e.command};
}

std::optional<AsideEntry> FromRecordLine(std::type_identity<AsideEntry>, const std::vector<std::wstring>& line,
                                         const StartupFolders&) {
    if (line.size() != 5 || line[0] != ItemKeys::kRecordWord) return std::nullopt;
    const ItemPlace* place = PlaceNamed(ItemPlaces(), line[1]);
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
        ListOf<RunValueEntry>(known).push_back({*runKey, e.name, e.command, REG_SZ, false, {}});
        return;
    }
    AsideEntry back = e;
    back.spot = ItemSpot::Live;
    back.kept = 0;
    ListOf<AsideEntry>(known).push_back(std::move(back));
}

std::vector<std::wstring> KeyTextsOf(const AsideEntry& e) {
    return {ItemKeys::kRecordWord, e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath, e.name, KeyOrValue(e),
            SpotText(e)};
}

bool HeldAside(const AsideEntry& e) {
    return !e.Enabled();
}

}  // namespace kb
