#pragma once
// Every kind of place the guard reads entries from, one line each, and what
// is made from that list: the one list of live places (a place's id is its
// position in it), the kinds of live entry and their lists, and every entry
// the list shows. The reading, the watch, the moves, the guard, the record
// and the pages go over this list and name no kind.
#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <variant>
#include <vector>

#include "kinds/ItemKeys.h"
#include "kinds/Kind.h"
#include "kinds/RunValues.h"
#include "kinds/ScheduledTasks.h"
#include "kinds/Services.h"
#include "kinds/StartupFiles.h"

namespace kb {

// In the order of the live places: the Run-type keys, then the item
// places, then the all-users and the user's Startup folders, then the
// scheduler's tasks, then the services.
using Kinds = KindList<RunValues, ItemKeys, StartupFiles, ScheduledTasks, Services>;

template <typename... Ks>
constexpr bool AllPlaceKinds(KindList<Ks...>) {
    return ((PlaceKind<Ks> && GuardedEntry<typename Ks::Entry>) && ...);
}

// Calls f.template operator()<Kind>() for each kind of place.
template <typename F>
constexpr void ForEachKind(F&& f) {
    [&]<typename... Ks>(KindList<Ks...>) { (f.template operator()<Ks>(), ...); }(Kinds{});
}

template <typename List>
struct KindsMade;
template <typename... Ks>
struct KindsMade<KindList<Ks...>> {
    using Place = std::variant<typename Ks::Place...>;
    using Entries = KindList<typename Ks::Entry...>;
};

// A place of any kind: every std::visit over it goes through its kind.
using LivePlace = KindsMade<Kinds>::Place;
using PlaceId = std::size_t;
// The kinds of live entry, in the kinds' order.
using LiveKinds = KindsMade<Kinds>::Entries;

// The kind whose place, or whose entry, is T.
template <typename T, typename List>
struct KindOfT {
    using Type = void;
};
template <typename T, typename K, typename... Ks>
struct KindOfT<T, KindList<K, Ks...>> {
    using Type = std::conditional_t<std::is_same_v<T, typename K::Place> || std::is_same_v<T, typename K::Entry>,
                                    K, typename KindOfT<T, KindList<Ks...>>::Type>;
};
template <typename T>
using KindOf = typename KindOfT<T, Kinds>::Type;

// Calls f.template operator()<Entry>() for each kind of live entry: what
// goes over every kind says so once.
template <typename F>
constexpr void ForEachLiveKind(F&& f) {
    ForEachKind([&]<typename Kind>() { f.template operator()<typename Kind::Entry>(); });
}

// Whether Entry is one of the kinds of live entry, which the known set holds.
template <typename Entry, typename... Ks>
constexpr bool IsEntryOf(KindList<Ks...>) {
    return (std::is_same_v<Entry, typename Ks::Entry> || ...);
}
template <typename Entry>
constexpr bool IsLiveKind() {
    return IsEntryOf<Entry>(Kinds{});
}

template <template <typename> typename List, typename Entries>
struct ListsOf;
template <template <typename> typename List, typename... Entries>
struct ListsOf<List, KindList<Entries...>> {
    using Type = std::tuple<List<Entries>...>;
};

// One list for each kind of live entry: of the entries (LiveEntries), or of
// something kept of them (an index). A kind's list is Of<Entry>().
// Where Entry is among the kinds of live entry.
template <typename Entry, typename... Entries>
constexpr std::size_t PositionIn(KindList<Entries...>) {
    std::size_t at = 0, i = 0;
    ((std::is_same_v<Entry, Entries> ? (at = i, ++i) : ++i), ...);
    return at;
}

template <template <typename> typename List>
struct LiveLists {
    typename ListsOf<List, LiveKinds>::Type lists;

    template <typename Entry>
    List<Entry>& Of() & {
        return std::get<At<Entry>()>(lists);
    }
    template <typename Entry>
    const List<Entry>& Of() const& {
        return std::get<At<Entry>()>(lists);
    }
    // Of a reading that is not kept (a loop over ReadLiveEntries()'s list):
    // the list itself, never a reference into what is gone.
    template <typename Entry>
    List<Entry> Of() && {
        return std::move(std::get<At<Entry>()>(lists));
    }

private:
    template <typename Entry>
    static constexpr std::size_t At() {
        static_assert(IsLiveKind<Entry>(), "a kind of live entry");
        return PositionIn<Entry>(LiveKinds{});
    }
};

// The list of that kind, where the lists' type is a template's parameter.
template <typename Entry, typename Lists>
auto& ListOf(Lists& lists) {
    return lists.template Of<Entry>();
}

// Every kind of entry the list shows: each kind of live entry, then those
// of the store and the logon values.
template <typename Live, typename... More>
struct EntryVariant;
template <typename... Live, typename... More>
struct EntryVariant<KindList<Live...>, More...> {
    using Type = std::variant<Live..., More...>;
};
using StartupEntry = EntryVariant<LiveKinds, StoredRunEntry, StoredShortcutEntry, LogonValueEntry>::Type;

static_assert(AllPlaceKinds(Kinds{}), "every kind of place provides what PlaceKind and GuardedEntry ask");

// The live places of every kind, in the kinds' order.
std::vector<LivePlace> LivePlacesFor(bool windows64);
const std::vector<LivePlace>& LivePlaces();

// The place's id; none for a place not in the list.
std::optional<PlaceId> IdOf(const LivePlace& place);

// How the reading names the place where it could not be read.
std::wstring LocationOf(const LivePlace& place, const StartupFolders& folders);
// What signals a change there.
ChangeWatch::Place WatchOf(const LivePlace& place, const StartupFolders& folders);
// Its stamp now; none for a place read at every check.
std::optional<PlaceStamp> StampOf(const LivePlace& place);

}  // namespace kb
