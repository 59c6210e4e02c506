// The watch: every check reads the startup places and the start pages
// again and deals with what changed, as the settings page's policies say.
#include <exception>

#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    // "disbale": the prompt's own text, kept as its users know it.
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

}  // namespace

void MainWindow::CheckForChanges() {
    // One check at a time, none before the window is ready or once it is
    // going away, and none over an open report: a question must never come
    // up over it.
    if (!ready_ || stoppedForGood_ || checking_ || ErrorReportOpen()) return;
    // Nothing to compare with yet: the first whole reading comes first.
    if (!guard_->Loaded()) return ReloadStartupList();
    checking_ = true;
    std::exception_ptr failure;
    try {
        guard_->Check(
            PolicyFromIndex(ui_.startupPolicy.ItemIndex()),
            [this](const std::wstring& name) { return Ask(NewStartupQuestion(name)); },
            // Known from now on, and shown checked at the end of the list.
            [this](const StartupEntry& entry) { list_.Append(entry); });
        StartPageReferences references;
        for (std::size_t i = 0; i < kStartPageCount; ++i)
            if (startPageDefended_[i]) references[i] = WindowText(ui_.startPageEdits[i]);
        if (!stoppedForGood_)
            for (const auto& [i, text] :
                 CheckStartPages(PolicyFromIndex(ui_.startPagePolicy.ItemIndex()), references,
                                 [this](const std::wstring& question) { return Ask(question); }))
                ::SetWindowTextW(ui_.startPageEdits[i], text.c_str());
    } catch (...) {
        failure = std::current_exception();
    }
    checking_ = false;
    // A reload asked for while the check waited for an answer runs now.
    if (reloadPending_ && !stoppedForGood_) {
        reloadPending_ = false;
        try {
            ReloadStartupList();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    ReportNotices();
    if (failure) std::rethrow_exception(failure);
}

Decision MainWindow::Ask(const std::wstring& question) {
    const Decision decision = options_.ask ? options_.ask(question)
                              : prompt_    ? prompt_->Ask(question)
                                           : Decision::Leave;
    // An answer given after the teardown began changes nothing.
    return stoppedForGood_ ? Decision::Leave : decision;
}

void MainWindow::ReportNotices() {
    for (const SkippedValue& value : guard_->TakeNewlySkipped())
        ShowErrorReport(L"Invalid data type for '" + value.name + L"'");
    for (const EntryText& entry : guard_->TakeNewlyUnmovable())
        ShowErrorReport(L"Cannot disable '" + entry.item + L"' (" + entry.location +
                        L"); it stays where it is");
}

}  // namespace kb
