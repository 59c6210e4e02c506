#include "app/services/HistoryList.h"

#include <cwchar>
#include <utility>

#include "platform/ShowableText.h"
#include "app/Texts.h"

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
    records_.clear();
    const std::size_t first = records.size() > kShown ? records.size() - kShown : 0;
    for (std::size_t i = records.size(); i-- > first;) records_.push_back(records[i]);
    UpdateCount();
}

void HistoryList::Add(const HistoryRecord& record) {
    records_.push_front(record);
    if (records_.size() > kShown) records_.pop_back();
    countStale_ = true;
}

void HistoryList::Flush() {
    if (std::exchange(countStale_, false)) UpdateCount();
}

void HistoryList::UpdateCount() {
    if (!list_) return;
    ListView_SetItemCountEx(list_, static_cast<int>(records_.size()), LVSICF_NOSCROLL);
    // Every row moved down one: what is on screen is drawn again.
    if (::IsWindowVisible(list_)) ::InvalidateRect(list_, nullptr, FALSE);
}

namespace {

// Who acted, in the string table's words; a word of another version as it is.
std::wstring ShownBy(const std::wstring& by) {
    if (by == kByYou) return UiText(IDS_BY_YOU);
    if (by == kByTheWatch) return UiText(IDS_BY_THE_WATCH);
    if (by == kByGroupPolicy) return UiText(IDS_BY_GROUP_POLICY);
    return by;
}

}  // namespace

bool HistoryList::FillCell(NMLVDISPINFOW& info) const {
    if (info.hdr.hwndFrom != list_ || !(info.item.mask & LVIF_TEXT) || info.item.cchTextMax <= 0)
        return false;
    if (info.item.iItem < 0 || static_cast<std::size_t>(info.item.iItem) >= records_.size())
        return false;
    const HistoryRecord& r = records_[static_cast<std::size_t>(info.item.iItem)];
    std::wstring text;
    switch (info.item.iSubItem) {
    case 0: text = LocalTimeText(r.when); break;
    case 1: {
        const std::wstring what = r.kind ? UiText(WordsOf(*r.kind).shown) : r.what;
        text = r.by.empty() ? what : what + L" (" + ShownBy(r.by) + L")";
        break;
    }
    case 2: text = r.item; break;
    case 3: text = r.location; break;
    default:
        text = r.command.empty()  ? r.detail
               : r.detail.empty() ? r.command
                                  : r.command + L"; " + r.detail;
    }
    // Every field may hold what came from the registry; a long one loses its
    // middle, never its end.
    const std::size_t room = static_cast<std::size_t>(info.item.cchTextMax) - 1;
    text = ShowableWithin(text, room);
    const std::size_t length = std::min(text.size(), room);
    std::wmemcpy(info.item.pszText, text.data(), length);
    info.item.pszText[length] = L'\0';
    return true;
}

std::optional<HistoryRecord> HistoryList::Selected() const {
    const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) return std::nullopt;
    return records_[static_cast<std::size_t>(row)];
}

}  // namespace kb
