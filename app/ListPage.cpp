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
    // Acts on each table row whose list row now shows the other state; a
    // row without a list row (ListIndex not a number, or past the list) is
    // skipped. The tables stay as they are until the refresh at the end.
    const int listRows = ListView_GetItemCount(ListView);
    const auto changed = [&](const TextTable& table, std::size_t listIndex, bool nowChecked,
                             const auto& act) {
        for (std::size_t i = 0, n = table.RowCount(); i < n; ++i) {
            const int row = StrToIntDef(table.Cell(i, listIndex), -1);
            if (row >= 0 && row < listRows &&
                (ListView_GetCheckState(ListView, row) != 0) == nowChecked)
                act(i);
        }
    };
    const TextTable& run = RunTable;
    const TextTable& stored = DisabledRunTable;
    const TextTable& folder = FolderTable;
    const TextTable& storedFolder = DisabledFolderTable;
    // Registry disables, registry enables, shortcut disables, shortcut enables.
    changed(run, RunCol::ListIndex, false, [&](std::size_t i) {
        DisableRunEntry(run.Cell(i, RunCol::Name), run.Cell(i, RunCol::Command),
                        run.Cell(i, RunCol::Location));
    });
    changed(stored, DisabledRunCol::ListIndex, true, [&](std::size_t i) {
        EnableRunEntry(stored.Cell(i, DisabledRunCol::Item), stored.Cell(i, DisabledRunCol::Command),
                       stored.Cell(i, DisabledRunCol::HKey), stored.Cell(i, DisabledRunCol::Key));
    });
    changed(folder, FolderCol::ListIndex, false, [&](std::size_t i) {
        DisableFolderEntry(folder.Cell(i, FolderCol::Name), folder.Cell(i, FolderCol::Target),
                           folder.Cell(i, FolderCol::Location));
    });
    changed(storedFolder, DisabledFolderCol::ListIndex, true, [&](std::size_t i) {
        EnableFolderEntry(storedFolder.Cell(i, DisabledFolderCol::Item),
                          storedFolder.Cell(i, DisabledFolderCol::StoreKeyPath),
                          storedFolder.Cell(i, DisabledFolderCol::Command),
                          storedFolder.Cell(i, DisabledFolderCol::Location),
                          storedFolder.Cell(i, DisabledFolderCol::Backup),
                          storedFolder.Cell(i, DisabledFolderCol::Path));
    });
    RefrushButtonClick();
}

}  // namespace kb
