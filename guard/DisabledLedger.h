#pragma once
// The entries this program disabled, by the watch or for the user, kept as
// records below each place's root (the machine's where only administrators
// write): what Enable on the History page may bring back. A history record
// alone proves nothing, since any program of the user can write the file.
#include "places/Entries.h"

namespace kb {

// Whether a place, as a record's location names it, is the machine's.
bool IsMachineLocation(const std::wstring& location);

// Notes that this program disabled the entry (as it was live), or that it
// came back.
void NoteDisabledHere(const EntryText& entry);
void NoteEnabledHere(const EntryText& entry);
// Whether this program disabled an entry of that place, name and command.
bool WasDisabledHere(const std::wstring& location, const std::wstring& item, const std::wstring& command);

}  // namespace kb
