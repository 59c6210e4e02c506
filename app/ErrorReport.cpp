#include "app/ErrorReport.h"

#include <windows.h>

#include <new>

#include "platform/AppTitle.h"
#include "platform/Error.h"

namespace kb {

namespace {

std::function<void(const std::wstring&)>& ReportSink() {
    static std::function<void(const std::wstring&)> sink;
    return sink;
}

bool reportOpen = false;

}  // namespace

std::wstring ErrorReportText(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.') return message + L".";
    return message;
}

void ShowErrorReport(const std::wstring& message) {
    if (reportOpen) return;
    reportOpen = true;
    struct Closed {
        ~Closed() { reportOpen = false; }
    } closed;
    const std::wstring text = ErrorReportText(message);
    if (ReportSink()) {
        ReportSink()(text);
        return;
    }
    ::MessageBoxW(nullptr, text.c_str(), kAppTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

bool ErrorReportOpen() noexcept {
    return reportOpen;
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
