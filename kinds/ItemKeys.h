#pragma once
// The item places: RunOnceEx steps, Active Setup's components, the user's
// Load and Run values and logon script, and the values the other lister
// moved aside below the Run-type keys. A disabled entry is moved aside
// whole, below its own place or into Keepboot's own key.
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kinds/Kind.h"
#include "places/EntryRecords.h"

namespace kb {

struct ItemKeys {
    using Place = ItemPlace;
    using Entry = AsideEntry;

    static std::vector<Place> Places(bool windows64) { return ItemPlacesFor(windows64); }
    static std::wstring LocationOf(const Place& place, const StartupFolders&) { return place.Location(); }
    // A place's entries may be subkeys: what they hold signals too.
    static ChangeWatch::Place WatchOf(const Place& place, const StartupFolders& folders);
    static std::optional<PlaceStamp> StampOf(const Place&) { return std::nullopt; }
    // Each selected place, live and aside; then what Keepboot keeps of them
    // in its own key; then what the other lister moved aside below the
    // selected Run-type keys, which are read with their key.
    static void Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into);
    // Aside and back, in its own place.
    static MoveResult Move(const Entry& entry, const StartupFolders& folders);
    static bool WritesMachinePlaces(const Entry& entry);
    static constexpr int kPassOrder = 1;
    // The first word of its entries' lines in the record.
    static constexpr const wchar_t* kRecordWord = L"item";
    static EntryText TextOf(const Entry& entry);
    static EntryDetails DetailsOf(const Entry& entry);
};

bool Starts(const AsideEntry& e);
std::wstring IdentityOf(const AsideEntry& e);
std::wstring KnownStateOf(const AsideEntry& e);
bool OfTheMachine(const AsideEntry& e);
// An aside value is read with its Run-type key.
std::wstring PlaceReadOf(const AsideEntry& e, const StartupFolders& folders);
bool SameEntry(const AsideEntry& a, const AsideEntry& b, const StartupFolders& folders);
std::wstring IndexKey(const AsideEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const AsideEntry& e, const StartupFolders& folders);
std::optional<AsideEntry> FromRecordLine(std::type_identity<AsideEntry>, const std::vector<std::wstring>& line,
                                         const StartupFolders& folders);
void KnowMoved(const AsideEntry& e, const StartupFolders& folders, LiveEntries& known);
std::vector<std::wstring> KeyTextsOf(const AsideEntry& e);
bool HeldAside(const AsideEntry& e);

}  // namespace kb
