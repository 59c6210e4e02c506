// The main window's frame: hiding to the notification area, coming back,
// starting the watch, quitting, and the product web site.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <exception>

#include "app/MainWindow.h"
#include "app/ProductSite.h"
#include "app/TabPage.h"
#include "platform/IntText.h"

namespace kb {

// Every way of minimising comes here, so a minimised window is also hidden.
void MainWindow::HideToTray() {
    ::ShowWindow(Handle(), SW_MINIMIZE);
    if (const HWND focus = ::GetFocus(); focus && ::IsChild(Handle(), focus)) lastFocus_ = focus;
    ::ShowWindow(Handle(), SW_HIDE);
}

void MainWindow::ShowFromTray() {
    ::ShowWindow(Handle(), SW_SHOW);
    if (::IsIconic(Handle())) ::ShowWindow(Handle(), SW_RESTORE);
    ::SetActiveWindow(Handle());
    FocusLastControl();
    // Above every window, also other programs', then back into the normal band.
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void MainWindow::Quit() {
    ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void MainWindow::StartWatching() {
    if (StoppedForGood()) return;
    if (::IsWindowEnabled(ui_.intervalEdit)) {
        const int seconds = TakeIntervalBox().intervalSeconds;
        ::SetWindowTextW(ui_.intervalEdit, std::to_wstring(seconds).c_str());
        if (seconds > 0) timer_->SetInterval(IntervalMilliseconds(seconds));
    }
    // The watch starts from the entries present now. A reading that fails
    // is reported, and the watch keeps comparing with the last whole one.
    std::exception_ptr failure;
    try {
        ReloadStartupList();
    } catch (...) {
        failure = std::current_exception();
    }
    timer_->SetEnabled(true);
    watcher_->WatchChanges();
    HideToTray();
    if (failure) std::rethrow_exception(failure);
}

void MainWindow::OpenProductSite() {
    ::ShellExecuteW(Handle(), L"open", kProductUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

void MainWindow::ShowPage(int index) {
    TabCtrl_SetCurSel(ui_.pages, index);
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
        if (pages_[i]) ::ShowWindow(pages_[i]->Handle(), i == index ? SW_SHOW : SW_HIDE);
}

bool MainWindow::PreTranslateMessage(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !(::GetKeyState(VK_CONTROL) & 0x8000))
        return false;
    if (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)) return false;
    const int pages = TabCtrl_GetItemCount(ui_.pages);
    const int step = (::GetKeyState(VK_SHIFT) & 0x8000) ? pages - 1 : 1;
    ShowPage((TabCtrl_GetCurSel(ui_.pages) + step) % pages);
    return true;
}

}  // namespace kb
