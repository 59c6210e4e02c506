#pragma once
// Every place the guard reads entries from, in one list: the Run-type keys,
// the places of entries moved aside, and the two Startup folders. A place's
// id is its position in the list; the reading, the guard, what it knows and
// the watch all go by it.
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "places/StartupPlaces.h"

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

// A new kind of place is one more alternative here: every std::visit over
// a LivePlace (its reading, its watch) fails to compile until it has its way.
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

}  // namespace kb
