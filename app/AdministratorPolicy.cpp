// The administrator's policy (Group Policy's values for Keepboot): read at
// start and whenever its keys change, laid over the user's settings, and
// Quit locked when it says so.
#include <windows.h>

#include <algorithm>

#include "app/MainWindow.h"
#include "app/services/SelfStart.h"
#include "platform/Error.h"
#include "platform/ShowableText.h"
#include "app/Texts.h"

namespace kb {

void MainWindow::FollowAdminPolicy() {
    const AdminPolicy now = ReadAdminPolicy();
    // The settings page holds the policy in force.
    const AdminPolicy before = settingsTab_->Admin();
    if (adminPolicyRead_ && now == before) return;
    // A wrong value is said once while it stays wrong; nothing else changes for it.
    for (const AdminPolicy::Ignored& value : now.ignored)
        if (std::find(before.ignored.begin(), before.ignored.end(), value) == before.ignored.end())
            ShowNotice(UiText(IDS_POLICY_VALUE_IGNORED, {Showable(value.name), value.where, value.why}));
    // The first reading is no change: the settings start as it says.
    if (adminPolicyRead_) {
        const std::vector<std::wstring> changes = AdminPolicyChanges(before, now);
        if (!changes.empty()) history_.RecordAdminPolicy(changes);
    }
    adminPolicyRead_ = true;

    settingsTab_->SetAdminPolicy(now);
    const Settings effective = settingsTab_->Effective();
    // The administrator's interval, or the user's own again once it goes.
    if (effective.intervalSeconds > 0 && timer_)
        timer_->SetInterval(IntervalMilliseconds(effective.intervalSeconds));
    FollowAdminSelfStart();
    LockQuit(now.QuitLocked());
}

void MainWindow::FollowAdminSelfStart() {
    const AdminPolicy& policy = settingsTab_->Admin();
    if (!policy.selfStart || !options_.selfStart) return;
    const bool wanted = *policy.selfStart;
    try {
        if (options_.selfStart->Registered() != wanted &&
            options_.selfStart->Set(wanted, ExecutablePath()) == SelfStart::Result::NeedsAdministrator)
            // No rights are asked for unbidden: a Keepboot that runs with
            // them follows the policy.
            ShowNotice(UiText(wanted ? IDS_POLICY_STARTS : IDS_POLICY_DOES_NOT_START));
        settingsTab_->ShowSelfStart(options_.selfStart->Registered());
        selfStartShown_ = true;
    } catch (const Error& e) {
        ShowNotice(UiText(IDS_POLICY_NOT_FOLLOWED, {e.Context()}));
    }
}

void MainWindow::LockQuit(bool locked) {
    quitButton_.Enable(!locked);
    // The watch cannot be left unstarted: it runs from now on.
    if (locked && watcher_->Handles().empty() && ready_ && !StoppedForGood()) StartTheWatch();
    startButton_.Enable(!locked);
    ::EnableMenuItem(::GetSystemMenu(Handle(), FALSE), SC_CLOSE,
                     MF_BYCOMMAND | (locked ? MF_GRAYED : MF_ENABLED));
    ::DrawMenuBar(Handle());
}

}  // namespace kb
