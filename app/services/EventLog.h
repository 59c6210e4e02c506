#pragma once
// The Windows event log, where administrators of many machines collect
// what each guard did: each record goes to the Application log under the
// source "Keepboot", with an event id per kind and its fields as insertion
// strings. The installer registers the source with this program's message
// table; a copy not installed writes the same events, which Event Viewer
// then shows as raw strings.
//
// The log is a service: the records go to it from a thread of the log's
// own, in order, so a log that hangs holds no window. What it did not take
// is said once, until it takes records again.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/services/History.h"

namespace kb {

class EventLog {
public:
    EventLog() = default;
    // Waits a moment for the records still on their way; a log that does
    // not answer keeps its thread, which ends with the process.
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // The event id and type of a record, by its kind.
    static DWORD EventIdOf(const HistoryRecord& record);
    static WORD TypeOf(const HistoryRecord& record);
    // Sends the record on its way to the log.
    void Report(const HistoryRecord& record) noexcept;
    // Why the log has not taken records (Windows' words, or that it did not
    // answer in time): once, until it takes records again.
    std::optional<std::wstring> TakeTrouble();

    struct Line;

private:
    std::shared_ptr<Line> line_;
    bool troubleTold_ = false;
};

// Tests only: the events land here instead of in the log.
using EventSink = std::function<void(DWORD id, WORD type, const std::vector<std::wstring>& strings)>;
void SetEventSink(EventSink sink);

}  // namespace kb
