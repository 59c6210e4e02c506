// The settings page: the settings (the model the watch and the file read)
// shown in its controls and changed by their handlers.
#include "app/Elevation.h"
#include "app/MainWindow.h"
#include "app/SelfStart.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/IntText.h"

namespace kb {

namespace {

bool IsChecked(HWND box) {
    return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

void MainWindow::ShowSettings(const Settings& settings) {
    settings_ = settings;
    ui_.startupPolicy.SetItemIndex(settings.startupPolicy);
    ui_.startPagePolicy.SetItemIndex(settings.startPagePolicy);
    OnPolicyClicked();  // as shown: an index out of range shows as what it means
    // The self-start box's handler does nothing before the window is ready:
    // the file's setting is shown, not written.
    SetCheckBox(ui_.selfStartBox, settings.selfStart);
    SetCheckBox(ui_.intervalBox, settings.intervalUnlocked);
    ::SetWindowTextW(ui_.intervalEdit, std::to_wstring(settings.intervalSeconds).c_str());
    if (settings.intervalSeconds > 0)
        timer_->SetInterval(IntervalMilliseconds(settings.intervalSeconds));
}

const Settings& MainWindow::TakeIntervalBox() {
    // The box is the model's only once taken (at Start, and to be saved).
    settings_.intervalSeconds =
        StrToIntDef(WindowText(ui_.intervalEdit), static_cast<int>(timer_->Interval() / 1000));
    return settings_;
}

void MainWindow::OnPolicyClicked() {
    settings_.startupPolicy = ui_.startupPolicy.ItemIndex();
    settings_.startPagePolicy = ui_.startPagePolicy.ItemIndex();
    watcher_->SetPolicies(PolicyOf(settings_.startupPolicy), PolicyOf(settings_.startPagePolicy));
}

void MainWindow::ChoosePolicies(int startupItem, int startPageItem) {
    if (startupItem != kKeepPolicy) ui_.startupPolicy.SetItemIndex(startupItem);
    if (startPageItem != kKeepPolicy) ui_.startPagePolicy.SetItemIndex(startPageItem);
    OnPolicyClicked();
}

std::wstring MainWindow::ExecutablePath() const {
    if (!options_.executable.empty()) return options_.executable;
    return RunningProgramPath();
}

void MainWindow::SetCheckBox(HWND box, bool checked) {
    if (IsChecked(box) == checked) return;
    ::SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // A check box runs its handler whenever its state changes.
    OnCommand(::GetDlgCtrlID(box), BN_CLICKED);
}

void MainWindow::OnIntervalBoxClicked() {
    settings_.intervalUnlocked = IsChecked(ui_.intervalBox);
    // A disabled edit box draws on the button face, an enabled one on the window colour.
    ::EnableWindow(ui_.intervalEdit, settings_.intervalUnlocked);
    ::InvalidateRect(ui_.intervalEdit, nullptr, TRUE);
}

void MainWindow::RestartElevated() {
    // The new instance watches if this one did, and shows its window: the
    // user restarts to work on the machine's entries.
    std::vector<std::wstring> arguments;
    if (timer_->Enabled()) arguments.emplace_back(L"-start");
    if (kb::RestartElevated(Handle(), ExecutablePath(), arguments)) Quit();
}

void MainWindow::OnSelfStartClicked() {
    const bool on = IsChecked(ui_.selfStartBox);
    settings_.selfStart = on;
    if (!ready_) return;
    try {
        // Making or removing the logon task is an administrator's: an
        // elevated instance does it when this one may not.
        if (options_.selfStart->Set(on, ExecutablePath()) ==
                SelfStart::Result::NeedsAdministrator &&
            !SetSelfStartElevated(Handle(), ExecutablePath(), on))
            throw Error(L"Administrator rights are needed to change how Keepboot starts");
    } catch (...) {
        // It did not happen, so the box does not say it did; its handler
        // does not run again for that.
        ::SendMessageW(ui_.selfStartBox, BM_SETCHECK, on ? BST_UNCHECKED : BST_CHECKED, 0);
        settings_.selfStart = !on;
        throw;
    }
    // The program's own entry is known to the watch from now on.
    ReloadStartupList();
}

}  // namespace kb
