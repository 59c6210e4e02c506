// The startup list page: every known entry, checked when enabled.
#include <windows.h>
#include <commctrl.h>

#include "app/DisableForm.h"
#include "platform/IntText.h"

namespace kb {

int TDisableForm::AddListRow(const std::wstring& item, const std::wstring& command,
                             const std::wstring& location, bool checked) {
    LVITEMW row{};
    row.mask = LVIF_TEXT;
    row.iItem = ListView_GetItemCount(ListView);
    row.pszText = const_cast<wchar_t*>(item.c_str());
    const int index = ListView_InsertItem(ListView, &row);
    if (index < 0) return -1;
    ListView_SetItemText(ListView, index, 1, const_cast<wchar_t*>(command.c_str()));
    ListView_SetItemText(ListView, index, 2, const_cast<wchar_t*>(location.c_str()));
    ListView_SetCheckState(ListView, index, checked);
    return index;
}

void TDisableForm::FillStartupListView() {
    ListView_DeleteAllItems(ListView);
    auto link = [](TextTable& table, std::size_t row, std::size_t column, int index) {
        table.SetCell(row, column, std::to_wstring(index));
    };
    for (std::size_t i = 0; i < RunTable.RowCount(); ++i)
        link(RunTable, i, RunCol::ListIndex,
             AddListRow(RunTable.Cell(i, RunCol::Name), RunTable.Cell(i, RunCol::Command),
                        RunTable.Cell(i, RunCol::Location), true));
    for (std::size_t i = 0; i < FolderTable.RowCount(); ++i)
        link(FolderTable, i, FolderCol::ListIndex,
             AddListRow(FolderTable.Cell(i, FolderCol::Name), FolderTable.Cell(i, FolderCol::Target),
                        FolderTable.Cell(i, FolderCol::Location), true));
    for (std::size_t i = 0; i < DisabledRunTable.RowCount(); ++i)
        link(DisabledRunTable, i, DisabledRunCol::ListIndex,
             AddListRow(DisabledRunTable.Cell(i, DisabledRunCol::Item),
                        DisabledRunTable.Cell(i, DisabledRunCol::Command),
                        DisabledRunTable.Cell(i, DisabledRunCol::HKey) + L"\\" +
                            DisabledRunTable.Cell(i, DisabledRunCol::Key),
                        false));
    for (std::size_t i = 0; i < DisabledFolderTable.RowCount(); ++i)
        link(DisabledFolderTable, i, DisabledFolderCol::ListIndex,
             AddListRow(DisabledFolderTable.Cell(i, DisabledFolderCol::Item),
                        DisabledFolderTable.Cell(i, DisabledFolderCol::Command),
                        DisabledFolderTable.Cell(i, DisabledFolderCol::Location), false));
}

void TDisableForm::RefrushButtonClick() {
    // While a tick waits in a prompt its tables must stay whole: the reload
    // runs when the tick ends.
    if (Scanning) {
        reloadPending_ = true;
        return;
    }
    LoadStartupInventory();
    FillStartupListView();
}

void TDisableForm::ApplyButtonClick() {
    // The list row of table row i, or -1 when it has none the list shows.
    const int listRows = ListView_GetItemCount(ListView);
    auto listRow = [&](const TextTable& table, std::size_t i, std::size_t column) {
        const int index = StrToIntDef(table.Cell(i, column), -1);
        return index >= 0 && index < listRows ? index : -1;
    };
    auto checked = [&](int row) { return ListView_GetCheckState(ListView, row) != 0; };

    // Registry disables, registry enables, shortcut disables, shortcut
    // enables; the tables stay as they are until the refresh at the end.
    for (std::size_t i = 0, n = RunTable.RowCount(); i < n; ++i)
        if (const int row = listRow(RunTable, i, RunCol::ListIndex); row >= 0 && !checked(row))
            DisableRunEntry(RunTable.Cell(i, RunCol::Name), RunTable.Cell(i, RunCol::Command),
                            RunTable.Cell(i, RunCol::Location));
    for (std::size_t i = 0, n = DisabledRunTable.RowCount(); i < n; ++i)
        if (const int row = listRow(DisabledRunTable, i, DisabledRunCol::ListIndex);
            row >= 0 && checked(row))
            EnableRunEntry(DisabledRunTable.Cell(i, DisabledRunCol::Item),
                           DisabledRunTable.Cell(i, DisabledRunCol::Command),
                           DisabledRunTable.Cell(i, DisabledRunCol::HKey),
                           DisabledRunTable.Cell(i, DisabledRunCol::Key));
    for (std::size_t i = 0, n = FolderTable.RowCount(); i < n; ++i)
        if (const int row = listRow(FolderTable, i, FolderCol::ListIndex); row >= 0 && !checked(row))
            DisableFolderEntry(FolderTable.Cell(i, FolderCol::Name),
                               FolderTable.Cell(i, FolderCol::Target),
                               FolderTable.Cell(i, FolderCol::Location));
    for (std::size_t i = 0, n = DisabledFolderTable.RowCount(); i < n; ++i)
        if (const int row = listRow(DisabledFolderTable, i, DisabledFolderCol::ListIndex);
            row >= 0 && checked(row))
            EnableFolderEntry(DisabledFolderTable.Cell(i, DisabledFolderCol::Item),
                              DisabledFolderTable.Cell(i, DisabledFolderCol::StoreKeyPath),
                              DisabledFolderTable.Cell(i, DisabledFolderCol::Command),
                              DisabledFolderTable.Cell(i, DisabledFolderCol::Location),
                              DisabledFolderTable.Cell(i, DisabledFolderCol::Backup),
                              DisabledFolderTable.Cell(i, DisabledFolderCol::Path));
    RefrushButtonClick();
}

}  // namespace kb
