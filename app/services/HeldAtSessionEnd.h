#pragma once
// The entries the end of a session held aside before the user answered
// their question: kept in the user's record, and asked about again at the
// next start, once.
#include <vector>

#include "places/Entries.h"

namespace kb {

// Adds the entries to the record; false when it cannot be written.
bool NoteHeldAtSessionEnd(const std::vector<EntryText>& entries);
// The entries the record names, forgotten as they are taken. A record
// another program may have written: each is asked about only where this
// program holds it aside (see WasDisabledHere).
std::vector<EntryText> TakeHeldAtSessionEnd();

}  // namespace kb
