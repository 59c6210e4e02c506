#include "FormHarness.h"

#include <ostream>

#include "platform/Error.h"
#include "shelllink/ShellLink.h"

namespace kb::test {

void FormTest::SetUp() {
    Sandbox::SetUp();
    if (HasFatalFailure()) return;
    SetErrorReportSink([this](const std::wstring& text) { reports.push_back(text); });
}

void FormTest::TearDown() {
    form.reset();
    SetErrorReportSink({});
    Sandbox::TearDown();
}

TDisableForm& FormTest::MakeForm(std::vector<std::wstring> arguments) {
    FormOptions options;
    options.arguments = std::move(arguments);
    const std::wstring common = CommonStartup(), user = UserStartup(), windows = Windows();
    options.specialFolder = [=](int id) {
        switch (id) {
        case 24: return common;
        case 7: return user;
        case 36: return windows;
        default: return std::wstring();
        }
    };
    options.executable = Folder(L"App") + L"\\Keepboot.exe";
    options.prompt = [this](const std::wstring& question) {
        questions.push_back(question);
        return answer ? answer(question) : IDCANCEL;
    };
    form = std::make_unique<TDisableForm>(std::move(options));
    form->Create();
    return *form;
}

std::wstring FormTest::MakeShortcut(const std::wstring& folder, const std::wstring& name) {
    const std::wstring target = Folder(L"Programs") + L"\\" + name + L".exe";
    WriteFileBytes(target, "MZ");
    CreateShellLink(folder + L"\\" + name + L".lnk", target, L"");
    return target;
}

std::vector<ListRow> ListRows(HWND listView) {
    std::vector<ListRow> rows;
    const int count = ListView_GetItemCount(listView);
    for (int i = 0; i < count; ++i) {
        wchar_t text[3][512] = {};
        for (int column = 0; column < 3; ++column)
            ListView_GetItemText(listView, i, column, text[column], 512);
        rows.push_back({text[0], text[1], text[2], ListView_GetCheckState(listView, i) != 0});
    }
    return rows;
}

void PrintTo(const ListRow& row, std::ostream* os) {
    *os << "{" << Narrow(row.item) << " | " << Narrow(row.command) << " | "
        << Narrow(row.location) << " | " << (row.checked ? "checked" : "unchecked") << "}";
}

std::vector<std::wstring> Column(const TextTable& table, std::size_t column) {
    std::vector<std::wstring> cells;
    for (std::size_t row = 0; row < table.RowCount(); ++row) cells.push_back(table.Cell(row, column));
    return cells;
}

}  // namespace kb::test
