#pragma once
// An entry named by where it is, so that another instance of the program
// (the elevated one that does a move needing administrator rights) finds
// the same entry in its own reading. Only entries a reading finds can be
// named: a key carries no data of its own to write anywhere.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "reading/Inventory.h"

namespace kb {

// A few texts: the kind, how many follow, and where it is.
std::vector<std::wstring> KeyOf(const StartupEntry& entry);

// The entry of the inventory that the key starting at texts[at] names, and
// at moved past the key. None when the key is malformed (at is then past
// every text) or names no entry of the inventory.
std::optional<StartupEntry> FindByKey(const Inventory& inventory,
                                      const std::vector<std::wstring>& texts, std::size_t& at);

}  // namespace kb
