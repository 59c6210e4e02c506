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
    // Words of another version are no event of this one: said as moved by
    // the user, whose words they were most likely.
    return record.kind ? WordsOf(*record.kind).eventId : KB_EVENT_MOVED_BY_USER;
}

WORD EventLog::TypeOf(const HistoryRecord& record) {
    return record.kind ? WordsOf(*record.kind).eventType : WORD{EVENTLOG_INFORMATION_TYPE};
}

void EventLog::Report(const HistoryRecord& record) noexcept {
    try {
        const DWORD id = EventIdOf(record);
        // Shown by Event Viewer as they are: made safe to show first.
        std::vector<std::wstring> strings = {record.what,    record.by,       record.item,
                                             record.command, record.location, record.detail};
        for (std::wstring& text : strings) text = ShowableWithin(text, kLongestString);
        if (Sink()) return Sink()(id, TypeOf(record), strings);
        if (!source_) return;
        const wchar_t* texts[6];
        for (std::size_t i = 0; i < strings.size(); ++i) texts[i] = strings[i].c_str();
        ::ReportEventW(source_.get(), TypeOf(record), 0, id, nullptr, 6, 0, texts, nullptr);
    } catch (...) {
        // The record is in the file and on the page all the same.
    }
}

}  // namespace kb
