#include "app/StartupList.h"

#include <commctrl.h>

#include <algorithm>

#include "app/services/FindingWords.h"
#include "platform/ShowableText.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"

namespace kb {

void StartupList::Show(std::vector<StartupEntry> entries) {
    // Filled with its drawing off and its rows made room for at once: a
    // list view that lays itself out again after each of thousands of rows
    // keeps the window from answering for minutes.
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    entries_ = std::move(entries);
    ListView_SetItemCount(list_, static_cast<int>(entries_.size()));
    for (std::size_t i = 0; i < entries_.size(); ++i) AddRow(i);
    Sort();
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

void StartupList::SortBy(int column) {
    descending_ = column == sortColumn_ && !descending_;
    sortColumn_ = column;
    Sort();
}

void StartupList::Sort() {
    if (sortColumn_ >= 0)
        ListView_SortItems(list_, &StartupList::CompareRows, reinterpret_cast<LPARAM>(this));
}

int CALLBACK StartupList::CompareRows(LPARAM a, LPARAM b, LPARAM self) {
    // Nothing may leave the list view's callback: two rows that cannot be
    // compared stay as they are.
    try {
        const auto& list = *reinterpret_cast<const StartupList*>(self);
        const auto textOf = [&](LPARAM row) {
            const EntryText text = TextOf(list.entries_.at(static_cast<std::size_t>(row)));
            return list.sortColumn_ == 0   ? text.item
                   : list.sortColumn_ == 1 ? text.command
                                           : ListedLocation(text);
        };
        // As the user reads them: the user's locale, letter case aside; rows
        // of equal text keep the reading's order.
        int order = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, textOf(a).c_str(), -1,
                                     textOf(b).c_str(), -1) -
                    CSTR_EQUAL;
        if (order == 0) order = a < b ? -1 : a > b ? 1 : 0;
        return list.descending_ ? -order : order;
    } catch (...) {
        return 0;
    }
}

void StartupList::Append(const StartupEntry& entry) {
    entries_.push_back(entry);
    AddRow(entries_.size() - 1);
}

void StartupList::AddRow(std::size_t entryIndex) {
    const EntryText raw = TextOf(entries_[entryIndex]);
    const EntryText text{Showable(raw.item), Showable(raw.command), Showable(ListedLocation(raw)), raw.enabled};
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = ListView_GetItemCount(list_);
    row.pszText = const_cast<wchar_t*>(text.item.c_str());
    row.lParam = static_cast<LPARAM>(entryIndex);
    const int index = ListView_InsertItem(list_, &row);
    if (index < 0) return;
    ListView_SetItemText(list_, index, 1, const_cast<wchar_t*>(text.command.c_str()));
    ListView_SetItemText(list_, index, 2, const_cast<wchar_t*>(text.location.c_str()));
    ListView_SetCheckState(list_, index, text.enabled);
}

std::vector<StartupEntry> StartupList::Changed() const {
    std::vector<StartupEntry> changed;
    for (int row = 0, rows = ListView_GetItemCount(list_); row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!ListView_GetItem(list_, &item)) continue;
        const auto index = static_cast<std::size_t>(item.lParam);
        if (index >= entries_.size()) continue;
        const bool checked = ListView_GetCheckState(list_, row) != 0;
        if (checked != TextOf(entries_[index]).enabled) changed.push_back(entries_[index]);
    }
    std::stable_sort(changed.begin(), changed.end(),
                     [](const StartupEntry& a, const StartupEntry& b) {
                         return PassOrderOf(a) < PassOrderOf(b);
                     });
    return changed;
}

}  // namespace kb
