#include "app/services/EventLog.h"

#include "Messages.h"
#include "app/services/HistoryKeeper.h"
#include "platform/AppTitle.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

// An insertion string of the event log holds at most 31,839 characters.
constexpr std::size_t kLongestString = 31839;

EventSink& Sink() {
    static EventSink sink;
    return sink;
}

}  // namespace

void SetEventSink(EventSink sink) {
    Sink() = std::move(sink);
}

EventLog::EventLog() : source_(::RegisterEventSourceW(nullptr, kAppTitle)) {}

DWORD EventLog::EventIdOf(const HistoryRecord& record) {
    // A logon value put back is its change disabled; allowed, allowed.
    if (record.what == L"Disabled" || record.what == L"Logon value put back" ||
        record.what == L"Windows' own logon value put back")
        return KB_EVENT_DISABLED;
    if (record.what == L"Allowed" || record.what == L"Logon value change allowed" ||
        record.what == L"Logon value repaired to Windows' own")
        return KB_EVENT_ALLOWED;
    if (record.what == L"Left as it is") return KB_EVENT_LEFT;
    if (record.what == L"Could not be disabled" || record.what == L"Could not be enabled")
        return KB_EVENT_NOT_MOVED;
    if (record.what == L"Needs administrator rights") return KB_EVENT_NEEDS_ADMINISTRATOR;
    if (record.what == L"Notice" || record.what == kNotWindowsOwn) return KB_EVENT_NOTICE;
    if (record.what == L"Start page put back") return KB_EVENT_START_PAGE_PUT_BACK;
    if (record.what == L"Start page change allowed") return KB_EVENT_START_PAGE_ALLOWED;
    if (record.what == kAdminPolicyChanged) return KB_EVENT_ADMIN_POLICY;
    return KB_EVENT_MOVED_BY_USER;
}

WORD EventLog::TypeOf(DWORD eventId) {
    return eventId == KB_EVENT_NOT_MOVED || eventId == KB_EVENT_NEEDS_ADMINISTRATOR
               ? WORD{EVENTLOG_WARNING_TYPE}
               : WORD{EVENTLOG_INFORMATION_TYPE};
}

void EventLog::Report(const HistoryRecord& record) noexcept {
    try {
        const DWORD id = EventIdOf(record);
        // Shown by Event Viewer as they are: made safe to show first.
        std::vector<std::wstring> strings = {record.what,    record.by,       record.item,
                                             record.command, record.location, record.detail};
        for (std::wstring& text : strings) text = ShowableWithin(text, kLongestString);
        if (Sink()) return Sink()(id, TypeOf(id), strings);
        if (!source_) return;
        const wchar_t* texts[6];
        for (std::size_t i = 0; i < strings.size(); ++i) texts[i] = strings[i].c_str();
        ::ReportEventW(source_.get(), TypeOf(id), 0, id, nullptr, 6, 0, texts, nullptr);
    } catch (...) {
        // The record is in the file and on the page all the same.
    }
}

}  // namespace kb
