#include "app/BalloonText.h"

#include "platform/ShowableText.h"

namespace kb {

namespace {

bool IsLeadSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// Wine's balloon measures a line a little narrower than it draws it, and
// cuts its last letters: two blanks, unseen anywhere, give them room.
constexpr wchar_t kLineEnd[] = L"  \n";

// Greedy: each line takes as much as fits, up to its last break.
std::wstring Wrapped(const std::wstring& text) {
    std::wstring lines;
    std::size_t start = 0;
    while (text.size() - start > kBalloonLine) {
        std::size_t cut = 0;  // the length of this line
        bool blank = false;
        for (std::size_t i = start; i <= start + kBalloonLine; ++i) {
            if (text[i] == L' ') cut = i - start, blank = true;
            else if (text[i] == L'\\' && i < start + kBalloonLine) cut = i + 1 - start, blank = false;
        }
        if (cut == 0) {  // one word longer than a line
            cut = kBalloonLine;
            if (IsLeadSurrogate(text[start + cut - 1])) --cut;
        }
        lines.append(text, start, cut).append(kLineEnd);
        start += cut + (blank ? 1 : 0);
    }
    return lines.append(text, start);
}

}  // namespace

std::wstring BalloonText(const std::wstring& text) {
    // A break adds the line's end (and a character after a backslash or
    // inside a word): a text that grew past what the balloon holds is cut
    // again, shorter.
    for (std::size_t keep = kBalloonMost;; keep -= kBalloonLine / 4) {
        std::wstring shown = Wrapped(ShowableWithin(text, keep));
        if (shown.size() <= kBalloonMost || keep <= kBalloonLine) return shown;
    }
}

}  // namespace kb
