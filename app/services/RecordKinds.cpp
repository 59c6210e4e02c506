#include "app/services/RecordKinds.h"

#include "Messages.h"
#include "res/TextIds.h"

namespace kb {

RecordKindWords WordsOf(RecordKind kind) {
    constexpr WORD info = EVENTLOG_INFORMATION_TYPE, warning = EVENTLOG_WARNING_TYPE;
    // A logon value put back is its change disabled; allowed, allowed.
    switch (kind) {
    case RecordKind::Disabled: return {L"Disabled", IDS_WHAT_DISABLED, KB_EVENT_DISABLED, info};
    case RecordKind::Allowed: return {L"Allowed", IDS_WHAT_ALLOWED, KB_EVENT_ALLOWED, info};
    case RecordKind::Left: return {L"Left as it is", IDS_WHAT_LEFT, KB_EVENT_LEFT, info};
    case RecordKind::CouldNotDisable:
        return {L"Could not be disabled", IDS_WHAT_COULD_NOT_DISABLE, KB_EVENT_NOT_MOVED, warning};
    case RecordKind::CouldNotEnable:
        return {L"Could not be enabled", IDS_WHAT_COULD_NOT_ENABLE, KB_EVENT_NOT_MOVED, warning};
    case RecordKind::NeedsAdministrator:
        return {L"Needs administrator rights", IDS_WHAT_NEEDS_ADMINISTRATOR, KB_EVENT_NEEDS_ADMINISTRATOR, warning};
    case RecordKind::DisabledFromList:
        return {L"Disabled from the list", IDS_WHAT_DISABLED_FROM_LIST, KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::DisabledFromHistory:
        return {L"Disabled from the history", IDS_WHAT_DISABLED_FROM_HISTORY, KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::EnabledFromList:
        return {L"Enabled from the list", IDS_WHAT_ENABLED_FROM_LIST, KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::EnabledFromHistory:
        return {L"Enabled from the history", IDS_WHAT_ENABLED_FROM_HISTORY, KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::Notice: return {L"Notice", IDS_WHAT_NOTICE, KB_EVENT_NOTICE, info};
    case RecordKind::NotWindowsOwn: return {kNotWindowsOwn, IDS_WHAT_NOT_WINDOWS_OWN, KB_EVENT_NOTICE, info};
    case RecordKind::StartPagePutBack:
        return {L"Start page put back", IDS_WHAT_START_PAGE_PUT_BACK, KB_EVENT_START_PAGE_PUT_BACK, info};
    case RecordKind::StartPageAllowed:
        return {L"Start page change allowed", IDS_WHAT_START_PAGE_ALLOWED, KB_EVENT_START_PAGE_ALLOWED, info};
    case RecordKind::LogonValuePutBack:
        return {L"Logon value put back", IDS_WHAT_LOGON_VALUE_PUT_BACK, KB_EVENT_DISABLED, info};
    case RecordKind::WindowsOwnLogonValuePutBack:
        return {L"Windows' own logon value put back", IDS_WHAT_WINDOWS_OWN_PUT_BACK, KB_EVENT_DISABLED, info};
    case RecordKind::LogonValueAllowed:
        return {L"Logon value change allowed", IDS_WHAT_LOGON_VALUE_ALLOWED, KB_EVENT_ALLOWED, info};
    case RecordKind::LogonValueRepaired:
        return {L"Logon value repaired to Windows' own", IDS_WHAT_LOGON_VALUE_REPAIRED, KB_EVENT_ALLOWED, info};
    case RecordKind::AdminPolicyChanged:
        return {kAdminPolicyChanged, IDS_WHAT_ADMIN_POLICY_CHANGED, KB_EVENT_ADMIN_POLICY, info};
    }
    return {L"", IDS_WHAT_NOTICE, KB_EVENT_NOTICE, info};  // not reached: every kind is above
}

std::optional<RecordKind> KindOfWhat(const std::wstring& what) {
    for (int i = 0; i < kRecordKinds; ++i)
        if (what == WordsOf(static_cast<RecordKind>(i)).what) return static_cast<RecordKind>(i);
    return std::nullopt;
}

}  // namespace kb
