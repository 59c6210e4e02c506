// The watch: the interval's full check, and a check of each place whose
// change notification fired. Each deals with what changed as the settings
// page's policies say.
#include <algorithm>
#include <exception>

#include "app/ErrorReport.h"
#include "app/MainWindow.h"
#include "app/PromptDialog.h"
#include "app/ShowableText.h"
#include "platform/AppTitle.h"

namespace kb {

namespace {

std::wstring NewStartupQuestion(const std::wstring& name) {
    // "disbale": the prompt's own text, kept as its users know it.
    return L"One new Windows Startup \"" + name + L"\", do you want to disbale it?";
}

double MillisecondsNow() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

bool MainWindow::CanCheckNow() const noexcept {
    // One check at a time, none before the window is ready or once it is
    // going away. An open report pauses nothing: the watch goes on.
    return ready_ && !stoppedForGood_ && !checking_;
}

void MainWindow::CheckForChanges() {
    if (!CanCheckNow()) return;
    ++counters_.fullChecks;
    // Every place is read, where it is now: what the notifications were
    // waiting for too.
    foldersMoved_ = false;
    if (!options_.folders) FollowStartupFolders();
    changedPlaces_ = PlaceSelection::None();
    startPagesChanged_ = false;
    RunCheck(PlaceSelection{}, true);
}

void MainWindow::CheckChangedPlaces() {
    if (!CanCheckNow()) {
        waitingForIdle_ = true;
        return;
    }
    if (std::exchange(foldersMoved_, false)) FollowStartupFolders();
    const PlaceSelection places = std::exchange(changedPlaces_, PlaceSelection::None());
    const bool startPages = std::exchange(startPagesChanged_, false);
    if (places.Empty() && !startPages) return;
    ++counters_.placeChecks;
    RunCheck(places, startPages);
}

void MainWindow::RunCheck(const PlaceSelection& places, bool startPages) {
    // Nothing to compare with yet: the first whole reading comes first.
    if (!guard_->Loaded()) return ReloadStartupList();
    checking_ = true;
    lastBreath_ = ::GetTickCount();
    const double began = MillisecondsNow();
    std::exception_ptr failure;
    try {
        guard_->Check(
            PolicyFromIndex(ui_.startupPolicy.ItemIndex()),
            [this](const StartupEntry& entry) {
                EntryDetails details = DetailsOf(entry);
                details.before = guard_->PreviousCommand(entry).value_or(L"");
                return Ask(NewStartupQuestion(Showable(TextOf(entry).item)), details,
                           NeedsElevation(entry));
            },
            // Known from now on, and shown checked at the end of the list.
            [this](const StartupEntry& entry) { list_.Append(entry); }, places);
        StartPageReferences references;
        if (startPages)
            for (std::size_t i = 0; i < kStartPageCount; ++i)
                if (startPageDefended_[i]) references[i] = WindowText(ui_.startPageEdits[i]);
        if (startPages && !stoppedForGood_)
            for (const auto& [i, text] :
                 CheckStartPages(PolicyFromIndex(ui_.startPagePolicy.ItemIndex()), references,
                                 [this](const std::wstring& question) { return Ask(question); },
                                 [this](std::size_t i, const std::wstring& found,
                                        const std::wstring& defended, Decision decision,
                                        bool asked) {
                                     RecordStartPage(i, found, defended, decision, asked);
                                 }))
                ::SetWindowTextW(ui_.startPageEdits[i], text.c_str());
    } catch (...) {
        failure = std::current_exception();
    }
    checking_ = false;
    counters_.checkingMs += MillisecondsNow() - began;
    // A reload asked for while the check waited for an answer runs now.
    if (std::exchange(startPagesReloadPending_, false) && !stoppedForGood_) ReloadStartPages();
    if (std::exchange(applyPending_, false) && !stoppedForGood_) {
        reloadPending_ = false;  // Apply reloads
        try {
            ApplyStartupList();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
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

std::optional<int> MainWindow::DispatchWaitingMessages() {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
        if (PreTranslateMessage(msg) || ::IsDialogMessageW(Handle(), &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return std::nullopt;
}

void MainWindow::Breathe() {
    constexpr DWORD kBreathMs = 30;
    const DWORD now = ::GetTickCount();
    if (now - lastBreath_ < kBreathMs) return;
    lastBreath_ = now;
    // What the user does meanwhile waits for the check's end where it would
    // change what the check compares with (Refrush, Apply); Quit ends it.
    historyList_.Flush();
    if (const std::optional<int> quit = DispatchWaitingMessages()) {
        StopWatchingForGood();
        ::PostQuitMessage(*quit);  // for the loop the check returns to
    }
}

Decision MainWindow::Ask(const std::wstring& question, const EntryDetails& details,
                         bool shield) {
    const Decision decision = options_.ask ? options_.ask(question)
                              : prompt_    ? prompt_->Ask(question, details, shield)
                                           : Decision::Leave;
    // An answer given after the teardown began changes nothing.
    return stoppedForGood_ ? Decision::Leave : decision;
}

bool MainWindow::NeedsElevation(const StartupEntry& entry) const {
    return !elevated_ && WritesMachinePlaces(entry);
}

void MainWindow::ShowNotice(const std::wstring& text) {
    ++counters_.notices;
    HistoryRecord record;
    record.what = L"Notice";
    record.detail = text;
    Record(std::move(record));
    if (trayIcon_) trayIcon_->ShowBalloon(kAppTitle, text);
}

void MainWindow::ReportNotices() {
    // What the guard cannot do for want of rights is no failure: a notice
    // that stops nothing, once.
    for (const EntryText& entry : guard_->TakeNewlyWaitingForAdministrator())
        ShowNotice(L"'" + entry.item + L"' (" + entry.location +
                   L") needs administrator rights to be disabled; it stays where it is.");
    for (const ChangedEntry& changed : guard_->TakeNewlyChanged())
        ShowNotice(L"'" + Showable(changed.entry.item) + L"' (" + changed.entry.location +
                   L") changed to start " + Showable(changed.entry.command) + L" instead of " +
                   Showable(changed.previously) + L"; it was disabled.");
    for (const SkippedValue& value : guard_->TakeNewlySkipped()) {
        if (value.unreadable)
            ShowNotice(L"Cannot read " + value.key + L": " + value.why +
                       L". What it held before stays guarded.");
        else
            ShowNotice(L"Invalid data type for '" + Showable(value.name) + L"'");
    }
    for (const EntryText& entry : guard_->TakeNewlyUnmovable())
        ShowNotice(L"Cannot disable '" + Showable(entry.item) + L"' (" + entry.location +
                   L"); it stays where it is.");
    ShowUnreadablePlaces();
    historyList_.Flush();
}

void MainWindow::ShowUnreadablePlaces() {
    std::wstring text;
    for (const SkippedValue& place : guard_->UnreadablePlaces())
        text += (text.empty() ? L"Not read: " : L"; ") + place.key;
    ::SetWindowTextW(ui_.unreadablePlaces, text.c_str());
}

// --- change notifications ------------------------------------------------------

void MainWindow::WatchChanges() {
    if (changes_ || stoppedForGood_) return;
    std::vector<ChangeWatch::Place> places;
    for (const RunKeyPlace& place : RunKeyPlaces())
        places.push_back({ChangeWatch::Place::Kind::Key, place.root, place.keyPath, place.view});
    const StartupFolders& folders = guard_->Folders();
    for (const std::wstring* folder : {&folders.commonStartup, &folders.userStartup})
        places.push_back({ChangeWatch::Place::Kind::Folder, nullptr, *folder, 0});
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        places.push_back({ChangeWatch::Place::Kind::Key, root, kStartPageKey, 0});
    // Where the Startup folders are: moving one must not walk around the
    // watch. Folders given by the caller (the tests') stay where they are.
    if (!options_.folders)
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const wchar_t* key : {kUserShellFoldersKey, kShellFoldersKey})
                places.push_back({ChangeWatch::Place::Kind::Key, root, key, 0});
    changes_ = std::make_unique<ChangeWatch>(std::move(places));
}

void MainWindow::FollowStartupFolders() {
    const StartupFolders now = FindStartupFolders();
    const StartupFolders& before = guard_->Folders();
    const bool common = !SamePath(now.commonStartup, before.commonStartup);
    const bool user = !SamePath(now.userStartup, before.userStartup);
    if (!common && !user) return;
    guard_->MoveFolders(now);
    // Watched where they are now, and read as new places.
    if (changes_) {
        changes_.reset();
        WatchChanges();
    }
    changedPlaces_.commonStartup = changedPlaces_.commonStartup || common;
    changedPlaces_.userStartup = changedPlaces_.userStartup || user;
    if (common) ShowNotice(L"The all-users Startup folder is now " + now.commonStartup + L".");
    if (user) ShowNotice(L"The Startup folder is now " + now.userStartup + L".");
}

const std::vector<HANDLE>& MainWindow::ChangeHandles() const noexcept {
    static const std::vector<HANDLE> none;
    return changes_ ? changes_->Handles() : none;
}

// A change is checked at once: no timer waits for more. What changes while
// a check runs (the rest of an installer's burst) is gathered into the next.
void MainWindow::OnPlaceChanged(std::size_t handle) noexcept {
    try {
        if (!changes_) return;
        // The other places signalled by now go into the same check.
        std::vector<std::size_t> places{changes_->PlaceOf(handle)};
        const std::vector<HANDLE>& handles = changes_->Handles();
        for (std::size_t i = 0; i < handles.size(); ++i)
            if (i != handle && ::WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0)
                places.push_back(changes_->PlaceOf(i));
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        const std::size_t runKeys = RunKeyPlaces().size();
        for (const std::size_t place : places) {
            // Armed again before the place is read, so nothing in between is missed.
            changes_->Rearm(place);
            if (place < runKeys)
                changedPlaces_.runKeys[place] = true;
            else if (place == runKeys)
                changedPlaces_.commonStartup = true;
            else if (place == runKeys + 1)
                changedPlaces_.userStartup = true;
            else if (place < runKeys + 4)
                startPagesChanged_ = true;
            else
                foldersMoved_ = true;
        }
        CheckChangedPlaces();
    } catch (...) {
        ReportCurrentException();
    }
}

void MainWindow::ResumeDeferredWork() noexcept {
    if (!waitingForIdle_ || !CanCheckNow()) return;
    waitingForIdle_ = false;
    try {
        CheckChangedPlaces();
    } catch (...) {
        ReportCurrentException();
    }
}

}  // namespace kb
