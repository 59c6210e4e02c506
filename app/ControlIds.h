#pragma once
// The main window's control ids. Whole-program tests find controls by them.

namespace kb {

enum ControlId : int {
    IdSiteButton = 100,
    IdStartButton,
    IdQuitButton,
    IdCloseButton,
    IdPages,
    IdStartupPolicy,  // the group box; its three items follow
    IdStartupPolicyItem0,
    IdStartPagePolicy = IdStartupPolicyItem0 + 3,
    IdStartPagePolicyItem0,
    IdSelfStartBox = IdStartPagePolicyItem0 + 3,
    IdIntervalBox,
    IdIntervalEdit,
    IdIntervalLabel,
    IdStartupList,
    IdListReload,
    IdListApply,
    IdStartPageLabel0,
    IdStartPageEdit0 = IdStartPageLabel0 + 4,
    IdStartPagesReload = IdStartPageEdit0 + 4,
    IdStartPagesApply,
    IdRestartElevated,
    IdUnreadablePlaces,
    IdHistoryList,
    IdHistoryEnable,
    IdAdministratorLine,
};

}  // namespace kb
