// The main window's controls, described as one table and made from it.
#include <windows.h>
#include <commctrl.h>

#include "app/DisableForm.h"
#include "app/TabPage.h"
#include "app/ProductSite.h"
#include "platform/Error.h"

namespace kb {

namespace {

enum class Parent { Window, Settings, List, StartPages };
enum class Kind { Button, CheckBox, Edit, RightEdit, Label, RadioGroup, ListView, PageControl };

struct ControlRow {
    Parent parent;
    Kind kind;
    HWND TDisableForm::*field;  // none for a radio group
    int id;
    const wchar_t* caption;
    int x, y, width, height;  // at 96 dots per inch; a label's size follows its text
};

// Within each parent the rows stand in tab order.
constexpr ControlRow kLayout[] = {
    {Parent::Window, Kind::Button, &TDisableForm::StartButton, IdStartButton, L"&Start Keepboot", 291, 415, 144, 25},
    {Parent::Window, Kind::Button, &TDisableForm::StopButton, IdStopButton, L"&Quit", 450, 415, 75, 25},
    {Parent::Window, Kind::Button, &TDisableForm::CloseButton, IdCloseButton, L"&Close", 531, 415, 75, 25},
    {Parent::Window, Kind::PageControl, &TDisableForm::PageControl, IdPageControl, L"", 16, 63, 594, 346},
    {Parent::Window, Kind::Button, &TDisableForm::OnlineButton, IdOnlineButton, kProductDomain, 16, 415, 144, 25},

    {Parent::Settings, Kind::RadioGroup, nullptr, IdSystemRadioGroup, L"Disable Windows Startup Change", 12,
     12, 560, 110},
    {Parent::Settings, Kind::RadioGroup, nullptr, IdIERadioGroup,
     L"Disable Internet Explorer Start Pages Change", 12, 138, 560, 110},
    {Parent::Settings, Kind::CheckBox, &TDisableForm::StartupCheckBox, IdStartupCheckBox, L"Start this program with Windows Startup",
     12, 262, 557, 17},
    {Parent::Settings, Kind::CheckBox, &TDisableForm::IntervalCheckBox, IdIntervalCheckBox,
     L"Change the program check the startup interval in", 12, 285, 253, 17},
    {Parent::Settings, Kind::RightEdit, &TDisableForm::IntervalEdit, IdIntervalEdit, L"3", 271, 283, 30, 21},
    {Parent::Settings, Kind::Label, &TDisableForm::IntervalLabel, IdIntervalLabel, L"seconds", 307, 286, 0, 0},

    {Parent::List, Kind::ListView, &TDisableForm::ListView, IdListView, L"", 12, 12, 560, 266},
    {Parent::List, Kind::Button, &TDisableForm::ApplyButton, IdApplyButton, L"&Apply", 497, 284, 75, 25},
    {Parent::List, Kind::Button, &TDisableForm::RefrushButton, IdRefrushButton, L"&Refrush", 416, 284, 75, 25},

    {Parent::StartPages, Kind::Button, &TDisableForm::ApplyButton1, IdApplyButton1, L"&Apply", 497, 284, 75, 25},
    {Parent::StartPages, Kind::Button, &TDisableForm::RefrushButton1, IdRefrushButton1, L"&Refrush", 416, 284, 75, 25},
    {Parent::StartPages, Kind::Label, &TDisableForm::IELabel1, IdIELabel1, L"Internet Explorer Start Pages (Local Machine)",
     12, 32, 0, 0},
    {Parent::StartPages, Kind::Edit, &TDisableForm::IEEdit1, IdIEEdit1, L"", 12, 51, 560, 21},
    {Parent::StartPages, Kind::Label, &TDisableForm::IELabel2, IdIELabel1 + 1,
     L"Internet Explorer Start Pages (Current User)", 12, 80, 0, 0},
    {Parent::StartPages, Kind::Edit, &TDisableForm::IEEdit2, IdIEEdit1 + 1, L"", 12, 99, 560, 21},
    {Parent::StartPages, Kind::Label, &TDisableForm::IELabel3, IdIELabel1 + 2,
     L"Internet Explorer Default Page URL (Local Machine)", 12, 136, 0, 0},
    {Parent::StartPages, Kind::Edit, &TDisableForm::IEEdit3, IdIEEdit1 + 2, L"", 12, 155, 560, 21},
    {Parent::StartPages, Kind::Label, &TDisableForm::IELabel4, IdIELabel1 + 3,
     L"Internet Explorer Default Page URL (Current User)", 12, 184, 0, 0},
    {Parent::StartPages, Kind::Edit, &TDisableForm::IEEdit4, IdIEEdit1 + 3, L"", 12, 203, 560, 21},
};

constexpr const wchar_t* kPageCaptions[] = {
    L"Keepboot Settings",
    L"Current Windows Startup",
    L"Current Internet Explorer Start Pages",
};

constexpr const wchar_t* kSystemItems[RadioGroup::kItems] = {
    L"Disable all new startups, no warning messages",
    L"Show one warning message when new startup added",
    L"Allow all new startups",
};
constexpr const wchar_t* kIEItems[RadioGroup::kItems] = {
    L"Disable all Internet Explorer Start Pages changes, no warning messages",
    L"Show one warning message when Internet Explorer Start Pages be changed",
    L"Allow all Internet Explorer Start Pages changes",
};

struct ListColumn {
    const wchar_t* caption;
    int width;
};
constexpr ListColumn kListColumns[] = {{L"Item", 120}, {L"Command", 280}, {L"Location", 120}};

}  // namespace

HWND TDisableForm::CreateControl(HWND parent, const wchar_t* className, const wchar_t* caption,
                                 DWORD style, int id, int x, int y, int width, int height,
                                 DWORD exStyle) {
    HWND control = ::CreateWindowExW(exStyle, className, caption, WS_CHILD | WS_VISIBLE | style,
                                     scale_(x), scale_(y), scale_(width), scale_(height), parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (!control) throw Error(L"Error creating window");
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

void TDisableForm::CreateControls() {
    font_.reset(CreateUiFont(scale_));

    auto bind = [this](const ControlRow& row, HWND control) {
        if (row.field) this->*row.field = control;
    };

    ClientDc dc(Handle());
    SelectObjectScope selectFont(dc.get(), font_.get());
    auto parentOf = [&](Parent parent) {
        return parent == Parent::Window ? Handle() : pages_[static_cast<int>(parent) - 1]->Handle();
    };

    for (const ControlRow& row : kLayout) {
        const HWND parent = parentOf(row.parent);
        switch (row.kind) {
        case Kind::Button:
            bind(row, CreateControl(parent, WC_BUTTONW, row.caption,
                                        WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, row.id, row.x,
                                        row.y, row.width, row.height));
            break;
        case Kind::CheckBox:
            bind(row, CreateControl(parent, WC_BUTTONW, row.caption,
                                        WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, row.id, row.x,
                                        row.y, row.width, row.height));
            break;
        case Kind::Edit:
        case Kind::RightEdit:
            bind(row, CreateControl(parent, WC_EDITW, row.caption,
                                        WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL |
                                            (row.kind == Kind::RightEdit ? ES_RIGHT : ES_LEFT),
                                        row.id, row.x, row.y, row.width, row.height,
                                        WS_EX_CLIENTEDGE));
            break;
        case Kind::Label: {
            SIZE extent{};
            ::GetTextExtentPoint32W(dc.get(), row.caption, static_cast<int>(wcslen(row.caption)),
                                    &extent);
            HWND label = CreateControl(parent, WC_STATICW, row.caption, SS_LEFT | SS_NOPREFIX,
                                       row.id, row.x, row.y, 0, 0);
            ::SetWindowPos(label, nullptr, 0, 0, extent.cx, extent.cy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            bind(row, label);
            break;
        }
        case Kind::RadioGroup: {
            RadioGroup& group = row.id == IdSystemRadioGroup ? SystemRadioGroup : IERadioGroup;
            const auto& items = row.id == IdSystemRadioGroup ? kSystemItems : kIEItems;
            HWND box = CreateControl(parent, WC_BUTTONW, row.caption, WS_GROUP | BS_GROUPBOX,
                                     row.id, row.x, row.y, row.width, row.height);
            std::array<HWND, RadioGroup::kItems> buttons{};
            // Three rows spread evenly below the caption.
            const int rowHeight = (row.height - 20) / RadioGroup::kItems;
            for (int i = 0; i < RadioGroup::kItems; ++i)
                buttons[i] = CreateControl(
                    parent, WC_BUTTONW, items[i],
                    BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), row.id + 1 + i,
                    row.x + 8, row.y + 16 + i * rowHeight + (rowHeight - 17) / 2,
                    row.width - 16, 17);
            group.SetItems(box, buttons);
            group.SetItemIndex(0);
            break;
        }
        case Kind::ListView: {
            HWND list = CreateControl(parent, WC_LISTVIEWW, L"",
                                      WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                          LVS_SINGLESEL,
                                      row.id, row.x, row.y, row.width, row.height,
                                      WS_EX_CLIENTEDGE);
            ListView_SetExtendedListViewStyle(
                list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
            int index = 0;
            for (const ListColumn& column : kListColumns) {
                LVCOLUMNW lvc{};
                lvc.mask = LVCF_TEXT | LVCF_WIDTH;
                lvc.pszText = const_cast<wchar_t*>(column.caption);
                lvc.cx = scale_(column.width);
                ListView_InsertColumn(list, index++, &lvc);
            }
            bind(row, list);
            break;
        }
        case Kind::PageControl: {
            HWND tabs = CreateControl(parent, WC_TABCONTROLW, L"",
                                      WS_TABSTOP | WS_GROUP | WS_CLIPCHILDREN, row.id, row.x,
                                      row.y, row.width, row.height, WS_EX_CONTROLPARENT);
            for (int i = 0; i < 3; ++i) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
                TabCtrl_InsertItem(tabs, i, &item);
            }
            RECT area;
            ::GetClientRect(tabs, &area);
            TabCtrl_AdjustRect(tabs, FALSE, &area);
            for (auto& page : pages_) page = std::make_unique<TabPage>(tabs, Handle(), area);
            bind(row, tabs);
            break;
        }
        }
    }
    // The interval box opens only with its check box.
    ::EnableWindow(IntervalEdit, FALSE);
    ShowPage(0);
}

}  // namespace kb
