#pragma once
// What a kind of place is to the program, stated once: the concept every
// module in kinds/ meets, and what its reading is handed. A kind is a
// struct of its own: its place and its entry, its list of places, how a
// place is named and watched, how its entries are read, moved and shown;
// beside it, as functions of its entry, what the entry is to the guard.
#include <algorithm>
#include <concepts>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "places/Entries.h"
#include "places/MoveResult.h"
#include "places/StartupPlaces.h"
#include "platform/ChangeWatch.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace kb {

// A list of types: of the kinds, or of their entries.
template <typename... Types>
struct KindList {};

// One list for each kind of live entry (the entries read, or something kept
// of them); made from the list of kinds in kinds/Kinds.h.
template <template <typename> typename List>
struct LiveLists;
template <typename Entry>
using EntryList = std::vector<Entry>;
using LiveEntries = LiveLists<EntryList>;

struct PlaceSelection;
class ShortcutCache;

// Called now and then while a long reading runs (the owner may handle its
// messages); answers false to stop it.
using Breather = std::function<bool()>;
// A reading stopped by its breather: nothing of it is to be used.
struct ReadingStopped {};

// What a kind's reading is handed: where the Startup folders are, where a
// skipped value or an unreadable place is noted, what the shell read of
// shortcuts before (none: read every one), and the breather.
struct Reading {
    const StartupFolders& folders;
    std::vector<SkippedValue>& skipped;
    ShortcutCache* cache = nullptr;
    const Breather& breathe;
};

// When a place was last written, as Windows keeps it cheaply (a key's last
// write and its count of values, with its Task Manager switches'): a full
// check passes over a place whose stamp is the one of its last whole
// reading, since its change notification covers what happens in between.
struct PlaceStamp {
    std::optional<RegKey::Stamp> key, switches;  // none for a key that is not there
    bool operator==(const PlaceStamp&) const = default;
};

// What a kind of place must provide, by name. What its entry is to the
// guard (GuardedEntry below) is asked of its entry.
template <typename Kind>
concept PlaceKind = requires(const typename Kind::Place& place, const typename Kind::Entry& entry,
                             const StartupFolders& folders, const PlaceSelection& selection, Reading& reading,
                             std::vector<typename Kind::Entry>& into) {
    // Its places, in the order they are read and listed.
    { Kind::Places(true) } -> std::same_as<std::vector<typename Kind::Place>>;
    // A place as the reading names it where it could not be read: a key's
    // location, or a folder's path.
    { Kind::LocationOf(place, folders) } -> std::same_as<std::wstring>;
    // What signals a change there.
    { Kind::WatchOf(place, folders) } -> std::same_as<ChangeWatch::Place>;
    // Its stamp now; none for a place read at every check (one whose
    // entries are subkeys, whose writes leave the place's own stamp as it
    // was, or a folder).
    { Kind::StampOf(place) } -> std::same_as<std::optional<PlaceStamp>>;
    // The entries of the selected places of the kind, whole or noted as
    // skipped; ReadingStopped when the breather says so.
    { Kind::Read(selection, reading, into) } -> std::same_as<void>;
    // Disables a live entry (or enables one listed as disabled where it is).
    { Kind::Move(entry, folders) } -> std::same_as<MoveResult>;
    // Whether moving it writes where only an administrator may.
    { Kind::WritesMachinePlaces(entry) } -> std::same_as<bool>;
    // Where its moves come in a pass of several: a value is disabled before
    // anything comes back into its key, a file after the registry's entries.
    { Kind::kPassOrder } -> std::convertible_to<int>;
    // The first word of its entries' lines in the record, which also names
    // the kind among those a record covers.
    { Kind::kRecordWord } -> std::convertible_to<const wchar_t*>;
    // What the list and the prompt show of it.
    { Kind::TextOf(entry) } -> std::same_as<EntryText>;
    { Kind::DetailsOf(entry) } -> std::same_as<EntryDetails>;
};

// What an entry of a kind must be to the guard: whether it starts anything,
// what it is, whose place it is in, when two are the same entry, its line in
// the record and reading that line back, what it is known as once moved,
// and the texts that name it to the elevated instance. Each is a function
// of the entry, declared in its kind's header.
template <typename Entry>
concept GuardedEntry = requires(const Entry& e, const StartupFolders& folders, LiveEntries& known,
                                const std::vector<std::wstring>& line) {
    { Starts(e) } -> std::same_as<bool>;
    { IdentityOf(e) } -> std::same_as<std::wstring>;
    { KnownStateOf(e) } -> std::same_as<std::wstring>;
    { OfTheMachine(e) } -> std::same_as<bool>;
    { PlaceReadOf(e, folders) } -> std::same_as<std::wstring>;
    { SameEntry(e, e, folders) } -> std::same_as<bool>;
    { IndexKey(e, folders) } -> std::same_as<std::wstring>;
    { RecordLine(e, folders) } -> std::same_as<std::vector<std::wstring>>;
    { FromRecordLine(std::type_identity<Entry>{}, line, folders) } -> std::same_as<std::optional<Entry>>;
    { KnowMoved(e, folders, known) } -> std::same_as<void>;
    { KeyTextsOf(e) } -> std::same_as<std::vector<std::wstring>>;
    { HeldAside(e) } -> std::same_as<bool>;
};

// The place of a list that a record's location text names, ignoring letter
// case; none for a place not in the list.
template <typename Place>
const Place* PlaceNamed(const std::vector<Place>& places, const std::wstring& location) {
    const auto it = std::find_if(places.begin(), places.end(),
                                 [&](const Place& p) { return EqualIgnoringCase(p.Location(), location); });
    return it == places.end() ? nullptr : &*it;
}

}  // namespace kb
