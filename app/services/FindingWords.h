#pragma once
// What the user reads of each thing the watch found: the notice's words,
// made safe to show here and only here. Changing what a notice says is
// done in this file's table alone.
#include <string>

#include "watch/WatchEvent.h"

namespace kb {

// How the notice of a first start begins: nothing was kept of the places.
inline constexpr wchar_t kFirstStartNotice[] = L"First start:";

// The notice's words; every field from outside is shown as Showable makes it.
std::wstring WordsOf(const Finding& finding);

}  // namespace kb
