// The startup watch: one tick of the main window's timer.
#include "app/DisableForm.h"
#include "platform/ScopeExit.h"

namespace kb {

void TDisableForm::TimerTimer() {
    if (Scanning) return;
    if (!FormReady) return;
    Scanning = true;
    ScopeExit done([this] { Scanning = false; });
}

}  // namespace kb
