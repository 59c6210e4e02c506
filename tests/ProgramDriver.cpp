#include "ProgramDriver.h"

#include "app/MainWindow.h"

namespace kb::test {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(20);  // a polling step, not a wait for something to happen
    }
}

KeepbootProcess::KeepbootProcess(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &info)) {
        process_.reset(info.hProcess);
        ::CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
}

KeepbootProcess::~KeepbootProcess() {
    if (process_ && Running()) {
        ::TerminateProcess(process_.get(), 99);
        ::WaitForSingleObject(process_.get(), 10000);
    }
}

bool KeepbootProcess::Running() const {
    return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool KeepbootProcess::WaitForExit(DWORD* exitCode, DWORD timeoutMs) const {
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode) ::GetExitCodeProcess(process_.get(), exitCode);
    return true;
}

HWND KeepbootProcess::FindWindowOfClass(const wchar_t* className) const {
    struct Search {
        DWORD pid;
        const wchar_t* className;
        HWND found;
        static BOOL CALLBACK Visit(HWND window, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (pid == s->pid && std::wstring(name) == s->className) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        }
    } search{id_, className, nullptr};
    ::EnumWindows(&Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND KeepbootProcess::WaitForMainWindow(DWORD timeoutMs) const {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FindWindowOfClass(MainWindow::kClassName);
            DWORD_PTR status = 0;
            return window &&
                   ::SendMessageTimeoutW(window, MainWindow::kStatusMessage, 0, 0,
                                         SMTO_ABORTIFHUNG, 2000, &status) &&
                   (status & MainWindow::StatusReady);
        },
        timeoutMs);
    return window;
}

HWND KeepbootProcess::WaitForReport(DWORD timeoutMs) const {
    HWND report = nullptr;
    WaitUntil(
        [&] {
            report = FindWindowOfClass(L"#32770");  // the system's message box
            return report && ::IsWindowVisible(report);
        },
        timeoutMs);
    return report && ::IsWindowVisible(report) ? report : nullptr;
}

std::wstring KeepbootProcess::ReportText(HWND report) {
    constexpr int kMessageId = 0xFFFF;  // the message box's text
    wchar_t text[512] = {};
    ::GetWindowTextW(::GetDlgItem(report, kMessageId), text, 512);
    return text;
}

void KeepbootProcess::CloseReport(HWND report) {
    ::PostMessageW(report, WM_COMMAND, IDOK, 0);
}

int RunToEnd(std::wstring commandLine, DWORD timeoutMs) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info))
        return -1;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

std::wstring BuiltKeepbootExe(Build build) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.rfind(L'\\'));  // the tests folder
    path.resize(path.rfind(L'\\'));  // the build folder
    return path + (build == Build::Tested ? L"\\tested" : L"") + L"\\Keepboot.exe";
}

}  // namespace kb::test

#include <commctrl.h>

namespace kb::test {

namespace {

// A block of memory in the other process, freed with this object.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, std::size_t size)
        : process_(process),
          address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    char* get() const { return static_cast<char*>(address_); }

private:
    HANDLE process_;
    void* address_;
};

}  // namespace

HWND FindDescendant(HWND root, int id) {
    struct Search {
        int id;
        HWND found;
        static BOOL CALLBACK Visit(HWND window, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            if (::GetDlgCtrlID(window) != s->id) return TRUE;
            s->found = window;
            return FALSE;
        }
    } search{id, nullptr};
    ::EnumChildWindows(root, &Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int RemoteListView::Count() const {
    return static_cast<int>(::SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring RemoteListView::Text(int row, int column) const {
    constexpr std::size_t kChars = 1024;
    RemoteBlock block(process_, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(block.get() + sizeof(LVITEMW));
    item.cchTextMax = kChars;
    ::WriteProcessMemory(process_, block.get(), &item, sizeof item, nullptr);
    ::SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.get()));
    wchar_t text[kChars] = {};
    ::ReadProcessMemory(process_, block.get() + sizeof(LVITEMW), text, sizeof text - 2, nullptr);
    return text;
}

bool RemoteListView::Checked(int row) const {
    const auto state = ::SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void RemoteListView::SetChecked(int row, bool checked) const {
    RemoteBlock block(process_, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    ::WriteProcessMemory(process_, block.get(), &item, sizeof item, nullptr);
    ::SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(block.get()));
}

int RemoteListView::Find(const std::wstring& caption) const {
    for (int row = 0, n = Count(); row < n; ++row)
        if (Text(row, 0) == caption) return row;
    return -1;
}

}  // namespace kb::test
