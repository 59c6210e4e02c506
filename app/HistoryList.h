#pragma once
// The history page's list view: every record, newest first, with its
// local time. Each row carries its record, so the page can act on it.
#include <windows.h>

#include <optional>
#include <vector>

#include "app/History.h"

namespace kb {

class HistoryList {
public:
    // The oldest row goes once this many are shown (the file keeps more).
    static constexpr std::size_t kShown = 1000;

    void Attach(HWND listView) noexcept { list_ = listView; }
    HWND Handle() const noexcept { return list_; }

    // Shows these records, given oldest first.
    void Show(const std::vector<HistoryRecord>& records);
    // Adds one at the top.
    void Add(const HistoryRecord& record);
    // The selected row's record.
    std::optional<HistoryRecord> Selected() const;

private:
    void InsertRow(const HistoryRecord& record);

    HWND list_ = nullptr;
    std::vector<HistoryRecord> records_;  // newest first, as the rows
};

// The record's time as the page shows it: local, to the second.
std::wstring LocalTimeText(const FILETIME& utc);

}  // namespace kb
