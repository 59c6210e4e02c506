#pragma once
// How the guard tells what an entry is and what it starts: an entry is
// known by its place, its name and what it starts, and anything else about
// it changing makes it another.
#include <string>

#include "places/Entries.h"

namespace kb {

// Whether the entry starts anything now: one Task Manager switched off, or
// one moved aside, starts nothing.
bool Starts(const RunValueEntry& e);
bool Starts(const ShortcutEntry& e);
bool Starts(const AsideEntry& e);

// What an entry is now: a change to any part makes it another.
std::wstring IdentityOf(const RunValueEntry& e);
std::wstring IdentityOf(const AsideEntry& e);
std::wstring IdentityOf(const ShortcutEntry& e);

}  // namespace kb
