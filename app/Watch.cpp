// How the window answers and shows the watch: it hands the watch's
// questions to the desk (QuestionDesk.cpp), what the watch tells to the
// history and the icon (Telling.cpp), and runs what the user asked for
// while a check ran once it ends. The loop itself is the WatchDesk's.
#include <exception>
#include <utility>

#include "app/Texts.h"
#include "app/services/FindingWords.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    return UiText(IDS_QUESTION_NEW, {name});
}

}  // namespace

WatchHost MainWindow::HostOfTheWatch() {
    WatchHost host;
    host.askAboutEntry = [this](const StartupEntry& entry) {
        return questions_->AskAbout(entry, NewStartupQuestion(TextOf(entry).item), DetailsOf(entry)).decision;
    };
    host.askAboutValue = [this](const ValueQuestion& question, const EntryDetails& details) {
        return questions_->Ask({WordsOf(question), details}).decision;
    };
    // Known from now on, and shown checked at the end of the list.
    host.allowed = [this](const StartupEntry& entry) { pages_->List().Append(entry); };
    host.tell = [this](const WatchEvent& event) { telling_.Tell(event); };
    host.startPageAccepted = [this](std::size_t page, const std::wstring& text) {
        pages_->StartPages().Accept(page, text);
    };
    host.firstReadingTaken = [this] { pages_->List().ShowKnown(); };
    host.checkEnded = [this] {
        questions_->AfterCheck();
        RunPutOffWork();
    };
    host.adminPolicyMayHaveChanged = [this] {
        if (adminPolicy_) adminPolicy_->Follow();
    };
    return host;
}

void MainWindow::RunPutOffWork() {
    // What the user asked for while the check waited for an answer runs
    // now: a reload of the start pages, the list's Apply or reload.
    std::exception_ptr failure;
    const auto run = [&](auto&& work) {
        if (StoppedForGood()) return;
        try {
            work();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    run([this] { pages_->StartPages().RunPutOffWork(); });
    run([this] { pages_->List().RunPutOffWork(); });
    run([this] { pages_->History().RunPutOffWork(); });
    run([this] { questions_->RunPutOffWork(); });
    history_.List().Flush();
    if (failure) std::rethrow_exception(failure);
}

bool MainWindow::FilterMessage(MSG& msg) {
    // The prompt's keys too: Enter answers Disable, Esc Cancel.
    if (questions_ && questions_->FilterMessage(msg)) return true;
    return (pages_ && pages_->Turn(Handle(), msg)) || ::IsDialogMessageW(Handle(), &msg);
}

void MainWindow::ShowNotice(const std::wstring& text) {
    telling_.Notice(text);
}

}  // namespace kb
