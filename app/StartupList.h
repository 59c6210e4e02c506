#pragma once
// The list page's list view and the entries its rows show. Each row
// carries the number of its entry, so rows and entries cannot drift apart.
#include <windows.h>

#include <string>
#include <vector>

#include "reading/Inventory.h"

namespace kb {

class StartupList {
public:
    void Attach(HWND listView) noexcept { list_ = listView; }
    HWND Handle() const noexcept { return list_; }

    // Shows these entries, each checked when it is enabled.
    void Show(std::vector<StartupEntry> entries);
    // Adds one entry at the end.
    void Append(const StartupEntry& entry);
    // Sorts the rows by a column's text (0 Item, 1 Command, 2 Location: the
    // entries of one place together); the same column again turns the order
    // round. The order holds across Show.
    void SortBy(int column);

    // The entries whose check box no longer agrees with where they are, in
    // the order a pass moves them: registry disables, registry enables,
    // shortcut disables, shortcut enables.
    std::vector<StartupEntry> Changed() const;

private:
    void AddRow(std::size_t entryIndex);

    void Sort();
    static int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM self);

    HWND list_ = nullptr;
    std::vector<StartupEntry> entries_;
    int sortColumn_ = -1;  // none: the reading's order
    bool descending_ = false;
};

}  // namespace kb
