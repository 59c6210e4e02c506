// The Internet Explorer start-page values and their guard.
#include "app/DisableForm.h"

namespace kb {

void TDisableForm::ReadStartPages() {}

void TDisableForm::GuardStartPages() {}

}  // namespace kb
