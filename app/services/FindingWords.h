#pragma once
// What the user reads of each thing the watch found: the notice's words,
// made safe to show here and only here. Changing what a notice says is
// done in this file's table alone.
#include <string>

#include "logon/LogonPrograms.h"
#include "places/MoveResult.h"
#include "watch/WatchEvent.h"

namespace kb {

// The notice's words; every field from outside is shown as Showable makes it.
std::wstring WordsOf(const Finding& finding);

// A question about a single value, as the prompt asks it.
std::wstring WordsOf(const ValueQuestion& question);

// How a logon value differs from Windows' own: "starts ...", "holds ...".
std::wstring WordsOf(const LogonDifference& difference);

// The entry's location with what the list notes of a stored one after it
// ("another user's", "no startup place: stays stored"), not yet made safe.
std::wstring LocationWithNote(const EntryText& text);
// The location as the list shows it: a scheduled task's with what fires it.
std::wstring ListedLocation(const EntryText& text);
// What fires a task, in words: "at logon, on a schedule".
std::wstring TriggerWords(const std::vector<std::wstring>& triggers);
// A scheduled task's own lines for the prompt: when, as whom, by whom;
// empty for any other entry.
std::wstring TaskLines(const EntryDetails& details);
// What the prompt shows of a service: its names, how it starts, as whom,
// its library, what depends on it, and whether it runs now.
std::wstring ServiceLines(const EntryDetails& details);
// A service's start type in words: "automatic, delayed".
std::wstring StartWords(unsigned long start, bool delayed);

// The prompt's "Before" line: what was there before, and first what it
// named that is no longer there.
std::wstring BeforeLine(const EntryDetails& details);

// Why an entry was not moved: "it ...".
std::wstring WhyNotMoved(MoveResult result);

}  // namespace kb
