#pragma once
// The one way both windows make their controls: a kind, a text, an id and
// a place at 96 dots per inch, scaled to the screen, in the program's font;
// and the typed controls the pages hold.
#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/Window.h"

namespace kb {

enum class ControlKind {
    Button,
    DefaultButton,
    CheckBox,
    Edit,
    RightAlignedEdit,
    Label,  // sized to its text when no size is given
    ReadOnlyText,  // lines that wrap, to be read, selected and copied
    GroupBox,
    FirstRadioButton,  // starts a group and takes the tab stop
    RadioButton,
    ListView,
    VirtualListView,  // rows drawn from the owner's data on demand
    Tabs,
};

// Where a control stands, as data that can be laid out again at another
// DPI. Named: rows read {.kind = ..., .text = ..., .id = ..., .x = ...}.
struct ControlArgs {
    ControlKind kind = ControlKind::Label;
    const wchar_t* text = L"";
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    // The id of an earlier control this one stands right of, however wide
    // that one grew for its text.
    int after = 0;
};

// A control the window made. It converts to its handle, as the system's
// own wrappers do, so the common controls' macros take it.
class Control {
public:
    Control() = default;
    explicit Control(HWND control) noexcept : hwnd_(control) {}
    HWND Handle() const noexcept { return hwnd_; }
    operator HWND() const noexcept { return hwnd_; }

    std::wstring Text() const { return WindowText(hwnd_); }
    void SetText(const std::wstring& text) const { ::SetWindowTextW(hwnd_, text.c_str()); }
    void Enable(bool enabled) const { ::EnableWindow(hwnd_, enabled); }
    void Show(bool shown) const { ::ShowWindow(hwnd_, shown ? SW_SHOW : SW_HIDE); }
    // Windows' shield: what this button does asks for administrator rights.
    void SetShield(bool shield) const;

private:
    HWND hwnd_ = nullptr;
};

class CheckBox : public Control {
public:
    using Control::Control;
    bool Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // Only the state: no handler runs.
    void SetChecked(bool checked) const {
        ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

// A report list view's column, at 96 dots per inch.
struct ListColumn {
    UINT caption;  // of the string table
    int width;
};
void AddListColumns(HWND listView, std::span<const ListColumn> columns, const DpiScale& scale);

// A window's controls: made in its font and scale, each with the click
// handler bound where it is made, and laid out again when the window moves
// to a monitor of another DPI.
class ControlSet {
public:
    ControlSet(HWND parent, const DpiScale& scale, HFONT font) noexcept
        : parent_(parent), scale_(scale), font_(font) {}

    // Makes the control; raises when the system cannot.
    HWND Add(const ControlArgs& args, std::function<void()> onClick = {});
    // Lays every control out again as it was made, at the scale and in the
    // font given; list columns keep their widths at the new scale.
    void Relayout(const DpiScale& scale, HFONT font);
    // Runs the handler of a clicked control; false when it has none.
    bool Click(HWND control) const;
    // Sets a check box as a click does: its handler runs when the state
    // changes, and what the handler raises reaches the caller.
    void SetCheck(const CheckBox& box, bool checked) const;
    const DpiScale& Scale() const noexcept { return scale_; }

private:
    struct Binding {
        HWND control;
        std::function<void()> onClick;
    };
    struct Placed {
        HWND control;
        ControlArgs args;
    };
    // Where the control goes at the current scale, for the text it shows.
    RECT PlaceOf(const ControlArgs& args, const std::wstring& text) const;
    HWND parent_;
    DpiScale scale_;
    HFONT font_;
    std::vector<Binding> bindings_;
    std::vector<Placed> placed_;  // in the order made
};

}  // namespace kb
