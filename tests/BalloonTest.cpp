// Every notice as the balloon shows it: in lines that fit the balloon in
// its own font, nothing lost that fits, never more than the balloon holds.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/BalloonText.h"
#include "app/services/FindingWords.h"
#include "platform/ShowableText.h"

namespace kb {
namespace {

// The lines, without the blanks before each break.
std::vector<std::wstring> LinesOf(const std::wstring& text) {
    std::vector<std::wstring> lines(1);
    for (const wchar_t c : text) {
        if (c == L'\n') {
            while (!lines.back().empty() && lines.back().back() == L' ') lines.back().pop_back();
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    return lines;
}

std::wstring WithoutBlanksOrBreaks(const std::wstring& text) {
    std::wstring rest;
    for (const wchar_t c : text)
        if (c != L' ' && c != L'\n') rest.push_back(c);
    return rest;
}

// The widest line in pixels, in the font balloons are drawn in (the
// status font, as the tooltip control takes it) at the screen's DPI.
int WidestLine(const std::vector<std::wstring>& lines) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    const HDC screen = ::GetDC(nullptr);
    const HFONT font = ::CreateFontIndirectW(&metrics.lfStatusFont);
    const HGDIOBJ old = ::SelectObject(screen, font);
    int widest = 0;
    for (const std::wstring& line : lines) {
        SIZE size{};
        ::GetTextExtentPoint32W(screen, line.c_str(), static_cast<int>(line.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    ::SelectObject(screen, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    return widest;
}

struct Shown {
    std::string what;
    std::wstring text;
};

std::vector<Shown> EveryNoticeAndTheHardCases() {
    // The longest a place and a program are commonly named.
    const std::wstring location =
        L"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
    const std::wstring program =
        L"\"C:\\Program Files (x86)\\Some Vendor Incorporated\\Updater Service\\updater.exe\" /silent";
    std::vector<Shown> shown;
    for (int kind = 0; kind < kFindingKinds; ++kind) {
        Finding finding;
        finding.kind = static_cast<Finding::Kind>(kind);
        finding.item = L"Vendor Updater";
        finding.location = location;
        finding.found = program;
        finding.before = program;
        finding.reason = L"Failed to set data for 'Vendor Updater'";
        finding.code = ERROR_ACCESS_DENIED;
        finding.names = {L"C:\\Program Files\\Vendor\\vendor.exe"};
        finding.whose = Finding::Whose::Both;
        shown.push_back({"notice " + std::to_string(kind), WordsOf(finding)});
    }
    shown.push_back({"a path with no blank", L"C:\\" + std::wstring(30, L'a') + L"\\" +
                                                 std::wstring(60, L'b') + L"\\" + std::wstring(20, L'c') +
                                                 L".exe"});
    std::wstring pairs;  // one word of characters of two code units
    for (int i = 0; i < 50; ++i) pairs += L"\U0001F600";
    shown.push_back({"characters of two code units", L"x" + pairs});
    std::wstring words;
    for (int i = 0; i < 120; ++i) words += L"word ";
    shown.push_back({"more than the balloon holds", words});
    shown.push_back({"a line break written in", L"one\ntwo\rthree"});
    return shown;
}

TEST(Balloon, EveryNoticeComesInLinesThatFitAndLosesNothingThatFits) {
    for (const Shown& each : EveryNoticeAndTheHardCases()) {
        SCOPED_TRACE(each.what);
        const std::wstring text = BalloonText(each.text);
        EXPECT_LE(text.size(), kBalloonMost);
        const std::vector<std::wstring> lines = LinesOf(text);
        for (const std::wstring& line : lines) {
            EXPECT_LE(line.size(), kBalloonLine);
            EXPECT_FALSE(!line.empty() && line.front() >= 0xDC00 && line.front() <= 0xDFFF)
                << "a character of two code units kept whole";
        }
        // Wine's balloon is as wide as its longest line: well within the
        // narrowest screen, and about what Windows' own balloon wraps at.
        EXPECT_LE(WidestLine(lines), 400) << "pixels at 96 DPI";
        const std::wstring showable = Showable(each.text);
        // A break may fall inside what says the cut.
        if (WithoutBlanksOrBreaks(text).find(L"characterscut>") == std::wstring::npos)
            EXPECT_EQ(WithoutBlanksOrBreaks(text), WithoutBlanksOrBreaks(showable)) << "nothing lost";
        else
            // Each line at least half full adds at most three characters.
            EXPECT_GT(showable.size() + 3 * showable.size() / (kBalloonLine / 2), kBalloonMost)
                << "cut only when its lines would not fit";
    }
}

}  // namespace
}  // namespace kb
