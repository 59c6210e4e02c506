#pragma once
// A real main window, hidden, made inside the sandbox: its special folders
// are the test's own, and error reports are collected instead of shown.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "app/DisableForm.h"

namespace kb::test {

class FormTest : public Sandbox {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and creates the window with these arguments.
    TDisableForm& MakeForm(std::vector<std::wstring> arguments = {});

    std::wstring CommonStartup() { return Folder(L"Common Startup"); }
    std::wstring UserStartup() { return Folder(L"Startup"); }
    std::wstring Windows() { return Folder(L"Windows"); }
    // The settings file of the window's program file, which is in "App".
    std::wstring SettingsFile() { return Folder(L"App") + L"\\Keepboot.ini"; }

    // A shortcut in the folder, pointing at a file made for it.
    std::wstring MakeShortcut(const std::wstring& folder, const std::wstring& name);

    std::unique_ptr<TDisableForm> form;
    std::vector<std::wstring> reports;
    // The watch's questions land here; answer decides (Cancel when unset).
    std::vector<std::wstring> questions;
    std::function<int(const std::wstring&)> answer;
};

struct ListRow {
    std::wstring item, command, location;
    bool checked;
    bool operator==(const ListRow&) const = default;
};
std::vector<ListRow> ListRows(HWND listView);
void PrintTo(const ListRow& row, std::ostream* os);

std::vector<std::wstring> Column(const TextTable& table, std::size_t column);

}  // namespace kb::test
