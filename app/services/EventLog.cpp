#include "app/services/EventLog.h"

#include <deque>
#include <utility>

#include "Messages.h"
#include "app/Texts.h"
#include "app/services/HistoryKeeper.h"
#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/ServiceCall.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

// An insertion string of the event log holds at most 31,839 characters.
constexpr std::size_t kLongestString = 31839;
// Records waiting for a log that does not take them: the oldest give way,
// as they are in the history file all the same.
constexpr std::size_t kWaiting = 256;
// How long the end of the program waits for records still on their way.
constexpr DWORD kLastWordsMs = 2000;

EventSink& Sink() {
    static EventSink sink;
    return sink;
}

struct Event {
    WORD type;
    DWORD id;
    std::vector<std::wstring> strings;
};

}  // namespace

// The records on their way, shared by the log's thread and the program: the
// thread may outlive the EventLog.
struct EventLog::Line {
    Line() { ::InitializeCriticalSection(&lock); }
    ~Line() { ::DeleteCriticalSection(&lock); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    CRITICAL_SECTION lock;
    std::deque<Event> waiting;
    UniqueHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle idle{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    bool ending = false;
    // Whether a record is being written, since when, and the last refusal's
    // code.
    bool writing = false;
    DWORD writingSince = 0;
    DWORD refused = ERROR_SUCCESS;
};

namespace {

DWORD WINAPI WriteEvents(void* context) noexcept {
    const std::unique_ptr<std::shared_ptr<EventLog::Line>> held(static_cast<std::shared_ptr<EventLog::Line>*>(context));
    EventLog::Line& line = **held;
    // Registered here, not on the window's thread: it is a call to the log too.
    const UniqueEventSource source(::RegisterEventSourceW(nullptr, kAppTitle));
    const DWORD unregistered = source ? ERROR_SUCCESS : ::GetLastError();
    for (;;) {
        ::EnterCriticalSection(&line.lock);
        if (line.waiting.empty()) {
            ::SetEvent(line.idle.get());
            const bool ending = line.ending;
            ::LeaveCriticalSection(&line.lock);
            if (ending) return 0;
            ::WaitForSingleObject(line.wake.get(), INFINITE);
            continue;
        }
        Event event = std::move(line.waiting.front());
        line.waiting.pop_front();
        line.writing = true;
        line.writingSince = ::GetTickCount();
        ::LeaveCriticalSection(&line.lock);
        WaitWhileServiceSilent(SystemService::EventLog);
        const wchar_t* texts[6] = {};
        for (std::size_t i = 0; i < event.strings.size() && i < 6; ++i) texts[i] = event.strings[i].c_str();
        DWORD error = unregistered;
        if (source && !::ReportEventW(source.get(), event.type, 0, event.id, nullptr, 6, 0, texts, nullptr))
            error = ::GetLastError();
        ::EnterCriticalSection(&line.lock);
        line.writing = false;
        line.refused = error;
        ::LeaveCriticalSection(&line.lock);
    }
}

}  // namespace

void SetEventSink(EventSink sink) {
    Sink() = std::move(sink);
}

EventLog::~EventLog() {
    if (!line_) return;
    ::EnterCriticalSection(&line_->lock);
    line_->ending = true;
    ::LeaveCriticalSection(&line_->lock);
    ::SetEvent(line_->wake.get());
    ::WaitForSingleObject(line_->idle.get(), kLastWordsMs);
}

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
        // Shown by Event Viewer as they are: made safe to show first.
        Event event{TypeOf(record), EventIdOf(record),
                    {record.what, record.by, record.item, record.command, record.location, record.detail}};
        for (std::wstring& text : event.strings) text = ShowableWithin(text, kLongestString);
        if (Sink()) return Sink()(event.id, event.type, event.strings);
        if (!line_) {
            auto line = std::make_shared<Line>();
            auto context = std::make_unique<std::shared_ptr<Line>>(line);
            const UniqueHandle thread(::CreateThread(nullptr, 64 * 1024, &WriteEvents, context.get(),
                                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
            if (!thread) return;  // the record is in the file and on the page all the same
            context.release();
            line_ = std::move(line);
        }
        ::EnterCriticalSection(&line_->lock);
        try {
            line_->waiting.push_back(std::move(event));
            if (line_->waiting.size() > kWaiting) line_->waiting.pop_front();
            ::ResetEvent(line_->idle.get());
        } catch (...) {
        }
        ::LeaveCriticalSection(&line_->lock);
        ::SetEvent(line_->wake.get());
    } catch (...) {
        // The record is in the file and on the page all the same.
    }
}

std::optional<std::wstring> EventLog::TakeTrouble() {
    if (!line_) return std::nullopt;
    ::EnterCriticalSection(&line_->lock);
    const bool writing = line_->writing;
    const DWORD since = line_->writingSince, refused = line_->refused;
    // Read after since, under the lock: never earlier than it.
    const DWORD now = ::GetTickCount();
    ::LeaveCriticalSection(&line_->lock);
    const DWORD limit = AnswerLimitMs(SystemService::EventLog);
    std::optional<std::wstring> trouble;
    if (writing && now - since > limit)
        trouble = UiText(IDS_EVENT_LOG_NO_ANSWER, {std::to_wstring(limit / 1000)});
    else if (refused != ERROR_SUCCESS)
        trouble = SystemErrorText(refused);
    if (!trouble) troubleTold_ = false;
    if (!trouble || std::exchange(troubleTold_, true)) return std::nullopt;
    return trouble;
}

}  // namespace kb
