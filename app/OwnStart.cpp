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

void OwnStart::SetAtLogon(HWND owner, bool on) {
    if (atLogon_->Set(on, executable_) == SelfStart::Result::NeedsAdministrator &&
        !SetSelfStartElevated(owner, executable_, on))
        throw Error(UiText(IDS_SELF_START_NEEDS_ADMINISTRATOR));
}

bool OwnStart::RestartElevated(HWND owner, bool watching) const {
    // The new instance watches if this one did, and shows its window: the
    // user restarts to work on the machine's entries.
    std::vector<std::wstring> arguments;
    if (watching) arguments.emplace_back(L"-start");
    return kb::RestartElevated(owner, executable_, arguments);
}

}  // namespace kb
