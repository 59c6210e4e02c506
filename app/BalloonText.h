#pragma once
// A notice as the notification area's balloon shows it. Windows' balloon
// holds 255 characters; Wine's draws each line whole however wide it is, so
// one long line runs off the screen. The text comes in short lines, broken
// where a reader would break them.
#include <cstddef>
#include <string>

namespace kb {

// The longest line, in characters: about 260 pixels in the balloon's font
// at 96 DPI, within the narrowest balloon Windows draws.
inline constexpr std::size_t kBalloonLine = 44;
// What the balloon holds, its final NUL left out.
inline constexpr std::size_t kBalloonMost = 255;

// The text made showable, in lines of at most kBalloonLine characters (and
// two blanks before each break, room Wine's balloon needs) broken
// after a blank (the blank gives way to the break) or a backslash (a path
// wraps at its folders), a longer word where it must but never inside a
// character of two code units; in all at most kBalloonMost characters, a
// longer text losing its middle.
std::wstring BalloonText(const std::wstring& text);

}  // namespace kb
