// The question's texts laid out: each field whole in as many lines as it
// takes, the dialog grown to hold them within its monitor's work area.
#include "app/PromptDialog.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/ShowableText.h"
#include "app/Texts.h"
#include "app/services/FindingWords.h"

namespace kb {

namespace {

// No field shows more than this many characters: a value of millions would
// keep the question from coming. Beyond it, the middle goes, never the start
// or the end, where a payload would hide.
constexpr std::size_t kMostShown = 4000;

std::wstring Shortened(std::wstring text) {
    if (text.size() <= kMostShown) return text;
    std::size_t head = kMostShown / 2, tail = kMostShown / 2;
    // Never half a character of two code units.
    if (text[head - 1] >= 0xD800 && text[head - 1] <= 0xDBFF) --head;
    if (text[text.size() - tail] >= 0xDC00 && text[text.size() - tail] <= 0xDFFF) --tail;
    return text.substr(0, head) + L"\u2026" + text.substr(text.size() - tail);
}

// A field's lines, the empty ones left out.
std::wstring Joined(const std::wstring& first, const std::wstring& more) {
    return first.empty() || more.empty() ? first + more : first + L"\r\n" + more;
}

}  // namespace

RECT PromptDialog::WorkArea() const {
    // The monitor under the cursor, where the user just clicked the icon or
    // works; the primary one when the cursor is nowhere.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(::MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &info)) {
        RECT area{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        return area;
    }
    return info.rcWork;
}

void PromptDialog::ArrangeTexts() {
    // Each field whole, shown as it may be, with its heading: the value can
    // be selected and copied.
    const EntryDetails& details = asked_.details;
    const auto line = [](UINT heading, const std::wstring& text) {
        return text.empty() ? std::wstring() : UiText(heading, {Shortened(Showable(text))});
    };
    struct Slot {
        HWND field;
        std::wstring text;
        int x, width, least;  // at 96 dots per inch: the least is the field's room in the fixed layout
        int needed = 0, given = 0;
    };
    std::array<Slot, 5> slots{{
        {question_, Shortened(Showable(asked_.text)), 72, 289, 53},
        {starts_, line(IDS_STARTS, details.program), 17, 350, 15},
        {arguments_, line(IDS_ARGUMENTS, details.arguments), 17, 350, 15},
        {before_, line(IDS_BEFORE, BeforeLine(details)), 17, 350, 15},
        {from_, Joined(Joined(line(IDS_FROM, details.from), TaskLines(details)), ServiceLines(details)), 17, 350, 30},
    }};
    const int lineHeight = LineHeight();
    for (Slot& slot : slots) {
        // Laid out at its width, without a scroll bar, to count its lines.
        ::SetWindowLongW(slot.field, GWL_STYLE, ::GetWindowLongW(slot.field, GWL_STYLE) & ~WS_VSCROLL);
        ::SetWindowPos(slot.field, nullptr, 0, 0, scale_(slot.width), scale_(slot.least),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        ::SetWindowTextW(slot.field, slot.text.c_str());
        const int lines = slot.text.empty() ? 0 : static_cast<int>(::SendMessageW(slot.field, EM_GETLINECOUNT, 0, 0));
        slot.needed = std::max(scale_(slot.least), lines * lineHeight);
        slot.given = slot.needed;
    }
    // The dialog grows to hold them, up to its monitor's work area; beyond
    // that the tallest fields share what room there is and scroll.
    const RECT area = WorkArea();
    // The caption and borders as they are drawn, at whatever scale.
    const int chrome = ChromeHeightOf(Handle());
    // Above the question, between the fields, above and below the buttons.
    const int box = OffersStop() ? scale_(20) : 0;
    const int fixed = scale_(20) + scale_(3) + 4 * scale_(1) + box + scale_(5) + scale_(25) + scale_(10) + chrome;
    const int room = (area.bottom - area.top) - fixed;
    const auto total = [&](int cap) {
        int sum = 0;
        for (const Slot& slot : slots) sum += std::min(slot.needed, std::max(cap, scale_(slot.least)));
        return sum;
    };
    int most = 0;
    for (const Slot& slot : slots) most = std::max(most, slot.needed);
    if (total(most) > room) {
        int low = lineHeight, high = most;  // the greatest cap that fits
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (total(middle) <= room)
                low = middle;
            else
                high = middle - 1;
        }
        for (Slot& slot : slots) slot.given = std::min(slot.needed, std::max(low, scale_(slot.least)));
    }
    int y = scale_(20);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        Slot& slot = slots[i];
        if (slot.given < slot.needed)
            ::SetWindowLongW(slot.field, GWL_STYLE, ::GetWindowLongW(slot.field, GWL_STYLE) | WS_VSCROLL);
        ::SetWindowPos(slot.field, nullptr, scale_(slot.x), y, scale_(slot.width), slot.given,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        // The details start below the question, or where they always did.
        y = i == 0 ? std::max(scale_(76), y + slot.given + scale_(3)) : y + slot.given + scale_(1);
    }
    if (box) {
        ::SetWindowPos(stop_, nullptr, scale_(17), y + scale_(2), scale_(350), scale_(17),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        y += box;
    }
    const int buttons = y + scale_(5);
    for (const auto& [button, x] : {std::pair{disableButton_, 72}, {enableButton_, 161}, {cancelButton_, 250}})
        ::SetWindowPos(button, nullptr, scale_(x), buttons, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SizeClientTo(Handle(), {scale_(384), buttons + scale_(25) + scale_(10)});
}

int PromptDialog::LineHeight() const {
    ClientDc dc(question_);
    SelectObjectScope select(dc.get(), font_.get());
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight;
}

}  // namespace kb
