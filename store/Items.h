#pragma once
// The item places: reading their entries, wherever they are, and moving
// them. A disabled entry is moved whole into its place's kAsideKey subkey,
// or kept in Keepboot's own key where that name is taken or the place keeps
// nothing aside; it comes back whole. Nothing is deleted before its copy
// reads back the same, and an interrupted move is made whole at the next
// start.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "places/Entries.h"
#include "places/EntryRecords.h"
#include "places/MoveResult.h"

namespace kb {

// The entries of a place's own key (Live) or of its kAsideKey subkey
// (Aside). A key that is not there holds none; one that is there but
// refuses reading, or an aside key that is a link, is noted as unreadable.
// Only names the place admits are entries.
void ReadItems(const ItemPlace& place, ItemSpot spot, std::vector<AsideEntry>& items,
               std::vector<SkippedValue>& skipped);
// The entries kept in Keepboot's own key below the root, of those places.
// A kept record that names no such place, or a name the place does not
// admit, is no entry.
void ReadKeptItems(HKEY root, REGSAM view, const std::vector<ItemPlace>& places,
                   std::vector<AsideEntry>& items, std::vector<SkippedValue>& skipped);

// Below the place's root: where the entry is at a spot. A subkey entry's
// own key, or the key that holds a value entry.
std::wstring SpotKeyPath(const ItemPlace& place, const std::wstring& name, bool isKey,
                         ItemSpot spot, unsigned long kept = 0);
inline std::wstring SpotKeyPath(const AsideEntry& entry) {
    return SpotKeyPath(entry.place, entry.name, entry.isKey, entry.spot, entry.kept);
}

// A key with everything below it, as it stands; or a value entry as a key
// holding that one value.
struct RegTree {
    std::vector<std::pair<std::wstring, RegValue>> values;  // by name
    std::map<std::wstring, RegTree> subkeys;
    bool operator==(const RegTree&) const = default;
};
// None when the key is not there or cannot be read whole.
std::optional<RegTree> ReadTree(HKEY root, const std::wstring& path, REGSAM view);

// What a subkey entry starts: a component's StubPath (none when it is
// marked not installed, which Windows skips); a step's named values and the
// libraries its Depend subkey loads (its title, the default value, starts
// nothing).
std::wstring CommandOf(const RegTree& tree, ItemPlace::Kind kind);

// The newest write below the key (its values and every subkey's): an entry
// is moved only once its writer has been quiet a while. None when the key
// cannot be read.
std::optional<FILETIME> LastWrittenBelow(HKEY root, const std::wstring& path, REGSAM view);

// Moves the entry: a live one aside (or kept), one aside or kept back
// live. It must still be what was listed. A name taken live is never
// overwritten (NameTaken); one taken aside by another entry sends that one
// to Keepboot's own key, so nothing stays live; an entry of the same name
// that holds nothing else is joined.
MoveResult MoveItem(const AsideEntry& entry);

// A subkey left live under the name of an entry that was just moved, as
// its writer went on (values that start nothing): joins the entry where it
// went, unless it holds a value of that name with other data.
MoveResult JoinLeftovers(const AsideEntry& moved);

// What a move interrupted by the end of the process left, made whole: each
// is finished or undone so that one whole copy remains. Done for the
// moves journaled below the root (in its view), at start.
struct FinishedMove {
    AsideEntry entry;  // where it is now
    bool finished = false;  // the move was completed; else undone
    MoveResult result = MoveResult::Moved;  // not Moved: left for later
};
std::vector<FinishedMove> FinishInterruptedMoves(HKEY root, REGSAM view);

// Brings a file moved aside back into its Startup folder, under its own name.
MoveResult EnableAsideFile(const ShortcutEntry& entry, const StartupFolders& folders);

}  // namespace kb
