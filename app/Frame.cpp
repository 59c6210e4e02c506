// The main window's frame: hiding to the notification area, coming back,
// starting the watch, quitting, and the product web site.
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <utility>

#include "app/MainWindow.h"
#include "app/ProductSite.h"
#include "app/Texts.h"

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
    if (pages_->Settings().Effective().intervalUnlocked) {
        TakeIntervalBox();
        const int seconds = pages_->Settings().Effective().intervalSeconds;
        if (seconds > 0) timer_->SetInterval(IntervalMilliseconds(seconds));
    }
    // The watch starts from what is known: what changed since the last run
    // (or since Refrush) is handled by the policy at its first check.
    watch_->Start();
    HideToTray();
}

void MainWindow::OpenProductSite() {
    ::ShellExecuteW(Handle(), L"open", kProductUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

void MainWindow::LockQuit(bool locked) {
    quitButton_.Enable(!locked);
    // The watch cannot be left unstarted: it runs from now on.
    if (locked && !watch_->Watching() && ready_ && !StoppedForGood()) watch_->Start();
    startButton_.Enable(!locked);
    ::EnableMenuItem(::GetSystemMenu(Handle(), FALSE), SC_CLOSE,
                     MF_BYCOMMAND | (locked ? MF_GRAYED : MF_ENABLED));
    ::DrawMenuBar(Handle());
}

const Settings& MainWindow::TakeIntervalBox() {
    return pages_->Settings().TakeIntervalBox(static_cast<int>(timer_->Interval() / 1000));
}

void MainWindow::RestartElevated() {
    if (!own_->RestartElevated(Handle(), watch_->Watching())) return;
    // The new instance guards in this one's place: an administrator's lock
    // on Quit keeps a guard running, and it does.
    restarting_ = true;
    Quit();
}


}  // namespace kb
