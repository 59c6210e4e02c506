#pragma once
// The Windows event log, where administrators of many machines collect
// what each guard did: each record goes to the Application log under the
// source "Keepboot", with an event id per kind and its fields as insertion
// strings. The installer registers the source with this program's message
// table; a copy not installed writes the same events, which Event Viewer
// then shows as raw strings.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/services/History.h"
#include "platform/Handle.h"

namespace kb {

class EventLog {
public:
    EventLog();
    // The event id and type of a record, by its kind.
    static DWORD EventIdOf(const HistoryRecord& record);
    static WORD TypeOf(const HistoryRecord& record);
    // Writes the record; a log that refuses it changes nothing.
    void Report(const HistoryRecord& record) noexcept;

private:
    UniqueEventSource source_;
};

// Tests only: the events land here instead of in the log.
using EventSink = std::function<void(DWORD id, WORD type, const std::vector<std::wstring>& strings)>;
void SetEventSink(EventSink sink);

}  // namespace kb
