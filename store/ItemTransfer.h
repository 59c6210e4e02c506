#pragma once
// Moving an item-place entry between two spots, whole or not at all: what
// the source holds is copied where the target lacks it, the copy is read
// back, and only then is each value the target holds alike removed from the
// source. A value that another program writes meanwhile is never lost: it
// stays in the source, or was copied with the rest. Each move is journaled.
#include <optional>

#include "store/Items.h"
#include "store/MoveJournal.h"

namespace kb {

// The entry at a spot, as it stands: none when it is not there (or cannot
// be read whole; "there" then says it is).
struct SpotReading {
    bool there = false;
    std::optional<RegTree> tree;
};
SpotReading ReadSpot(const ItemMove& move, ItemSpot spot, unsigned long kept);

// Whether the trees hold a value of one name with other data, at any depth
// (names compared as the registry does): moving one into the other would
// overwrite it.
bool Conflicts(const RegTree& a, const RegTree& b);
// Whether every value of the part is in the whole, with the same data.
bool Holds(const RegTree& whole, const RegTree& part);

// Whether a link is on the move's way: its place's key, the aside or
// kept key, or the entry's own key at either spot.
bool LinkOnTheWay(const ItemMove& move);

// The move, journaled (or under the journal's record given, when a move
// cut short is finished). NameTaken when the target holds a value of one
// of the source's names with other data; Changed when the source is gone.
MoveResult Transfer(const ItemMove& move, std::optional<unsigned long> journaled = std::nullopt);

// A move toward a live place that was cut short before its copy was whole:
// what it copied is taken out of the live place again (only what the
// disabled copy holds alike), so the entry stays disabled. Moved when so.
MoveResult UndoCopy(const ItemMove& move);

}  // namespace kb
