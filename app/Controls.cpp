#include "app/Controls.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/Handle.h"
#include "app/Texts.h"

namespace kb {

namespace {

struct KindStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

KindStyle StyleOf(ControlKind kind) {
    constexpr DWORD tab = WS_TABSTOP | WS_GROUP;
    switch (kind) {
    case ControlKind::Button: return {WC_BUTTONW, tab | BS_PUSHBUTTON, 0};
    case ControlKind::DefaultButton: return {WC_BUTTONW, tab | BS_DEFPUSHBUTTON, 0};
    case ControlKind::CheckBox: return {WC_BUTTONW, tab | BS_AUTOCHECKBOX, 0};
    case ControlKind::Edit: return {WC_EDITW, tab | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
    case ControlKind::RightAlignedEdit:
        return {WC_EDITW, tab | ES_AUTOHSCROLL | ES_RIGHT, WS_EX_CLIENTEDGE};
    case ControlKind::Label: return {WC_STATICW, SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::ReadOnlyText: return {WC_EDITW, ES_MULTILINE | ES_READONLY | ES_LEFT, 0};
    case ControlKind::GroupBox: return {WC_BUTTONW, WS_GROUP | BS_GROUPBOX, 0};
    case ControlKind::FirstRadioButton: return {WC_BUTTONW, tab | BS_AUTORADIOBUTTON, 0};
    case ControlKind::RadioButton: return {WC_BUTTONW, BS_AUTORADIOBUTTON, 0};
    case ControlKind::ListView:
        return {WC_LISTVIEWW, tab | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                WS_EX_CLIENTEDGE};
    case ControlKind::VirtualListView:
        return {WC_LISTVIEWW,
                tab | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_OWNERDATA,
                WS_EX_CLIENTEDGE};
    case ControlKind::Tabs: return {WC_TABCONTROLW, tab | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    }
    return {WC_STATICW, 0, 0};
}

// The text's extent in the font, "&" read as the accelerator's mark.
SIZE TextExtent(HWND parent, HFONT font, const wchar_t* text, UINT format) {
    ClientDc dc(parent);
    SelectObjectScope select(dc.get(), font);
    RECT area{};
    ::DrawTextW(dc.get(), text, -1, &area, DT_CALCRECT | DT_SINGLELINE | format);
    return {area.right, area.bottom};
}

// The least width the control needs to show all its text: the text, and
// the box or the button's edges drawn beside it.
int FittingWidth(HWND parent, HFONT font, ControlKind kind, const wchar_t* text, const DpiScale& scale) {
    switch (kind) {
    case ControlKind::CheckBox:
    case ControlKind::FirstRadioButton:
    case ControlKind::RadioButton:
        return TextExtent(parent, font, text, 0).cx + ::GetSystemMetrics(SM_CXMENUCHECK) + scale(6);
    case ControlKind::Button:
    case ControlKind::DefaultButton:
        return TextExtent(parent, font, text, 0).cx + scale(12);
    default:
        return 0;
    }
}

bool IsListView(ControlKind kind) {
    return kind == ControlKind::ListView || kind == ControlKind::VirtualListView;
}

}  // namespace

void Control::SetShield(bool shield) const {
    ::SendMessageW(hwnd_, BCM_SETSHIELD, 0, shield);
}

void AddListColumns(HWND listView, std::span<const ListColumn> columns, const DpiScale& scale) {
    int index = 0;
    for (const ListColumn& column : columns) {
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH;
        lvc.pszText = const_cast<wchar_t*>(UiText(column.caption).c_str());
        lvc.cx = scale(column.width);
        ListView_InsertColumn(listView, index++, &lvc);
    }
}

RECT ControlSet::PlaceOf(const ControlArgs& args, const std::wstring& text) const {
    int width = scale_(args.width), height = scale_(args.height);
    if (args.kind == ControlKind::Label && args.width == 0) {
        const SIZE extent = TextExtent(parent_, font_, text.c_str(), DT_NOPREFIX);
        width = extent.cx;
        height = extent.cy;
    }
    // In a wider font than the layout was drawn for, a control grows rather
    // than cut its text off.
    width = std::max(width, FittingWidth(parent_, font_, args.kind, text.c_str(), scale_));
    int x = scale_(args.x);
    for (const Placed& before : placed_)
        if (args.after != 0 && before.args.id == args.after) {
            RECT place{};
            ::GetWindowRect(before.control, &place);
            ::MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&place), 2);
            x = std::max(x, static_cast<int>(place.right) + scale_(6));
        }
    const int y = scale_(args.y);
    return {x, y, x + width, y + height};
}

HWND ControlSet::Add(const ControlArgs& args, std::function<void()> onClick) {
    const KindStyle kind = StyleOf(args.kind);
    const RECT place = PlaceOf(args, args.text);
    const HWND control = ::CreateWindowExW(
        kind.exStyle, kind.className, args.text, WS_CHILD | WS_VISIBLE | kind.style, place.left, place.top,
        place.right - place.left, place.bottom - place.top, parent_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!control) {
        const DWORD code = ::GetLastError();
        throw Error(UiText(IDS_NO_WINDOW), code);
    }
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    placed_.push_back({control, args});
    if (onClick) bindings_.push_back({control, std::move(onClick)});
    return control;
}

void ControlSet::Relayout(const DpiScale& scale, HFONT font) {
    const DpiScale before = scale_;
    scale_ = scale;
    font_ = font;
    for (const Placed& placed : placed_) {
        ::SendMessageW(placed.control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // Made again as at the start, but for the text it shows now.
        const RECT place = PlaceOf(placed.args, WindowText(placed.control));
        ::SetWindowPos(placed.control, nullptr, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (IsListView(placed.args.kind)) {
            const HWND header = ListView_GetHeader(placed.control);
            const int columns = header ? Header_GetItemCount(header) : 0;
            for (int i = 0; i < columns; ++i)
                ListView_SetColumnWidth(placed.control, i,
                                        ::MulDiv(ListView_GetColumnWidth(placed.control, i), scale.Dpi(), before.Dpi()));
        }
        ::InvalidateRect(placed.control, nullptr, TRUE);
    }
}

bool ControlSet::Click(HWND control) const {
    for (const Binding& binding : bindings_)
        if (binding.control == control) {
            binding.onClick();
            return true;
        }
    return false;
}

void ControlSet::SetCheck(const CheckBox& box, bool checked) const {
    if (box.Checked() == checked) return;
    box.SetChecked(checked);
    Click(box);
}

}  // namespace kb
