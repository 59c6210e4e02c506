#pragma once
// The journal of the item places' moves: each move is written down, below
// its place's root in Keepboot's own key, before anything of it is done,
// marked once its copy is whole, and struck off once done. What a move cut
// short by the end of the process left is made whole from it at the next
// start. A record names its move by the place and the spots, never by a
// path, so one written by another program can only ever move an entry of a
// guarded place between its spots.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "places/Entries.h"
#include "places/EntryRecords.h"

namespace kb {

// One move of an item-place entry between two spots.
struct ItemMove {
    ItemPlace place;
    std::wstring name;
    bool isKey = false;
    ItemSpot from = ItemSpot::Live;
    unsigned long fromKept = 0;
    ItemSpot to = ItemSpot::Aside;
    unsigned long toKept = 0;
};

inline constexpr wchar_t kMovesKey[] = L"Software\\Keepboot\\Moves";

struct JournalRecord {
    unsigned long number = 0;
    ItemMove move;
    bool copied = false;  // the copy was whole before the source was removed
};

// Writes the move down; none (with the registry's error) when it cannot
// be, and then the move must not start.
std::optional<unsigned long> JournalMove(const ItemMove& move, LONG& error);
// The copy is whole: from now on the move is finished, never undone.
void JournalCopied(const ItemMove& move, unsigned long number);
// The move is done (or undone): struck off.
void StrikeOff(const ItemMove& move, unsigned long number);

// The records below the root, of those places; a record that names no such
// place, spot or name is dropped as it is read.
std::vector<JournalRecord> ReadJournal(HKEY root, REGSAM view, const std::vector<ItemPlace>& places);

}  // namespace kb
