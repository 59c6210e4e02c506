#pragma once
// The item places: reading their entries, live and moved aside, and moving
// them. An entry is moved aside whole into its place's kAsideKey subkey (a
// value keeps its name, type and bytes; a subkey moves with every value
// and subkey below it) and back; nothing is deleted before its copy reads
// back the same.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "startup/Entries.h"
#include "startup/Store.h"

namespace kb {

// The entries of a place's own key (enabled) or of its kAsideKey subkey (moved
// aside). A key that is not there holds none; one that is there but refuses
// reading is noted as unreadable.
void ReadItems(const ItemPlace& place, bool enabled, std::vector<AsideEntry>& items,
               std::vector<SkippedValue>& skipped);

// A key with everything below it, as it stands.
struct RegTree {
    std::vector<std::pair<std::wstring, RegValue>> values;
    std::map<std::wstring, RegTree> subkeys;
    bool operator==(const RegTree&) const = default;
};
// None when the key is not there or cannot be read whole.
std::optional<RegTree> ReadTree(HKEY root, const std::wstring& path, REGSAM view);

// What a subkey starts: a component's StubPath, else its own values' texts
// in the order of their names.
std::wstring CommandOf(std::vector<std::pair<std::wstring, RegValue>> values, ItemPlace::Kind kind);

// Moves the entry aside (enabled) or back (moved aside). It must still be
// what was listed; a name already taken where it goes is never overwritten.
MoveResult MoveItem(const AsideEntry& entry);
// Brings a file moved aside back into its Startup folder, under its own name.
MoveResult EnableAsideFile(const ShortcutEntry& entry, const StartupFolders& folders);

}  // namespace kb
