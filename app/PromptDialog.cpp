#include "app/PromptDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <utility>

#include "app/Controls.h"
#include "platform/ShowableText.h"
#include "platform/AppTitle.h"
#include "res/resource.h"

namespace kb {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// In tab order; the question sits between Enable and Cancel, with what
// would start below them both and the buttons below that. The place has two
// lines, so it shows in full.
constexpr int kDetailsHeight = 77;
constexpr ControlArgs kControls[] = {
    {ControlKind::DefaultButton, L"Disable", PromptDialog::kDisableId, 72, 83 + kDetailsHeight, 75, 25},
    {ControlKind::Button, L"Enable", PromptDialog::kEnableId, 161, 83 + kDetailsHeight, 75, 25},
    {ControlKind::ReadOnlyText, L"", PromptDialog::kQuestionId, 72, 20, 289, 53},
    {ControlKind::ReadOnlyText, L"", PromptDialog::kStartsId, 17, 76, 350, 15},
    {ControlKind::ReadOnlyText, L"", PromptDialog::kArgumentsId, 17, 92, 350, 15},
    {ControlKind::ReadOnlyText, L"", PromptDialog::kBeforeId, 17, 108, 350, 15},
    {ControlKind::ReadOnlyText, L"", PromptDialog::kFromId, 17, 124, 350, 30},
    {ControlKind::Button, L"Cancel", PromptDialog::kCancelId, 250, 83 + kDetailsHeight, 75, 25},
};

// Where a line of a field may break: after a blank or a backslash, so a
// path wraps at its folders. Called by the edit control as it lays out its
// lines; it must not raise. The text shown holds no line breaks (they are
// written out), so none needs keeping whole.
int CALLBACK BreakAtBlanksAndBackslashes(LPWSTR text, int current, int length, int code) noexcept {
    const auto breaksAfter = [&](int i) { return i >= 0 && i < length && (text[i] == L' ' || text[i] == L'\\'); };
    switch (code) {
    case WB_ISDELIMITER:
        return breaksAfter(current) ? TRUE : FALSE;
    case WB_LEFT:
        // The start of the word before current: just after a break.
        for (int i = current - 1; i > 0; --i)
            if (breaksAfter(i - 1)) return i;
        return 0;
    case WB_RIGHT:
        for (int i = current; i < length; ++i)
            if (breaksAfter(i)) return i + 1;
        return length;
    }
    return 0;
}

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

Decision DecisionOf(int id) {
    return id == PromptDialog::kDisableId ? Decision::Disable
           : id == PromptDialog::kEnableId ? Decision::Allow
                                           : Decision::Leave;
}

}  // namespace

RECT PromptDialog::FrameFor(const DpiScale& scale) {
    RECT frame{0, 0, scale(384), scale(118 + kDetailsHeight)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    return frame;
}

void PromptDialog::Create() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const RECT frame = FrameFor(scale_);
    CreateOf({kClassName, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEEPBOOT)),
              ::GetSysColorBrush(COLOR_BTNFACE)},
             {.caption = kAppTitle,
              .style = kStyle,
              .exStyle = kExStyle,
              .width = frame.right - frame.left,
              .height = frame.bottom - frame.top});
    // No maximise, size or minimise in the system menu of a fixed dialog.
    if (HMENU menu = ::GetSystemMenu(Handle(), FALSE)) {
        for (UINT item : {SC_MAXIMIZE, SC_SIZE, SC_MINIMIZE, SC_RESTORE})
            ::DeleteMenu(menu, item, MF_BYCOMMAND);
    }

    font_.reset(CreateUiFont(scale_));
    image_ = LoadPngResource(instance, IDR_PROMPT_PNG);
    controls_ = std::make_unique<ControlSet>(Handle(), scale_, font_.get());
    for (const ControlArgs& args : kControls) {
        const HWND control = controls_->Add(args);
        if (args.id == kDisableId) disableButton_ = control;
        if (args.id == kEnableId) enableButton_ = control;
        if (args.id == kCancelId) cancelButton_ = control;
        if (args.id == kQuestionId) question_ = control;
        if (args.id == kStartsId) starts_ = control;
        if (args.id == kArgumentsId) arguments_ = control;
        if (args.id == kBeforeId) before_ = control;
        if (args.id == kFromId) from_ = control;
    }
    // A path has few blanks to break at: the fields break at its folders too,
    // and their text starts at their edge, as a label's does.
    for (const HWND field : Fields()) {
        ::SendMessageW(field, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&BreakAtBlanksAndBackslashes));
        ::SendMessageW(field, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        ::SendMessageW(field, EM_SETLIMITTEXT, 0, 0);
    }
    PlaceWhereTheUserWorks();
}

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

void PromptDialog::PlaceWhereTheUserWorks() {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    LayOutFor(DpiScale::Of(::MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY)), nullptr);
    if (showing_ || !asked_.text.empty()) ArrangeTexts();
    const RECT area = WorkArea();
    RECT window{};
    ::GetWindowRect(Handle(), &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(Handle(), nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PromptDialog::LayOutFor(const DpiScale& scale, const RECT* suggested) {
    if (scale.Dpi() == scale_.Dpi()) return;
    scale_ = scale;
    UniqueFont font(CreateUiFont(scale_));
    PlaceForScale(Handle(), FrameFor(scale_), suggested);
    if (controls_) controls_->Relayout(scale_, font.get());
    font_ = std::move(font);
    // What is shown was laid out for the old sizes.
    if (showing_) ArrangeTexts();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void PromptDialog::Show(const kb::Question& question) {
    ::SendMessageW(disableButton_, BCM_SETSHIELD, 0, question.shield ? TRUE : FALSE);
    // Above every window, also other programs', then back into the normal band.
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    asked_ = question;
    PlaceWhereTheUserWorks();
    // A report open meanwhile may have disabled this window with the rest.
    ::EnableWindow(Handle(), TRUE);
    showing_ = true;
    ::ShowWindow(Handle(), SW_SHOW);
    FocusDisable();
}

void PromptDialog::Answer(int id) {
    if (!showing_) return;
    showing_ = false;
    ::ShowWindow(Handle(), SW_HIDE);
    if (answered_) answered_(DecisionOf(id));
}

void PromptDialog::Withdraw() noexcept {
    showing_ = false;
    ::ShowWindow(Handle(), SW_HIDE);
}

void PromptDialog::ArrangeTexts() {
    // Each field whole, shown as it may be, with its heading: the value can
    // be selected and copied.
    const EntryDetails& details = asked_.details;
    const auto line = [](const wchar_t* heading, const std::wstring& text) {
        return text.empty() ? std::wstring() : heading + Shortened(Showable(text));
    };
    struct Slot {
        HWND field;
        std::wstring text;
        int x, width, least;  // at 96 dots per inch: the least is the field's room in the fixed layout
        int needed = 0, given = 0;
    };
    std::array<Slot, 5> slots{{
        {question_, Shortened(Showable(asked_.text)), 72, 289, 53},
        {starts_, line(L"Starts: ", details.program), 17, 350, 15},
        {arguments_, line(L"Arguments: ", details.arguments), 17, 350, 15},
        {before_, line(L"Before: ", details.before), 17, 350, 15},
        {from_, line(L"From: ", details.from), 17, 350, 30},
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
    RECT chrome{0, 0, 0, 0};
    ::AdjustWindowRectEx(&chrome, kStyle, FALSE, kExStyle);
    // Above the question, between the fields, above and below the buttons.
    const int fixed = scale_(20) + scale_(3) + 4 * scale_(1) + scale_(5) + scale_(25) + scale_(10) +
                      (chrome.bottom - chrome.top);
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
    const int buttons = y + scale_(5);
    for (const auto& [button, x] : {std::pair{disableButton_, 72}, {enableButton_, 161}, {cancelButton_, 250}})
        ::SetWindowPos(button, nullptr, scale_(x), buttons, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame{0, 0, scale_(384), buttons + scale_(25) + scale_(10)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    ::SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int PromptDialog::LineHeight() const {
    ClientDc dc(question_);
    SelectObjectScope select(dc.get(), font_.get());
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight;
}

// So Enter answers Disable whenever the dialog comes up.
void PromptDialog::FocusDisable() {
    if (::IsWindowVisible(Handle()) && ::IsWindowVisible(disableButton_) &&
        ::IsWindowEnabled(disableButton_))
        ::SetFocus(disableButton_);
}

LRESULT PromptDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            const int id = LOWORD(wParam);
            if (id == kDisableId || id == kEnableId || id == kCancelId) Answer(id);
        }
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(kDisableId, DC_HASDEFID);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) FocusDisable();
        return 0;
    case WM_CLOSE:
        Answer(kCancelId);
        return 0;
    case WM_DPICHANGED:
        // Dragged to a monitor of another scale: laid out for it.
        LayOutFor(DpiScale(LOWORD(wParam)), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(Handle(), &ps);
        DrawPng(dc, image_, scale_(17), scale_(21), scale_(39), scale_(48));
        ::EndPaint(Handle(), &ps);
        return 0;
    }
    }
    return Default(message, wParam, lParam);
}

}  // namespace kb
