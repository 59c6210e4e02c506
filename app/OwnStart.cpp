#include "app/OwnStart.h"

#include <utility>
#include <vector>

#include "app/Texts.h"
#include "app/services/Elevation.h"
#include "platform/CurrentUser.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace kb {

OwnStart::OwnStart(std::wstring executable, std::shared_ptr<SelfStart> atLogon)
    : executable_(executable.empty() ? RunningProgramPath() : std::move(executable)),
      atLogon_(atLogon ? std::move(atLogon) : std::shared_ptr<SelfStart>(SystemSelfStart(CurrentUserSid()))) {}

namespace {

// The answer of Registered, or why there is none.
void Look(const SelfStart& atLogon, OwnStart::AtLogon& into) {
    try {
        into.registered = atLogon.Registered();
    } catch (...) {
        if (!into.failure) into.failure = std::current_exception();
    }
}

}  // namespace

std::function<OwnStart::AtLogon()> OwnStart::LookAtLogon() const {
    return [atLogon = atLogon_] {
        AtLogon answer;
        Look(*atLogon, answer);
        return answer;
    };
}

std::function<OwnStart::AtLogon()> OwnStart::ChangeAtLogon(HWND owner, bool on) const {
    return [atLogon = atLogon_, executable = executable_, owner, on] {
        AtLogon answer;
        try {
            if (atLogon->Set(on, executable) == SelfStart::Result::NeedsAdministrator &&
                !SetSelfStartElevated(owner, executable, on))
                throw Error(UiText(IDS_SELF_START_NEEDS_ADMINISTRATOR));
        } catch (...) {
            answer.failure = std::current_exception();
        }
        Look(*atLogon, answer);
        return answer;
    };
}

std::function<OwnStart::AtLogon()> OwnStart::FollowAtLogon(bool wanted) const {
    return [atLogon = atLogon_, executable = executable_, wanted] {
        AtLogon answer;
        Look(*atLogon, answer);
        if (answer.failure || answer.registered == wanted) return answer;
        try {
            answer.needsAdministrator = atLogon->Set(wanted, executable) == SelfStart::Result::NeedsAdministrator;
        } catch (...) {
            answer.failure = std::current_exception();
        }
        Look(*atLogon, answer);
        return answer;
    };
}

bool OwnStart::RestartElevated(HWND owner, bool watching) const {
    // The new instance watches if this one did, and shows its window: the
    // user restarts to work on the machine's entries.
    std::vector<std::wstring> arguments;
    if (watching) arguments.emplace_back(L"-start");
    return kb::RestartElevated(owner, executable_, arguments);
}

}  // namespace kb
