// The window's work that may wait on a system service, sent off its thread
// (Errands), and what each reply shows: the logon start through the Task
// Scheduler, and the stop of a service the user disabled.
#include <exception>
#include <utility>

#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/Texts.h"
#include "app/services/ServiceStop.h"
#include "platform/Error.h"

namespace kb {

namespace {

// The words of a failure an errand brought back.
std::wstring WordsOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return kb::WordsOf(error);
    } catch (...) {
        return SystemErrorText(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace

void MainWindow::ShowSelfStartOnce() {
    if (std::exchange(selfStartShown_, true) || adminPolicy_->SelfStartShown()) return;
    const bool sent = errands_->Send([look = own_->LookAtLogon(), this, round = selfStartRound_]() -> Errands::Reply {
        OwnStart::AtLogon answer = look();
        return [this, answer, round] {
            // A change sent meanwhile, by a click or the administrator's
            // policy, shows its own answer, which may have come first.
            if (round != selfStartRound_ || pages_->Settings().SelfStartUnderWay()) return;
            if (answer.registered) pages_->Settings().ShowSelfStart(*answer.registered);
            if (answer.failure) ShowNotice(UiText(IDS_SELF_START_UNKNOWN, {WordsOf(answer.failure)}));
        };
    });
    if (!sent) ShowNotice(UiText(IDS_SELF_START_UNKNOWN, {SystemErrorText(::GetLastError())}));
}

void MainWindow::HoldChecksForSelfStart() {
    // Where the logon start is a Run value (XP), it is written off this
    // thread: no check may meet it before the list knows it as the
    // program's own. A logon task is no entry, and nothing is held while
    // Windows' consent waits for the user.
    if (own_->AtLogonIsGuarded()) selfStartHolds_.push_back(watch_->Watch().HoldChecks());
}

void MainWindow::SelfStartKnown() {
    // Released before the list reloads, which it does only while no check
    // is held; what was put off runs at the next turn of the loop.
    if (!selfStartHolds_.empty()) selfStartHolds_.pop_back();
    pages_->List().Reload();
}

void MainWindow::ChooseSelfStart(bool on) {
    ++selfStartRound_;
    HoldChecksForSelfStart();
    const bool sent = errands_->Send([change = own_->ChangeAtLogon(Handle(), on), this]() -> Errands::Reply {
        OwnStart::AtLogon answer = change();
        return [this, answer] {
            pages_->Settings().SelfStartDone(answer.registered);
            SelfStartKnown();
            if (answer.failure) std::rethrow_exception(answer.failure);
        };
    });
    if (!sent) {
        const DWORD error = ::GetLastError();
        if (!selfStartHolds_.empty()) selfStartHolds_.pop_back();
        throw Error(UiText(IDS_NO_SCHEDULER), error);
    }
}

void MainWindow::FollowSelfStartPolicy(bool wanted) {
    ++selfStartRound_;
    HoldChecksForSelfStart();
    const bool sent = errands_->Send([follow = own_->FollowAtLogon(wanted), this, wanted]() -> Errands::Reply {
        OwnStart::AtLogon answer = follow();
        return [this, answer, wanted] {
            SelfStartKnown();
            // No rights are asked for unbidden: a Keepboot that runs with
            // them follows the policy.
            if (answer.needsAdministrator)
                ShowNotice(UiText(wanted ? IDS_POLICY_STARTS : IDS_POLICY_DOES_NOT_START));
            if (answer.failure) ShowNotice(UiText(IDS_POLICY_NOT_FOLLOWED, {WordsOf(answer.failure)}));
            if (answer.registered) pages_->Settings().ShowSelfStart(*answer.registered);
        };
    });
    if (!sent) {
        const DWORD error = ::GetLastError();
        if (!selfStartHolds_.empty()) selfStartHolds_.pop_back();
        ShowNotice(UiText(IDS_POLICY_NOT_FOLLOWED, {SystemErrorText(error)}));
    }
}

void MainWindow::StopDisabledService(const std::wstring& name) {
    const bool sent = errands_->Send(
        [window = Handle(), executable = own_->Executable(), elevated = elevated_, name, this]() -> Errands::Reply {
            const std::optional<ServiceStopped> stopped = kb::StopDisabledService(window, executable, elevated, name);
            return [this, stopped] {
                if (!stopped) return;
                if (stopped->error == ERROR_SUCCESS)
                    history_.RecordNotice(UiText(IDS_SERVICE_STOPPED, {stopped->name}));
                else
                    ShowNotice(UiText(IDS_SERVICE_NOT_STOPPED, {stopped->name, SystemErrorText(stopped->error)}));
            };
        });
    if (!sent) ShowNotice(UiText(IDS_SERVICE_NOT_STOPPED, {name, SystemErrorText(::GetLastError())}));
}

}  // namespace kb
