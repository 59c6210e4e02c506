#include "app/services/RecordKinds.h"

#include "Messages.h"

namespace kb {

RecordKindWords WordsOf(RecordKind kind) {
    constexpr WORD info = EVENTLOG_INFORMATION_TYPE, warning = EVENTLOG_WARNING_TYPE;
    // A logon value put back is its change disabled; allowed, allowed.
    switch (kind) {
    case RecordKind::Disabled: return {L"Disabled", KB_EVENT_DISABLED, info};
    case RecordKind::Allowed: return {L"Allowed", KB_EVENT_ALLOWED, info};
    case RecordKind::Left: return {L"Left as it is", KB_EVENT_LEFT, info};
    case RecordKind::CouldNotDisable: return {L"Could not be disabled", KB_EVENT_NOT_MOVED, warning};
    case RecordKind::CouldNotEnable: return {L"Could not be enabled", KB_EVENT_NOT_MOVED, warning};
    case RecordKind::NeedsAdministrator:
        return {L"Needs administrator rights", KB_EVENT_NEEDS_ADMINISTRATOR, warning};
    case RecordKind::DisabledFromList: return {L"Disabled from the list", KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::DisabledFromHistory:
        return {L"Disabled from the history", KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::EnabledFromList: return {L"Enabled from the list", KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::EnabledFromHistory: return {L"Enabled from the history", KB_EVENT_MOVED_BY_USER, info};
    case RecordKind::Notice: return {L"Notice", KB_EVENT_NOTICE, info};
    case RecordKind::NotWindowsOwn: return {kNotWindowsOwn, KB_EVENT_NOTICE, info};
    case RecordKind::StartPagePutBack: return {L"Start page put back", KB_EVENT_START_PAGE_PUT_BACK, info};
    case RecordKind::StartPageAllowed:
        return {L"Start page change allowed", KB_EVENT_START_PAGE_ALLOWED, info};
    case RecordKind::LogonValuePutBack: return {L"Logon value put back", KB_EVENT_DISABLED, info};
    case RecordKind::WindowsOwnLogonValuePutBack:
        return {L"Windows' own logon value put back", KB_EVENT_DISABLED, info};
    case RecordKind::LogonValueAllowed: return {L"Logon value change allowed", KB_EVENT_ALLOWED, info};
    case RecordKind::LogonValueRepaired:
        return {L"Logon value repaired to Windows' own", KB_EVENT_ALLOWED, info};
    case RecordKind::AdminPolicyChanged: return {kAdminPolicyChanged, KB_EVENT_ADMIN_POLICY, info};
    }
    return {L"", KB_EVENT_NOTICE, info};  // not reached: every kind is above
}

std::optional<RecordKind> KindOfWhat(const std::wstring& what) {
    for (int i = 0; i < kRecordKinds; ++i)
        if (what == WordsOf(static_cast<RecordKind>(i)).what) return static_cast<RecordKind>(i);
    return std::nullopt;
}

}  // namespace kb
