#include "platform/Error.h"

#include <cwchar>

#include "platform/AppTitle.h"

namespace kb {

namespace {

std::function<void(const std::wstring&)>& ReportSink() {
    static std::function<void(const std::wstring&)> sink;
    return sink;
}

}  // namespace

std::wstring OleErrorMessage(HRESULT code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer) {
        text.assign(buffer, length);
        ::LocalFree(buffer);
    }
    // System messages end in a line break.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) {
        wchar_t fallback[32];
        std::swprintf(fallback, 32, L"OLE error %.8x", static_cast<unsigned>(code));
        text = fallback;
    }
    return text;
}

void OleCheck(HRESULT code) {
    if (FAILED(code)) throw OleError(code, OleErrorMessage(code));
}

std::wstring ErrorReportText(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.') return message + L".";
    return message;
}

void ShowErrorReport(const std::wstring& message) {
    // An error that comes back at every timer tick would otherwise stack a
    // new box on the open one each time: one report at a time.
    static bool open = false;
    if (open) return;
    open = true;
    struct Closed {
        ~Closed() { open = false; }
    } closed;
    const std::wstring text = ErrorReportText(message);
    if (ReportSink()) {
        ReportSink()(text);
        return;
    }
    ::MessageBoxW(nullptr, text.c_str(), kAppTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void ReportCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const Error& e) {
            ShowErrorReport(e.Message());
        } catch (const std::bad_alloc&) {
            ShowErrorReport(L"Out of memory");
        } catch (const std::exception& e) {
            const std::string what = e.what();
            ShowErrorReport(std::wstring(what.begin(), what.end()));
        } catch (...) {
            ShowErrorReport(L"Unexpected error");
        }
    } catch (...) {
        // Nothing can be shown; the event ends all the same.
    }
}

void SetErrorReportSink(std::function<void(const std::wstring&)> sink) {
    ReportSink() = std::move(sink);
}

}  // namespace kb
