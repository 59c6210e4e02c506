#pragma once
// Every kind of history record, and in one table what the history says of
// each and which event of the Application log it is: changing how a kind
// is said, or adding one, is done here alone.
#include <windows.h>

#include <optional>
#include <string>

namespace kb {

enum class RecordKind {
    Disabled,            // by the watch's policy, or the user's answer
    Allowed,
    Left,                // to be asked about again
    CouldNotDisable,
    CouldNotEnable,
    NeedsAdministrator,
    DisabledFromList,    // the user's own moves
    DisabledFromHistory,
    EnabledFromList,
    EnabledFromHistory,
    Notice,
    NotWindowsOwn,       // a logon value found so as the watch started
    StartPagePutBack,
    StartPageAllowed,
    LogonValuePutBack,
    WindowsOwnLogonValuePutBack,
    LogonValueAllowed,
    LogonValueRepaired,  // made Windows' own by someone: allowed
    AdminPolicyChanged,
};
inline constexpr int kRecordKinds = static_cast<int>(RecordKind::AdminPolicyChanged) + 1;

struct RecordKindWords {
    // The record's word in the file, which says its kind whatever the
    // language the program speaks; the history's "What" shows the text of
    // the string table's id.
    const wchar_t* what;
    UINT shown;
    DWORD eventId;        // of the message table
    WORD eventType;       // EVENTLOG_INFORMATION_TYPE or EVENTLOG_WARNING_TYPE
};
// Every kind has its words: the switch behind it leaves none out.
RecordKindWords WordsOf(RecordKind kind);

// The kind of a record read back from the file, by its words; none for
// words no kind has (a record another version wrote).
std::optional<RecordKind> KindOfWhat(const std::wstring& what);

// The file's words of the records the program and its tests look for by name.
inline constexpr wchar_t kNotWindowsOwn[] = L"Not Windows' own logon value";
inline constexpr wchar_t kAdminPolicyChanged[] = L"Policy changed by your administrator";

}  // namespace kb
