#pragma once
// The one way both windows make their controls: a kind, a text, an id and
// a place at 96 dots per inch, scaled to the screen, in the program's font.
#include <windows.h>

#include "app/Window.h"

namespace kb {

enum class ControlKind {
    Button,
    DefaultButton,
    CheckBox,
    Edit,
    RightAlignedEdit,
    Label,  // sized to its text when no size is given
    GroupBox,
    FirstRadioButton,  // starts a group and takes the tab stop
    RadioButton,
    ListView,
    VirtualListView,  // rows drawn from the owner's data on demand
    Tabs,
};

struct ControlArgs {
    ControlKind kind;
    const wchar_t* text;
    int id;
    int x, y, width, height;
};

// Makes the control; raises when the system cannot.
HWND CreateControl(HWND parent, const ControlArgs& args, const DpiScale& scale, HFONT font);

}  // namespace kb
