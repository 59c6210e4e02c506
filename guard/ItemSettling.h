#pragma once
// An entry of several values (a RunOnceEx step, an Active Setup component)
// is taken whole: it is moved only once its writer has been quiet a while
// (an installer writes one value at a time), and at the latest a while
// after it was first seen, so a writer that never stops keeps nothing
// live. What the writer still adds under its name after the move joins it.
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "places/Entries.h"
#include "reading/Inventory.h"

namespace kb {

class ItemSettling {
public:
    // Quiet this long before a move, and never waiting longer than that.
    static constexpr DWORD kQuietMs = 500;
    static constexpr DWORD kLongestWaitMs = 10000;
    // What arrives this long after a move is still its writer's.
    static constexpr DWORD kJoinWindowMs = 60000;

    // Whether the entry may be moved now; if not, a look again is asked for.
    // An entry of any other kind is whole as it is read.
    template <typename Entry>
    bool Ready(const Entry& entry) {
        if constexpr (std::is_same_v<Entry, AsideEntry>) return ReadyItem(entry);
        return true;
    }
    // The entry left its live place.
    template <typename Entry>
    void Moved(const Entry& entry) {
        if constexpr (std::is_same_v<Entry, AsideEntry>) MovedItem(entry);
    }
    // Joins what was left live, in the item places just read, under the
    // name of an entry moved a moment ago that the reading did not find as
    // an entry of its own (it starts nothing).
    void JoinLeftovers(const PlaceSelection& placesRead, const LiveEntries& read);

    // The item places to look at again, and when; none while nothing waits.
    struct Recheck {
        PlaceSelection places = PlaceSelection::None();
        DWORD afterMs = 0;
    };
    std::optional<Recheck> TakeRecheck();

private:
    bool ReadyItem(const AsideEntry& entry);
    void MovedItem(const AsideEntry& entry);
    // Whether nothing was written below the entry's key for kQuietMs; when
    // not, a look again is asked for once it may be.
    bool Quiet(const AsideEntry& entry);
    void LookAgain(const ItemPlace& place, DWORD afterMs);

    std::map<std::wstring, DWORD> unsettledSince_;  // by place and name, as first seen
    std::vector<std::pair<AsideEntry, DWORD>> recent_;  // moved, and when
    std::optional<Recheck> recheck_;
};

}  // namespace kb
