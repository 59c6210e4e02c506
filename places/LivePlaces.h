#pragma once
// Every place the guard reads entries from, in one list: the Run-type keys,
// the places of entries moved aside, and the two Startup folders. A place's
// id is its position in the list; the reading, the guard, what it knows and
// the watch all go by it. Beside the places, the entries read there: one
// kind of entry for each kind of place, and their lists.
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "places/StartupPlaces.h"
#include "shelllink/ShellLink.h"

namespace kb {

// A Startup folder, by whose it is: where it is now comes from the shell's
// StartupFolders, since it can move.
struct StartupFolderPlace {
    bool common = false;  // the all-users folder; else the user's own

    const wchar_t* LocationName() const { return common ? kCommonStartupLocation : kStartupLocation; }
    const std::wstring& FolderIn(const StartupFolders& folders) const {
        return common ? folders.commonStartup : folders.userStartup;
    }
    bool operator==(const StartupFolderPlace&) const = default;
};

// A new kind of place is one more alternative here, and its entry one more
// kind in LiveKinds below: every std::visit over a LivePlace (its reading,
// its watch) fails to compile until it has its way.
using LivePlace = std::variant<RunKeyPlace, ItemPlace, StartupFolderPlace>;
using PlaceId = std::size_t;

// The Run-type keys, then the item places, then the all-users and the
// user's Startup folders.
std::vector<LivePlace> LivePlacesFor(bool windows64);
const std::vector<LivePlace>& LivePlaces();

// The place's id; none for a place not in the list.
std::optional<PlaceId> IdOf(const LivePlace& place);

// How the reading names the place where it could not be read: a key's
// location, or the folder's path.
std::wstring LocationOf(const LivePlace& place, const StartupFolders& folders);

// The entries read there, one kind for each kind of place.

// A value in a Run-type key.
struct RunValueEntry {
    RunKeyPlace place;
    std::wstring name;     // empty for the key's unnamed default value
    std::wstring command;  // unexpanded
    DWORD type = REG_SZ;   // REG_SZ or REG_EXPAND_SZ
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    // The value's bytes when the command does not hold them all (data after
    // an embedded NUL, no closing NUL): kept so they come back exactly.
    std::vector<BYTE> raw;
};

// A file in a Startup folder: Windows starts every one at logon, shortcut
// or not (desktop.ini excepted).
struct ShortcutEntry {
    std::wstring location;  // "Common Startup" or "Startup"
    std::wstring path;      // the file's full path
    std::wstring name;      // the file name without its last extension
    std::optional<ShellLinkData> link;  // a shortcut, as the shell read it
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    std::wstring fileName;  // exactly, extension and letter case included
    // What it starts, as the list shows it: a shortcut's target and
    // arguments, else the name of what it points at, else the file itself.
    std::wstring command;
    // In the folder's kAsideKey subfolder, where the other lister moves what
    // it disables: listed as disabled; moving it brings it back.
    bool aside = false;
};

// Where an entry of an item place is: live in its place; moved aside into
// the place's kAsideKey subkey, where the other lister looks; or kept in
// Keepboot's own key (kKeptKey) when the aside name was taken or the place
// keeps nothing aside.
enum class ItemSpot { Live, Aside, Kept };

// An entry of an item place, wherever it is; or a value moved aside below a
// Run-type key.
struct AsideEntry {
    ItemPlace place;
    std::wstring name;   // the subkey's or the value's, exactly
    bool isKey = false;  // a subkey with everything below it
    // What it starts: a value's text, a component's StubPath, a step's
    // commands and the libraries its Depend subkey loads.
    std::wstring command;
    ItemSpot spot = ItemSpot::Live;
    unsigned long kept = 0;  // the number of its subkey below kKeptKey, when kept

    bool Enabled() const noexcept { return spot == ItemSpot::Live; }
};

// The kinds of live entry, in the order of LiveEntries' lists. A new kind of
// place adds its kind of entry here, and its list below: whatever goes over
// every kind (ForEachLiveKind) then does not build until it has its way.
template <typename... Kinds>
struct KindList {};
using LiveKinds = KindList<RunValueEntry, ShortcutEntry, AsideEntry>;

// Calls f.template operator()<Entry>() for each kind of live entry: what
// goes over every kind says so once.
template <typename F>
constexpr void ForEachLiveKind(F&& f) {
    [&]<typename... Kinds>(KindList<Kinds...>) { (f.template operator()<Kinds>(), ...); }(LiveKinds{});
}

// Whether Entry is one of the kinds of live entry, which the known set holds.
template <typename Entry>
constexpr bool IsLiveKind() {
    bool live = false;
    ForEachLiveKind([&]<typename Kind>() { live = live || std::is_same_v<Entry, Kind>; });
    return live;
}

// One list for each kind of live entry: of the entries (LiveEntries), or of
// something kept of them (an index).
template <template <typename> typename List>
struct LiveLists {
    List<RunValueEntry> values;    // in the order of the places, then the registry's
    List<ShortcutEntry> shortcuts;  // the all-users folder first
    // The item places' entries, then the values moved aside below Run-type keys.
    List<AsideEntry> items;
};
template <typename Entry>
using EntryList = std::vector<Entry>;
using LiveEntries = LiveLists<EntryList>;

// The member of a set of lists kept by kind of live entry that holds that
// kind: a kind without its list does not compile.
template <typename Entry, typename Lists>
auto& ListOf(Lists& lists) {
    if constexpr (std::is_same_v<Entry, RunValueEntry>)
        return lists.values;
    else if constexpr (std::is_same_v<Entry, ShortcutEntry>)
        return lists.shortcuts;
    else {
        static_assert(std::is_same_v<Entry, AsideEntry>, "a kind of live entry without its list");
        return lists.items;
    }
}

}  // namespace kb
