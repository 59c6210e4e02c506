#pragma once
// Every text the user reads, from the program's string table
// (res/Texts.rc), one place, ready for translation.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "res/TextIds.h"

namespace kb {

// The text of the id; empty for an id the table lacks, which a test rules
// out. The reference lasts as long as the program.
const std::wstring& UiText(UINT id);

// The text with %1 to %9 filled in from the list, in one pass: what is
// filled in is never read for more of them.
std::wstring UiText(UINT id, std::initializer_list<std::wstring_view> fill);

// The same filling, for a text at hand.
std::wstring Filled(std::wstring_view text, std::initializer_list<std::wstring_view> fill);

}  // namespace kb
