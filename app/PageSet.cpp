#include "app/PageSet.h"

#include <commctrl.h>

#include <initializer_list>
#include <iterator>

#include "app/Texts.h"

namespace kb {

namespace {

constexpr UINT kPageCaptions[] = {IDS_TAB_SETTINGS, IDS_TAB_STARTUP, IDS_TAB_START_PAGES, IDS_TAB_HISTORY};

}  // namespace

PageSet::PageSet(HWND tabs, const DpiScale& scale, HFONT font, Needs needs) : tabs_(tabs) {
    for (int i = 0; i < static_cast<int>(std::size(kPageCaptions)); ++i) {
        const std::wstring& caption = UiText(kPageCaptions[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(caption.c_str());
        TabCtrl_InsertItem(tabs_, i, &item);
    }
    const PageFrame frame{tabs_, scale, font};
    settings_ = std::make_unique<SettingsPage>(frame, std::move(needs.settings), needs.canElevate);
    list_ = std::make_unique<ListPage>(frame, *needs.bench);
    startPages_ = std::make_unique<StartPagesPage>(frame, *needs.watcher);
    startPages_->SetAsking(std::move(needs.askingAboutAValue));
    history_ = std::make_unique<HistoryPage>(frame, *needs.bench, *list_);
    Show(0);
}

void PageSet::Show(int index) {
    TabCtrl_SetCurSel(tabs_, index);
    const Page* pages[] = {settings_.get(), list_.get(), startPages_.get(), history_.get()};
    for (int i = 0; i < static_cast<int>(std::size(pages)); ++i) pages[i]->Show(i == index);
}

void PageSet::OnNotify(const NMHDR& header) {
    if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) Show(TabCtrl_GetCurSel(tabs_));
}

bool PageSet::Turn(HWND window, const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !(::GetKeyState(VK_CONTROL) & 0x8000))
        return false;
    if (msg.hwnd != window && !::IsChild(window, msg.hwnd)) return false;
    const int pages = TabCtrl_GetItemCount(tabs_);
    const int step = (::GetKeyState(VK_SHIFT) & 0x8000) ? pages - 1 : 1;
    Show((TabCtrl_GetCurSel(tabs_) + step) % pages);
    return true;
}

void PageSet::Relayout(const DpiScale& scale, HFONT font) {
    const PageFrame frame{tabs_, scale, font};
    for (Page* page : std::initializer_list<Page*>{settings_.get(), list_.get(), startPages_.get(), history_.get()})
        page->Relayout(frame);
}

}  // namespace kb
