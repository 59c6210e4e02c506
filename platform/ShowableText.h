#pragma once
// Text from outside (an entry's name, its command, a value) as it may be
// shown: nothing in it may hide what is around it. The one rule for every
// question, notice, list and record shown.
#include <cstddef>
#include <string>

namespace kb {

// Control characters and the marks that change the direction of text
// (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) become
// "<U+XXXX>"; a run of more than three blanks (of any width) becomes
// "<N blanks>", so blanks cannot push what follows out of sight; everything
// else stays as it is. Shown again, shown text stays as it is.
std::wstring Showable(const std::wstring& text);

// The same, in at most about limit characters: a longer text loses its
// middle, never its start or end, and says how much went
// ("<1234 characters cut>").
std::wstring ShowableWithin(const std::wstring& text, std::size_t limit);

// The text with its middle cut to keep the given number of characters, the
// cut said; the text itself when it is no longer.
std::wstring CutInTheMiddle(const std::wstring& text, std::size_t keep);

}  // namespace kb
