#include "WindowHarness.h"
#include "app/services/FindingWords.h"

#include "app/services/SelfStart.h"

#include <ostream>

#include "app/ErrorReport.h"
#include "app/services/MessagePump.h"
#include "app/Texts.h"

namespace kb::test {

void WindowTest::SetUp() {
    CoreTest::SetUp();
    if (HasFatalFailure()) return;
    SetErrorReportSink([this](const std::wstring& text) { reports.push_back(text); });
}

void WindowTest::TearDown() {
    window.reset();
    ShowPendingReports();  // none is left for the next test
    SetErrorReportSink({});
    CoreTest::TearDown();
}

MainWindow& WindowTest::MakeWindow(std::vector<std::wstring> arguments,
                                   std::optional<StartupFolders> folders) {
    MainWindowOptions options;
    options.arguments = std::move(arguments);
    options.folders = folders ? *folders : Folders();
    options.executable = Folder(L"App") + L"\\Keepboot.exe";
    options.historyFile = Folder(L"App") + L"\\history.log";
    options.selfStart = RunValueSelfStart();
    options.ask = [this](const std::wstring& question) {
        questions.push_back(question);
        return answer ? answer(question) : Decision::Leave;
    };
    window = std::make_unique<MainWindow>(std::move(options));
    window->Create();
    return *window;
}

namespace {

struct Extent {
    int width, height;
};

Extent TextExtent(HWND control, const std::wstring& text, UINT format, int wrapWidth = 0) {
    ClientDc dc(control);
    SelectObjectScope select(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT area{0, 0, wrapWidth, 0};
    ::DrawTextW(dc.get(), text.c_str(), -1, &area, DT_CALCRECT | format);
    return {area.right, area.bottom};
}

}  // namespace

std::vector<std::wstring> CutTexts(HWND root) {
    std::vector<std::wstring> cut;
    struct Visit {
        std::vector<std::wstring>* cut;
        static BOOL CALLBACK Control(HWND control, LPARAM param) {
            auto& self = *reinterpret_cast<Visit*>(param);
            const std::wstring text = WindowText(control);
            wchar_t kind[32] = {};
            ::GetClassNameW(control, kind, 32);
            RECT client{};
            ::GetClientRect(control, &client);
            const LONG style = ::GetWindowLongW(control, GWL_STYLE);
            if (text.empty() || !(style & WS_VISIBLE)) return TRUE;
            bool fits = true;
            if (lstrcmpiW(kind, L"Button") == 0) {
                const Extent extent = TextExtent(control, text, DT_SINGLELINE);
                const LONG type = style & BS_TYPEMASK;
                const int beside = type == BS_GROUPBOX                              ? 12
                                   : type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? 4
                                   : ::GetSystemMetrics(SM_CXMENUCHECK) + 3;
                fits = extent.width + beside <= client.right;
            } else if (lstrcmpiW(kind, L"Static") == 0) {
                // A label wider than one line wraps: all its lines must show.
                const Extent extent = TextExtent(control, text, DT_WORDBREAK | DT_NOPREFIX, client.right);
                fits = extent.width <= client.right && extent.height <= client.bottom;
            } else if (lstrcmpiW(kind, L"Edit") == 0 && (style & ES_MULTILINE) && !(style & WS_VSCROLL)) {
                // A field of lines that does not scroll shows every one.
                const int lines = static_cast<int>(::SendMessageW(control, EM_GETLINECOUNT, 0, 0));
                fits = lines * TextExtent(control, L"Xg", DT_SINGLELINE).height <= client.bottom;
            }
            if (!fits) self.cut->push_back(text);
            return TRUE;
        }
    } visit{&cut};
    ::EnumChildWindows(root, &Visit::Control, reinterpret_cast<LPARAM>(&visit));
    return cut;
}

Decision AskAndWait(PromptDialog& dialog, const std::wstring& text, const EntryDetails& details) {
    std::optional<Decision> answer;
    dialog.OnAnswer([&](Decision decision, bool) { answer = decision; });
    dialog.Show({text, details});
    PumpUntil([&] { return answer.has_value(); },
              [&](MSG& msg) { return ::IsDialogMessageW(dialog.Handle(), &msg) != FALSE; });
    dialog.OnAnswer({});
    return answer.value_or(Decision::Leave);
}

std::vector<std::wstring> NoticeLines(HWND historyList) {
    std::vector<std::wstring> lines;
    const int count = ListView_GetItemCount(historyList);
    for (int row = 0; row < count; ++row) {
        wchar_t what[64] = {}, detail[1024] = {};
        ListView_GetItemText(historyList, row, 1, what, 64);
        ListView_GetItemText(historyList, row, 4, detail, 1024);
        // A first start's notice is every window test's: none is about it.
        if (std::wstring(what) == L"Notice" && !std::wstring(detail).starts_with(UiText(IDS_FIRST_START_MARK)))
            lines.push_back(detail);
    }
    return lines;
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

std::vector<HistoryRecord> WindowTest::Records() {
    std::vector<HistoryRecord> records = HistoryFile(Folder(L"App") + L"\\history.log").Read();
    std::erase_if(records, [](const HistoryRecord& r) {
        return r.what == L"Notice" && r.detail.starts_with(UiText(IDS_FIRST_START_MARK));
    });
    return records;
}

}  // namespace kb::test
