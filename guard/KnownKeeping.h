#pragma once
// What the guard knows of the places, kept across runs as records (see
// Records.h): the entries that start something, by their place, name and
// what they start. The machine's places are kept below HKEY_LOCAL_MACHINE,
// where only administrators write (a standard user's guard reads it, and
// keeps a copy of its own beside the user's); the user's places below
// HKEY_CURRENT_USER.
#include "kinds/Kinds.h"
#include "places/Entries.h"
#include "places/Records.h"

namespace kb {

inline constexpr wchar_t kEntriesRecord[] = L"Entries";
// Where earlier versions kept the machine's places as a standard user's
// guard knew them: below the user's key, which the user's programs write,
// so it is never read, and removed.
inline constexpr wchar_t kOldMachineCopyRecord[] = L"MachineEntries";

// The first word of the line that names the kinds of place a record covers.
inline constexpr wchar_t kKindsWord[] = L"kinds";
// Whether the record covers the kind of that record word: a kind added
// after the record was written is learned as at a first start, never taken
// for new in every place of it.
bool Covers(const RecordLines& lines, const std::wstring& word);

// The entries of the machine's places (or the user's) that start
// something, as a record's lines.
RecordLines LinesOf(const LiveEntries& live, bool machine, const StartupFolders& folders);
// The entries the lines name of the machine's places (or the user's), added
// to the live entries; a line that names no such place of this program (or
// a Startup folder that moved) is no entry.
void AddEntriesOf(const RecordLines& lines, bool machine, const StartupFolders& folders, LiveEntries& live);

}  // namespace kb
