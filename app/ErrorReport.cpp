#include "app/ErrorReport.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <new>
#include <optional>

#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "app/Texts.h"

namespace kb {

namespace {

std::function<void(const std::wstring&)>& ReportSink() {
    static std::function<void(const std::wstring&)> sink;
    return sink;
}

// The reports waiting for the top-level loop, and the one open. A few are
// enough: beyond them, an error that comes in many forms is said already.
constexpr std::size_t kMostWaiting = 8;
std::deque<std::wstring> waiting;
std::optional<std::wstring> open;

}  // namespace

std::wstring ErrorReportText(const std::wstring& message) {
    if (!message.empty() && message.back() > L'.') return message + L".";
    return message;
}

void ShowErrorReport(const std::wstring& message) {
    std::wstring text = ErrorReportText(message);
    if (text == open || std::find(waiting.begin(), waiting.end(), text) != waiting.end() ||
        waiting.size() >= kMostWaiting)
        return;
    waiting.push_back(std::move(text));
    // Wakes the top-level loop; a nested loop that drops it still leaves the
    // report for the next round of the top-level one.
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
}

void ShowPendingReports() noexcept {
    if (open) return;  // a box's own loop runs this thread's messages
    try {
        while (!waiting.empty()) {
            open = std::move(waiting.front());
            waiting.pop_front();
            struct Closed {
                ~Closed() { open.reset(); }
            } closed;
            if (ReportSink())
                ReportSink()(*open);
            else
                ::MessageBoxW(nullptr, open->c_str(), kAppTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
        }
    } catch (...) {
        // A test's sink that raised; the box itself raises nothing.
    }
}

std::wstring WordsOf(const Error& error) {
    if (const auto* ole = dynamic_cast<const OleError*>(&error))
        return ole->Context().empty() ? OleErrorMessage(ole->Code()) : ole->Context();
    if (error.Code() == ERROR_SUCCESS) return error.Context();
    return ErrorReportText(error.Context()) + L"\n\n" + SystemErrorText(error.Code()) + L".";
}

void ReportCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const Error& e) {
            ShowErrorReport(WordsOf(e));
        } catch (const std::bad_alloc&) {
            ShowErrorReport(UiText(IDS_OUT_OF_MEMORY));
        } catch (const std::exception& e) {
            const std::string what = e.what();
            ShowErrorReport(std::wstring(what.begin(), what.end()));
        } catch (...) {
            ShowErrorReport(UiText(IDS_UNEXPECTED_ERROR));
        }
    } catch (...) {
        // Nothing can be shown; the event ends all the same.
    }
}

void SetErrorReportSink(std::function<void(const std::wstring&)> sink) {
    ReportSink() = std::move(sink);
}

}  // namespace kb
