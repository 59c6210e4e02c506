#pragma once
// The history page's list view: every record, newest first, with its
// local time. The list view holds no rows of its own (LVS_OWNERDATA): it
// asks for each cell it shows, so a record costs the same at any length.
#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/services/History.h"

namespace kb {

class HistoryList {
public:
    // The oldest record leaves the page once this many are shown (the file
    // keeps more).
    static constexpr std::size_t kShown = 1000;

    void Attach(HWND listView) noexcept { list_ = listView; }
    HWND Handle() const noexcept { return list_; }

    // Shows these records, given oldest first.
    void Show(const std::vector<HistoryRecord>& records);
    // Adds one at the top; the list view learns of it at the next Flush
    // (telling it the row count costs half a millisecond under Wine, too
    // much for every record of a flood).
    void Add(const HistoryRecord& record);
    void Flush();
    // The selected row's record.
    std::optional<HistoryRecord> Selected() const;
    // Fills a cell the list view asks for; false when the row is not ours.
    bool FillCell(NMLVDISPINFOW& info) const;

private:
    void UpdateCount();

    HWND list_ = nullptr;
    std::deque<HistoryRecord> records_;  // newest first, as the rows
    bool countStale_ = false;
};

// The record's time as the page shows it: local, to the second.
std::wstring LocalTimeText(const FILETIME& utc);

}  // namespace kb
