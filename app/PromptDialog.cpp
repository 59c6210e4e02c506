#include "platform/NewerWindows.h"
#include "app/PromptDialog.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <utility>

#include "app/Controls.h"
#include "platform/AppTitle.h"
#include "res/resource.h"
#include "app/Texts.h"

namespace kb {

namespace {

// In tab order; the question sits between Enable and Cancel, with what
// would start below them both and the buttons below that. The place has two
// lines, so it shows in full.
constexpr int kDetailsHeight = 77;
// Made at the dialog's first making, not as the program loads: the texts
// come from the string table.
std::span<const ControlArgs> Controls() {
    static const ControlArgs controls[] = {
        {ControlKind::DefaultButton, UiText(IDS_DISABLE).c_str(), PromptDialog::kDisableId, 72, 83 + kDetailsHeight,
         75, 25},
        {ControlKind::Button, UiText(IDS_ENABLE).c_str(), PromptDialog::kEnableId, 161, 83 + kDetailsHeight, 75, 25},
        {ControlKind::ReadOnlyText, L"", PromptDialog::kQuestionId, 72, 20, 289, 53},
        {ControlKind::ReadOnlyText, L"", PromptDialog::kStartsId, 17, 76, 350, 15},
        {ControlKind::ReadOnlyText, L"", PromptDialog::kArgumentsId, 17, 92, 350, 15},
        {ControlKind::ReadOnlyText, L"", PromptDialog::kBeforeId, 17, 108, 350, 15},
        {ControlKind::ReadOnlyText, L"", PromptDialog::kFromId, 17, 124, 350, 30},
        {ControlKind::Button, UiText(IDS_CANCEL).c_str(), PromptDialog::kCancelId, 250, 83 + kDetailsHeight, 75, 25},
        // Placed below the details by ArrangeTexts, where it shows.
        {ControlKind::CheckBox, UiText(IDS_SERVICE_STOP_TOO).c_str(), PromptDialog::kStopId, 17, 83 + kDetailsHeight,
         350, 17},
    };
    return controls;
}

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

Decision DecisionOf(int id) {
    return id == PromptDialog::kDisableId ? Decision::Disable
           : id == PromptDialog::kEnableId ? Decision::Allow
                                           : Decision::Leave;
}

}  // namespace

SIZE PromptDialog::ClientFor(const DpiScale& scale) {
    return {scale(384), scale(118 + kDetailsHeight)};
}

RECT PromptDialog::FrameFor(const DpiScale& scale) {
    const SIZE client = ClientFor(scale);
    return FrameAround({0, 0, client.cx, client.cy}, kStyle, kExStyle, scale.Dpi());
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
    for (const ControlArgs& args : Controls()) {
        const HWND control = controls_->Add(args);
        if (args.id == kDisableId) disableButton_ = control;
        if (args.id == kEnableId) enableButton_ = control;
        if (args.id == kCancelId) cancelButton_ = control;
        if (args.id == kQuestionId) question_ = control;
        if (args.id == kStartsId) starts_ = control;
        if (args.id == kArgumentsId) arguments_ = control;
        if (args.id == kBeforeId) before_ = control;
        if (args.id == kFromId) from_ = control;
        if (args.id == kStopId) stop_ = control;
    }
    ::ShowWindow(stop_, SW_HIDE);
    // A path has few blanks to break at: the fields break at its folders too,
    // and their text starts at their edge, as a label's does.
    for (const HWND field : Fields()) {
        ::SendMessageW(field, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&BreakAtBlanksAndBackslashes));
        ::SendMessageW(field, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        ::SendMessageW(field, EM_SETLIMITTEXT, 0, 0);
    }
    PlaceWhereTheUserWorks();
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
    PlaceForScale(Handle(), ClientFor(scale_), suggested);
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
    // Never ticked before the user ticks it, for each question anew.
    ::SendMessageW(stop_, BM_SETCHECK, BST_UNCHECKED, 0);
    ::ShowWindow(stop_, OffersStop() ? SW_SHOWNA : SW_HIDE);
    PlaceWhereTheUserWorks();
    // A report open meanwhile may have disabled this window with the rest.
    ::EnableWindow(Handle(), TRUE);
    showing_ = true;
    ::ShowWindow(Handle(), SW_SHOW);
    FocusDisable();
}

bool PromptDialog::OffersStop() const {
    return asked_.entry && !asked_.putBack && asked_.details.service && asked_.details.service->runs;
}

void PromptDialog::Answer(int id) {
    if (!showing_) return;
    showing_ = false;
    const bool stop = id == kDisableId && OffersStop() && ::SendMessageW(stop_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    ::ShowWindow(Handle(), SW_HIDE);
    if (answered_) answered_(DecisionOf(id), stop);
}

void PromptDialog::Withdraw() noexcept {
    showing_ = false;
    ::ShowWindow(Handle(), SW_HIDE);
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
