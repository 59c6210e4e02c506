#include "app/HistoryList.h"

#include <commctrl.h>

#include <cwchar>

#include "app/ShowableText.h"

namespace kb {

std::wstring LocalTimeText(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME t{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t)) return {};
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

void HistoryList::Show(const std::vector<HistoryRecord>& records) {
    ListView_DeleteAllItems(list_);
    records_.clear();
    const std::size_t first = records.size() > kShown ? records.size() - kShown : 0;
    for (std::size_t i = first; i < records.size(); ++i) Add(records[i]);
}

void HistoryList::Add(const HistoryRecord& record) {
    if (!list_) return;
    records_.insert(records_.begin(), record);
    InsertRow(record);
    if (records_.size() > kShown) {
        records_.pop_back();
        ListView_DeleteItem(list_, static_cast<int>(records_.size()));
    }
}

void HistoryList::InsertRow(const HistoryRecord& record) {
    const std::wstring what = record.by.empty() ? record.what : record.what + L" (" + record.by + L")";
    const std::wstring details = record.command.empty() ? record.detail
                                 : record.detail.empty() ? record.command
                                                         : record.command + L"; " + record.detail;
    const std::wstring columns[] = {LocalTimeText(record.when), what, Showable(record.item),
                                    record.location, Showable(details)};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = 0;
    item.pszText = const_cast<wchar_t*>(columns[0].c_str());
    const int row = ListView_InsertItem(list_, &item);
    if (row < 0) return;
    for (int column = 1; column < static_cast<int>(std::size(columns)); ++column)
        ListView_SetItemText(list_, row, column, const_cast<wchar_t*>(columns[column].c_str()));
}

std::optional<HistoryRecord> HistoryList::Selected() const {
    const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) return std::nullopt;
    return records_[static_cast<std::size_t>(row)];
}

}  // namespace kb
