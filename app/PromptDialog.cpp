#include "app/PromptDialog.h"

#include <commctrl.h>

#include <algorithm>

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
    {ControlKind::Label, L"", PromptDialog::kQuestionId, 72, 20, 289, 53},
    {ControlKind::Label, L"", PromptDialog::kStartsId, 17, 76, 350, 15},
    {ControlKind::Label, L"", PromptDialog::kArgumentsId, 17, 92, 350, 15},
    {ControlKind::Label, L"", PromptDialog::kBeforeId, 17, 108, 350, 15},
    {ControlKind::Label, L"", PromptDialog::kFromId, 17, 124, 350, 30},
    {ControlKind::Button, L"Cancel", PromptDialog::kCancelId, 250, 83 + kDetailsHeight, 75, 25},
};

// The heading and the text, shortened to fit the width, the cut said. The
// program's path loses part of its folder, never its file name: what starts
// is always seen whole. Anything else loses its middle, never its end, where
// a payload would hide.
enum class Shorten { Folder, Middle };

std::wstring Fitted(HDC dc, const std::wstring& heading, const std::wstring& text, int width,
                    Shorten how) {
    const auto fits = [&](const std::wstring& candidate) {
        const std::wstring line = heading + candidate;
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &extent);
        return extent.cx <= width;
    };
    if (text.size() < 1000 && fits(text)) return heading + text;
    const auto slash = text.find_last_of(L"\\/");
    const std::size_t fixedTail =
        how == Shorten::Folder && slash != std::wstring::npos ? text.size() - slash : 0;
    const std::wstring tail = text.substr(text.size() - fixedTail);
    const std::wstring room = text.substr(0, text.size() - fixedTail);
    const auto shortened = [&](std::size_t keep) { return CutInTheMiddle(room, keep) + tail; };
    std::size_t low = 0, high = std::min<std::size_t>(room.size(), 1000);  // the most kept that still fit
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (fits(shortened(middle)))
            low = middle;
        else
            high = middle - 1;
    }
    return heading + shortened(low);
}

// The question as it fits its label, wrapped anywhere: a longer one loses
// its middle (its value's), never the name it starts with or the question
// it ends with.
std::wstring FittedQuestion(HWND label, HFONT font, const std::wstring& question) {
    RECT area{};
    ::GetClientRect(label, &area);
    ClientDc dc(label);
    SelectObjectScope select(dc.get(), font);
    const auto fits = [&](const std::wstring& text) {
        RECT needed{0, 0, area.right, 0};
        ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &needed,
                    DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        return needed.bottom <= area.bottom;
    };
    // No label shows more than a few hundred characters: measuring a value
    // of millions again and again would keep the question from coming.
    constexpr std::size_t kMostShown = 2000;
    if (question.size() <= kMostShown && fits(question)) return question;
    std::size_t low = 0, high = std::min(question.size(), kMostShown);
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (fits(CutInTheMiddle(question, middle)))
            low = middle;
        else
            high = middle - 1;
    }
    return CutInTheMiddle(question, low);
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
        if (args.id == kQuestionId) question_ = control;
        if (args.id == kStartsId) starts_ = control;
        if (args.id == kArgumentsId) arguments_ = control;
        if (args.id == kBeforeId) before_ = control;
        if (args.id == kFromId) from_ = control;
    }
    // A path has few blanks to break at: the place and the question break
    // anywhere, and "&" is no mnemonic in a value.
    for (const HWND label : {from_, question_})
        ::SetWindowLongW(label, GWL_STYLE, ::GetWindowLongW(label, GWL_STYLE) | SS_EDITCONTROL | SS_NOPREFIX);
    PlaceWhereTheUserWorks();
}

void PromptDialog::PlaceWhereTheUserWorks() {
    // The monitor under the cursor, where the user just clicked the icon or
    // works; the primary one when the cursor is nowhere.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const HMONITOR monitor = ::MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info)) return;
    LayOutFor(DpiScale::Of(monitor), nullptr);
    RECT window{};
    ::GetWindowRect(Handle(), &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    const RECT& area = info.rcWork;
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
    // What is shown was fitted to the old widths.
    if (showing_) ShowTexts();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void PromptDialog::Show(const kb::Question& question) {
    ::SendMessageW(disableButton_, BCM_SETSHIELD, 0, question.shield ? TRUE : FALSE);
    // Above every window, also other programs', then back into the normal band.
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    PlaceWhereTheUserWorks();
    asked_ = question;
    ShowTexts();
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

void PromptDialog::ShowTexts() {
    // The question always whole where it matters, whatever the value's length.
    const EntryDetails& details = asked_.details;
    ::SetWindowTextW(question_, FittedQuestion(question_, font_.get(), Showable(asked_.text)).c_str());
    SetDetail(starts_, L"Starts: ", details.program);
    SetDetail(arguments_, L"Arguments: ", details.arguments);
    SetDetail(before_, L"Before: ", details.before);
    // The place in full, on its two lines, broken anywhere.
    ::SetWindowTextW(from_, details.from.empty() ? L"" : (L"From: " + Showable(details.from)).c_str());
}

void PromptDialog::SetDetail(HWND label, const wchar_t* heading, const std::wstring& text) {
    if (text.empty()) {
        ::SetWindowTextW(label, L"");
        return;
    }
    RECT area{};
    ::GetClientRect(label, &area);
    ClientDc dc(label);
    SelectObjectScope select(dc.get(), font_.get());
    // One program keeps its file name; several, each as far as it fits.
    const bool oneProgram = label == starts_ && text.find(L"; ") == std::wstring::npos;
    const std::wstring line = Fitted(dc.get(), heading, Showable(text), area.right,
                                     oneProgram ? Shorten::Folder : Shorten::Middle);
    ::SetWindowTextW(label, line.c_str());
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
