// The main window's controls, described as one table and made from it.
// Each row that is clicked names its handler.
#include <windows.h>
#include <commctrl.h>

#include <span>

#include "app/Controls.h"
#include "app/Elevation.h"
#include "app/MainWindow.h"
#include "app/ProductSite.h"
#include "app/TabPage.h"

namespace kb {

namespace {

enum class Page { Window, Settings, List, StartPages, History };
using Controls = MainWindow::Controls;
// Where a row's control is kept.
using Slot = HWND* (*)(Controls&);

template <HWND Controls::*F>
HWND* Field(Controls& c) {
    return &(c.*F);
}

struct ControlRow {
    Page page;
    ControlArgs args;  // at 96 dots per inch; a label's size follows its text
    Slot slot;
    void (MainWindow::*onClick)();
};

// Within each page the rows stand in tab order. The two radio groups and
// the start-page boxes are made apart (below).
const ControlRow kLayout[] = {
    {Page::Window, {ControlKind::Button, L"&Start Keepboot", IdStartButton, 291, 415, 144, 25},
     Field<&Controls::startButton>, &MainWindow::StartWatching},
    {Page::Window, {ControlKind::Button, L"&Quit", IdQuitButton, 450, 415, 75, 25},
     Field<&Controls::quitButton>, &MainWindow::Quit},
    {Page::Window, {ControlKind::Button, L"&Close", IdCloseButton, 531, 415, 75, 25},
     Field<&Controls::closeButton>, &MainWindow::HideToTray},
    {Page::Window, {ControlKind::Tabs, L"", IdPages, 16, 63, 594, 346}, Field<&Controls::pages>,
     nullptr},
    {Page::Window, {ControlKind::Button, kProductDomain, IdSiteButton, 16, 415, 144, 25},
     Field<&Controls::siteButton>, &MainWindow::OpenProductSite},

    {Page::Settings,
     {ControlKind::GroupBox, L"Disable Windows Startup Change", IdStartupPolicy, 12, 12, 560, 110},
     nullptr, nullptr},
    {Page::Settings,
     {ControlKind::GroupBox, L"Disable Internet Explorer Start Pages Change", IdStartPagePolicy, 12,
      138, 560, 110},
     nullptr, nullptr},
    {Page::Settings,
     {ControlKind::CheckBox, L"Start this program with Windows Startup", IdSelfStartBox, 12, 262,
      370, 17},
     Field<&Controls::selfStartBox>, &MainWindow::OnSelfStartClicked},
    {Page::Settings,
     {ControlKind::Button, L"Restart as &administrator", IdRestartElevated, 392, 258, 180, 25},
     Field<&Controls::restartElevated>, &MainWindow::RestartElevated},
    {Page::Settings,
     {ControlKind::CheckBox, L"Change the program check the startup interval in", IdIntervalBox, 12,
      285, 253, 17},
     Field<&Controls::intervalBox>, &MainWindow::OnIntervalBoxClicked},
    {Page::Settings, {ControlKind::RightAlignedEdit, L"3", IdIntervalEdit, 271, 283, 30, 21},
     Field<&Controls::intervalEdit>, nullptr},
    {Page::Settings, {ControlKind::Label, L"seconds", IdIntervalLabel, 307, 286, 0, 0},
     Field<&Controls::intervalLabel>, nullptr},

    {Page::List, {ControlKind::ListView, L"", IdStartupList, 12, 12, 560, 266},
     Field<&Controls::startupList>, nullptr},
    {Page::List, {ControlKind::Label, L"", IdUnreadablePlaces, 12, 289, 396, 17},
     Field<&Controls::unreadablePlaces>, nullptr},
    {Page::List, {ControlKind::Button, L"&Apply", IdListApply, 497, 284, 75, 25},
     Field<&Controls::listApply>, &MainWindow::ApplyStartupList},
    // "Refrush" is the program's caption as its users know it, spelling and all.
    {Page::List, {ControlKind::Button, L"&Refrush", IdListReload, 416, 284, 75, 25},
     Field<&Controls::listReload>, &MainWindow::ReloadStartupList},

    {Page::StartPages, {ControlKind::Button, L"&Apply", IdStartPagesApply, 497, 284, 75, 25},
     Field<&Controls::startPagesApply>, &MainWindow::WriteStartPages},
    {Page::StartPages, {ControlKind::Button, L"&Refrush", IdStartPagesReload, 416, 284, 75, 25},
     Field<&Controls::startPagesReload>, &MainWindow::ReloadStartPages},

    {Page::History, {ControlKind::VirtualListView, L"", IdHistoryList, 12, 12, 560, 266},
     Field<&Controls::historyList>, nullptr},
    {Page::History, {ControlKind::Button, L"&Enable", IdHistoryEnable, 497, 284, 75, 25},
     Field<&Controls::historyEnable>, &MainWindow::EnableFromHistory},
};

// The label and box tops of the four start-page values.
constexpr int kStartPageLabelTops[kStartPageCount] = {32, 80, 136, 184};
constexpr int kStartPageEditTops[kStartPageCount] = {51, 99, 155, 203};

constexpr const wchar_t* kPageCaptions[] = {
    L"Keepboot Settings",
    L"Current Windows Startup",
    L"Current Internet Explorer Start Pages",
    L"History",
};

constexpr const wchar_t* kStartupPolicyItems[RadioGroup::kItems] = {
    L"Disable all new startups, no warning messages",
    L"Show one warning message when new startup added",
    L"Allow all new startups",
};
constexpr const wchar_t* kStartPagePolicyItems[RadioGroup::kItems] = {
    L"Disable all Internet Explorer Start Pages changes, no warning messages",
    L"Show one warning message when Internet Explorer Start Pages be changed",
    L"Allow all Internet Explorer Start Pages changes",
};

struct ListColumn {
    const wchar_t* caption;
    int width;
};
constexpr ListColumn kListColumns[] = {{L"Item", 120}, {L"Command", 280}, {L"Location", 120}};
constexpr ListColumn kHistoryColumns[] = {
    {L"Time", 118}, {L"What", 150}, {L"Item", 100}, {L"Location", 120}, {L"Details", 300}};

}  // namespace

void MainWindow::CreateControls() {
    font_.reset(CreateUiFont(scale_));
    const auto parentOf = [&](Page page) {
        return page == Page::Window ? Handle() : pages_[static_cast<int>(page) - 1]->Handle();
    };
    const auto make = [&](Page page, const ControlArgs& args) {
        return CreateControl(parentOf(page), args, scale_, font_.get());
    };

    for (const ControlRow& row : kLayout) {
        const HWND control = make(row.page, row.args);
        if (row.slot) *row.slot(ui_) = control;
        switch (row.args.kind) {
        case ControlKind::GroupBox: {
            // Three items spread evenly below the caption.
            const bool startup = row.args.id == IdStartupPolicy;
            const auto& items = startup ? kStartupPolicyItems : kStartPagePolicyItems;
            const ControlArgs& box = row.args;
            const int rowHeight = (box.height - 20) / RadioGroup::kItems;
            std::array<HWND, RadioGroup::kItems> buttons{};
            for (int i = 0; i < RadioGroup::kItems; ++i)
                buttons[i] = make(row.page, {i == 0 ? ControlKind::FirstRadioButton
                                                    : ControlKind::RadioButton,
                                             items[i], box.id + 1 + i, box.x + 8,
                                             box.y + 16 + i * rowHeight + (rowHeight - 17) / 2,
                                             box.width - 16, 17});
            RadioGroup& group = startup ? ui_.startupPolicy : ui_.startPagePolicy;
            group.SetItems(control, buttons);
            group.SetItemIndex(0);
            break;
        }
        case ControlKind::ListView:
        case ControlKind::VirtualListView: {
            const bool history = row.args.id == IdHistoryList;
            ListView_SetExtendedListViewStyle(
                control, (history ? 0 : LVS_EX_CHECKBOXES) | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
            int index = 0;
            for (const ListColumn& column : history ? std::span<const ListColumn>(kHistoryColumns)
                                                    : std::span<const ListColumn>(kListColumns)) {
                LVCOLUMNW lvc{};
                lvc.mask = LVCF_TEXT | LVCF_WIDTH;
                lvc.pszText = const_cast<wchar_t*>(column.caption);
                lvc.cx = scale_(column.width);
                ListView_InsertColumn(control, index++, &lvc);
            }
            if (history)
                history_.List().Attach(control);
            else
                list_.Attach(control);
            break;
        }
        case ControlKind::Tabs: {
            for (int i = 0; i < static_cast<int>(std::size(kPageCaptions)); ++i) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
                TabCtrl_InsertItem(control, i, &item);
            }
            RECT area;
            ::GetClientRect(control, &area);
            TabCtrl_AdjustRect(control, FALSE, &area);
            for (auto& page : pages_) page = std::make_unique<TabPage>(control, Handle(), area);
            break;
        }
        default:
            break;
        }
    }
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        const int id = static_cast<int>(i);
        ui_.startPageLabels[i] =
            make(Page::StartPages, {ControlKind::Label, kStartPageValues[i].caption,
                                    IdStartPageLabel0 + id, 12, kStartPageLabelTops[i], 0, 0});
        ui_.startPageEdits[i] = make(Page::StartPages, {ControlKind::Edit, L"", IdStartPageEdit0 + id,
                                                        12, kStartPageEditTops[i], 560, 21});
    }
    // The interval box and its unit follow their check box, however wide
    // its text made it.
    const auto placeOf = [](HWND control) {
        RECT place{};
        ::GetWindowRect(control, &place);
        ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
        return place;
    };
    const int shift = placeOf(ui_.intervalBox).right + scale_(6) - placeOf(ui_.intervalEdit).left;
    if (shift > 0)
        for (HWND follower : {ui_.intervalEdit, ui_.intervalLabel}) {
            const RECT place = placeOf(follower);
            ::SetWindowPos(follower, nullptr, place.left + shift, place.top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    // The interval box opens only with its check box.
    ::EnableWindow(ui_.intervalEdit, FALSE);
    // Windows' shield marks what will ask for administrator rights. Restarting
    // with them is offered only to a user who may have them.
    if (!elevated_) {
        ::SendMessageW(ui_.listApply, BCM_SETSHIELD, 0, TRUE);
        ::SendMessageW(ui_.restartElevated, BCM_SETSHIELD, 0, TRUE);
    }
    ::ShowWindow(ui_.restartElevated, !elevated_ && CanElevate() ? SW_SHOW : SW_HIDE);
    ShowPage(0);
}

void MainWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    const auto inGroup = [id](int first) { return id >= first && id < first + RadioGroup::kItems; };
    if (inGroup(IdStartupPolicyItem0) || inGroup(IdStartPagePolicyItem0)) return OnPolicyClicked();
    for (const ControlRow& row : kLayout)
        if (row.args.id == id && row.onClick) return (this->*row.onClick)();
}

}  // namespace kb
