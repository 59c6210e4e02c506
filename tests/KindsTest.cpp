// The kinds of place as the rest of the program sees them: through the list
// of kinds alone.
#include <type_traits>
#include <utility>

#include "CoreHarness.h"
#include "TaskXml.h"
#include "platform/Overloaded.h"
#include "platform/TextCompare.h"
#include "guard/EntryKey.h"
#include "reading/Inventory.h"

namespace kb::test {
namespace {

// A kind that states its types and nothing else is no kind: the list would
// not build with it.
struct OnlyItsTypes {
    using Place = RunKeyPlace;
    using Entry = RunValueEntry;
};
static_assert(!PlaceKind<OnlyItsTypes>);
// A reading that is not kept hands over its lists, never a reference into
// what is gone; a kept one is read in place.
static_assert(!std::is_reference_v<decltype(std::declval<LiveEntries>().Of<RunValueEntry>())>);
static_assert(std::is_reference_v<decltype(std::declval<LiveEntries&>().Of<RunValueEntry>())>);

class Kinds : public CoreTest {
protected:
    // An entry in the place, of its kind.
    void Plant(const LivePlace& place) {
        std::visit(Overloaded{
                       [](const RunKeyPlace& key) {
                           SetStringValue(key.root, key.keyPath, L"Probe", L"probe.exe", REG_SZ, key.view);
                           // One the other lister moved aside, read with its key.
                           SetStringValue(key.root, key.keyPath + L"\\" + kAsideKey, L"Aside", L"aside.exe", REG_SZ,
                                          key.view);
                       },
                       [](const ItemPlace& items) {
                           if (items.kind == ItemPlace::Kind::Values)
                               SetStringValue(items.root, items.keyPath, items.names.empty() ? L"Probe" : items.names.front(),
                                              L"probe.exe", REG_SZ, items.view);
                           else
                               SetStringValue(items.root, items.keyPath + L"\\Probe",
                                              items.kind == ItemPlace::Kind::Components ? L"StubPath" : L"1", L"probe.exe",
                                              REG_SZ, items.view);
                       },
                       [&](const StartupFolderPlace& folder) { MakeShortcut(folder.FolderIn(Folders()), L"Probe"); },
                       [&](const TaskPlace&) { PlantTask(L"\\Vendor\\Probe", Utf16File(TaskXml(L"probe.exe"))); },
                       [](const ServicePlace&) {
                           WriteServiceKey(L"Probe", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"probe.exe");
                       },
                   },
                   place);
    }
};

// Each place read alone gives its own entries and no other place's: what a
// place holds, whatever its kind, is known by where its entries were read,
// which the check's stamps and a moved folder go by. Each is watched where
// it is named, and each entry is found again by the key that names it to
// the elevated instance.
TEST_F(Kinds, EachPlaceReadAloneGivesOnlyItsOwnEntriesAndIsWatchedWhereItIsNamed) {
    const std::vector<LivePlace>& places = LivePlaces();
    for (const LivePlace& place : places) Plant(place);
    for (PlaceId id = 0; id < places.size(); ++id) {
        const std::wstring location = LocationOf(places[id], Folders());
        SCOPED_TRACE(location);
        PlaceSelection one = PlaceSelection::None();
        one.Add(id);
        std::vector<SkippedValue> noted;
        const LiveEntries read = ReadLiveEntries(Folders(), noted, one);
        EXPECT_TRUE(noted.empty());
        std::size_t found = 0;
        ForEachLiveKind([&]<typename Entry>() {
            for (const Entry& e : read.Of<Entry>()) {
                ++found;
                EXPECT_TRUE(EqualIgnoringCase(PlaceReadOf(e, Folders()), location)) << PlaceReadOf(e, Folders());
            }
        });
        EXPECT_GE(found, 1u);
        // The elevated instance finds each of them in its own reading by its key.
        Inventory inventory;
        inventory.live = read;
        for (const StartupEntry& entry : inventory.InListOrder()) {
            std::size_t at = 0;
            const std::optional<StartupEntry> named = FindByKey(inventory, KeyOf(entry), at);
            EXPECT_TRUE(named && KeyOf(*named) == KeyOf(entry)) << Narrow(TextOf(entry).item);
        }
        const ChangeWatch::Place watched = WatchOf(places[id], Folders());
        if (watched.kind == ChangeWatch::Place::Kind::Folder)
            EXPECT_EQ(watched.path, location);
        else
            EXPECT_TRUE(location.ends_with(L"\\" + watched.path));
        // Only a place whose own stamp moves with every entry may be passed over.
        EXPECT_EQ(StampOf(places[id]).has_value(), std::holds_alternative<RunKeyPlace>(places[id]));
    }
}

}  // namespace
}  // namespace kb::test
