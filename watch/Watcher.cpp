#include "watch/Watcher.h"

#include "platform/Clock.h"
#include "policy/AdminPolicy.h"
#include "store/OwnFolder.h"

#include <algorithm>
#include <exception>
#include <utility>


namespace kb {

std::vector<WatchedPlace> PlacesToWatch(const StartupFolders& folders, bool followFolders) {
    using Kind = WatchedPlace::Kind;
    using Where = ChangeWatch::Place;
    std::vector<WatchedPlace> places;
    const std::vector<RunKeyPlace>& runKeys = RunKeyPlaces();
    for (std::size_t i = 0; i < runKeys.size(); ++i)
        places.push_back({Kind::RunKey, i,
                          {Where::Kind::Key, runKeys[i].root, runKeys[i].keyPath, runKeys[i].view}});
    // An item place's entries may be subkeys: what they hold signals too.
    const std::vector<ItemPlace>& itemPlaces = ItemPlaces();
    for (std::size_t i = 0; i < itemPlaces.size(); ++i)
        places.push_back({Kind::ItemPlace, i,
                          {Where::Kind::Key, itemPlaces[i].root, itemPlaces[i].keyPath,
                           itemPlaces[i].view, itemPlaces[i].kind != ItemPlace::Kind::Values}});
    places.push_back({Kind::StartupFolder, 0, {Where::Kind::Folder, nullptr, folders.commonStartup, 0}});
    places.push_back({Kind::StartupFolder, 1, {Where::Kind::Folder, nullptr, folders.userStartup, 0}});
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        places.push_back({Kind::StartPages, 0, {Where::Kind::Key, root, kStartPageKey, 0}});
    // Each key of the logon values once.
    for (const LogonValue& value : LogonValues()) {
        const ChangeWatch::Place where{Where::Kind::Key, value.root, value.keyPath, value.view};
        if (std::none_of(places.begin(), places.end(), [&](const WatchedPlace& p) {
                return p.kind == Kind::LogonValues && p.where.root == where.root &&
                       p.where.path == where.path && p.where.view == where.view;
            }))
            places.push_back({Kind::LogonValues, 0, where});
    }
    // An administrator's policy takes effect as Group Policy writes it.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        places.push_back({Kind::AdminPolicy, 0,
                          {Where::Kind::Key, root, kAdminPolicyKey,
                           root == HKEY_LOCAL_MACHINE && Is64BitWindows() ? KEY_WOW64_64KEY : REGSAM{0}}});
    // Where the Startup folders are: moving one must not walk around the watch.
    if (followFolders)
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const wchar_t* key : {kUserShellFoldersKey, kShellFoldersKey})
                places.push_back({Kind::FolderLocations, 0, {Where::Kind::Key, root, key, 0}});
    return places;
}

Watcher::Watcher(StartupGuard& guard, bool followFolders, WatchHost host)
    : guard_(guard), followFolders_(followFolders), host_(std::move(host)) {
    guard_.SetPause([this] { Breathe(); });
    guard_.SetRecorder([this](const CheckOutcome& outcome) { Tell(outcome); });
}

void Watcher::SetPolicies(Policy startup, Policy startPages) noexcept {
    startupPolicy_ = startup;
    startPagePolicy_ = startPages;
}

void Watcher::Defend(std::size_t page, std::optional<std::wstring> text) {
    defended_.at(page) = std::move(text);
    leftAsIs_.at(page) = false;
    if (keeping_) KeepDefended(defended_);
}

std::optional<StartPageReferences> Watcher::RestoreDefended() {
    if (!keeping_) return std::nullopt;
    std::optional<StartPageReferences> kept = kb::RestoreDefended();
    if (kept) defended_ = *kept;
    return kept;
}

void Watcher::Stop() noexcept {
    stopped_ = true;
    changes_.reset();
    guard_.ShutDown();
}

bool Watcher::CanCheckNow() const noexcept {
    // One check at a time, none before the owner is ready or once the watch
    // stopped for good. An open report pauses nothing: the watch goes on.
    return ready_ && !stopped_ && !checking_;
}

// --- change notifications ------------------------------------------------------

void Watcher::WatchChanges() {
    if (changes_ || stopped_) return;
    // What the logon values hold as the watch starts is their known good.
    if (knownGood_.empty()) ReadKnownGoodNow();
    places_ = PlacesToWatch(guard_.Folders(), followFolders_);
    std::vector<ChangeWatch::Place> where;
    for (const WatchedPlace& place : places_) where.push_back(place.where);
    changes_ = std::make_unique<ChangeWatch>(std::move(where));
}

const std::vector<HANDLE>& Watcher::Handles() const noexcept {
    static const std::vector<HANDLE> none;
    return changes_ ? changes_->Handles() : none;
}

// A change is checked at once: no timer waits for more. What changes while
// a check runs (the rest of an installer's burst) is gathered into the next.
void Watcher::OnSignalled() {
    if (!changes_) return;
    // Every place signalled by now goes into the same check.
    for (const std::size_t at : changes_->TakeSignalled()) {
        // Armed again before the place is read, so nothing in between is missed.
        changes_->Rearm(at);
        const WatchedPlace& place = places_.at(at);
        switch (place.kind) {
        case WatchedPlace::Kind::RunKey:
            changedPlaces_.runKeys.at(place.index) = true;
            break;
        case WatchedPlace::Kind::StartupFolder:
            (place.index == 0 ? changedPlaces_.commonStartup : changedPlaces_.userStartup) = true;
            break;
        case WatchedPlace::Kind::StartPages:
            startPagesChanged_ = true;
            break;
        case WatchedPlace::Kind::FolderLocations:
            foldersMoved_ = true;
            break;
        case WatchedPlace::Kind::LogonValues:
            logonValuesChanged_ = true;
            break;
        case WatchedPlace::Kind::ItemPlace:
            changedPlaces_.items.at(place.index) = true;
            break;
        case WatchedPlace::Kind::AdminPolicy:
            adminPolicyChanged_ = true;
            break;
        }
    }
    CheckChangedPlaces();
}

void Watcher::FollowStartupFolders() {
    const StartupFolders now = FindStartupFolders();
    const StartupFolders& before = guard_.Folders();
    const bool common = !SamePath(now.commonStartup, before.commonStartup);
    const bool user = !SamePath(now.userStartup, before.userStartup);
    if (!common && !user) return;
    guard_.MoveFolders(now);
    // Watched where they are now, and read as new places.
    if (changes_) {
        changes_.reset();
        WatchChanges();
    }
    changedPlaces_.commonStartup = changedPlaces_.commonStartup || common;
    changedPlaces_.userStartup = changedPlaces_.userStartup || user;
    if (common)
        Tell(Finding{.kind = Finding::Kind::StartupFolderMoved, .location = now.commonStartup,
                     .whose = Finding::Whose::Machine});
    if (user)
        Tell(Finding{.kind = Finding::Kind::StartupFolderMoved, .location = now.userStartup,
                     .whose = Finding::Whose::User});
}

// --- checks -----------------------------------------------------------------------

void Watcher::CheckEverything() {
    if (!CanCheckNow()) return;
    ++counters_.fullChecks;
    // Every place is read, where it is now: what the notifications were
    // waiting for too.
    foldersMoved_ = false;
    adminPolicyChanged_ = false;
    if (host_.adminPolicyMayHaveChanged) host_.adminPolicyMayHaveChanged();
    if (followFolders_) FollowStartupFolders();
    changedPlaces_ = PlaceSelection::None();
    startPagesChanged_ = false;
    logonValuesChanged_ = false;
    RunCheck(PlaceSelection{}, true, true);
    firstCheck_ = false;
}

void Watcher::CheckChangedPlaces() {
    if (!CanCheckNow()) {
        waitingForIdle_ = true;
        return;
    }
    if (std::exchange(adminPolicyChanged_, false) && host_.adminPolicyMayHaveChanged)
        host_.adminPolicyMayHaveChanged();
    if (std::exchange(foldersMoved_, false) && followFolders_) FollowStartupFolders();
    const PlaceSelection places = std::exchange(changedPlaces_, PlaceSelection::None());
    const bool startPages = std::exchange(startPagesChanged_, false);
    const bool logonValues = std::exchange(logonValuesChanged_, false);
    if (places.Empty() && !startPages && !logonValues) return;
    ++counters_.placeChecks;
    RunCheck(places, startPages, logonValues);
}

void Watcher::ResumeDeferred() {
    if (!waitingForIdle_ || !CanCheckNow()) return;
    waitingForIdle_ = false;
    CheckChangedPlaces();
}

void Watcher::RunCheck(const PlaceSelection& places, bool startPages, bool logonValues) {
    // The logon values' known good is what the first check finds, or what
    // the last run kept, which this check compares with.
    if (knownGood_.empty()) {
        ReadKnownGoodNow();
        logonValues = keeping_;
    }
    if (!guard_.Loaded()) {
        guard_.Reload();  // a reading that is not whole raises
        if (host_.firstReadingTaken) host_.firstReadingTaken();
        return;
    }
    checking_ = true;
    lastBreath_ = ::GetTickCount();
    const double began = MillisecondsNow();
    std::exception_ptr failure;
    try {
        guard_.Check(startupPolicy_, host_.askAboutEntry, host_.allowed, places);
        if (startPages && !stopped_) CheckStartPagesNow();
        if (logonValues && !stopped_) CheckLogonValuesNow();
    } catch (...) {
        failure = std::current_exception();
    }
    checking_ = false;
    counters_.checkingMs += MillisecondsNow() - began;
    LookAgainLater();
    TellWhatWasFound();
    try {
        if (host_.checkEnded) host_.checkEnded();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

void Watcher::LookAgainLater() {
    const std::optional<ItemSettling::Recheck> recheck = guard_.TakeRecheck();
    if (!recheck || !changes_) return;
    // As if the places had signalled, once their writers may be done.
    for (std::size_t at = 0; at < places_.size(); ++at)
        if (places_[at].kind == WatchedPlace::Kind::ItemPlace && places_[at].index < recheck->items.size() &&
            recheck->items[places_[at].index])
            changes_->SignalLater(at, recheck->afterMs);
}

void Watcher::CheckStartPagesNow() {
    for (StartPageChange change : CheckStartPages(startPagePolicy_, defended_, host_.askAboutValue)) {
        change.atStart = firstCheck_;
        leftAsIs_.at(change.index) = change.decision == Decision::Leave && !change.notPutBack;
        if (change.notPutBack) {
            // Told once while it lasts; never on record as put back.
            const auto told = startPageNotPutBack_.find(change.index);
            if (told != startPageNotPutBack_.end() && told->second == change.found) continue;
            startPageNotPutBack_[change.index] = change.found;
            Tell(Finding{.kind = Finding::Kind::StartPageNotPutBack,
                         .item = kStartPageValues[change.index].caption,
                         .found = change.found});
            continue;
        }
        startPageNotPutBack_.erase(change.index);
        Tell(change);
        if (change.decision == Decision::Allow) {
            defended_.at(change.index) = change.found;
            if (keeping_) KeepDefended(defended_);
            if (host_.startPageAccepted) host_.startPageAccepted(change.index, change.found);
        }
    }
}

void Watcher::ReadKnownGoodNow() {
    knownGood_ = ReadKnownGood();
    std::vector<bool> fromRecord(knownGood_.size(), false);
    if (keeping_) knownGood_ = RestoreKnownGood(knownGood_, fromRecord);
    keptGood_ = knownGood_;
    // A machine tampered with before Keepboot came is seen: each value
    // there that is not Windows' own is said once, and guarded as it is.
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size() && i < knownGood_.size(); ++i)
        if (!fromRecord[i] && knownGood_[i] && *knownGood_[i] && !IsWindowsDefault(values[i], *knownGood_[i])) {
            ++counters_.notices;
            Tell(LogonValueChange{i, *knownGood_[i], WindowsDefaultOf(values[i]), Decision::Allow, false,
                                  LogonValueChange::Kind::NotWindowsOwn, {}});
        }
}

bool Watcher::FirstToldOf(std::map<std::size_t, ValueState>& told, const LogonValueChange& change) {
    const auto it = told.find(change.index);
    if (it != told.end() && it->second == change.found) return false;
    told[change.index] = change.found;
    return true;
}

void Watcher::CheckLogonValuesNow() {
    using Kind = LogonValueChange::Kind;
    std::vector<LogonValueChange> changes = CheckLogonValues(startupPolicy_, knownGood_, host_.askAboutValue);
    if (keeping_ && knownGood_ != keptGood_) {
        KeepKnownGood(knownGood_);
        keptGood_ = knownGood_;
    }
    for (LogonValueChange& change : changes) {
        change.atStart = firstCheck_;
        const LogonValue& value = LogonValues().at(change.index);
        const Finding what{.kind = Finding::Kind::LogonValueRefused, .item = value.name,
                           .location = value.Location(), .found = TextOf(change.found)};
        // Each told once while it lasts, not at every check.
        if (change.kind == Kind::Refused) {
            if (FirstToldOf(refusedTold_, change)) Tell(what);
            continue;
        }
        if (change.kind == Kind::MissingProgram && FirstToldOf(missingTold_, change)) {
            Finding missing = what;
            missing.kind = Finding::Kind::LogonValueNamesMissing;
            missing.names = change.missing;
            Tell(missing);
        }
        Tell(change);
    }
}

void Watcher::Breathe() {
    constexpr DWORD kBreathMs = 30;
    const DWORD now = ::GetTickCount();
    if (now - lastBreath_ < kBreathMs) return;
    lastBreath_ = now;
    if (host_.breathe) host_.breathe();
}

// --- what the watch tells ----------------------------------------------------------

// Events carry what came from the registry as it is: whoever shows one
// makes it safe to show.
void Watcher::Tell(const WatchEvent& event) {
    if (std::holds_alternative<Finding>(event)) ++counters_.notices;
    if (host_.tell) host_.tell(event);
}

void Watcher::TellWhatWasFound() {
    using Kind = Finding::Kind;
    const auto about = [](Kind kind, const EntryText& entry) {
        return Finding{.kind = kind, .item = entry.item, .location = entry.location, .found = entry.command};
    };
    // What the guard cannot do for want of rights is no failure: a notice
    // that stops nothing, once.
    for (const EntryText& entry : guard_.TakeNewlyWaitingForAdministrator())
        Tell(about(Kind::NeedsAdministrator, entry));
    for (const ChangedEntry& changed : guard_.TakeNewlyChanged()) {
        Finding finding = about(Kind::ChangedAndDisabled, changed.entry);
        finding.before = changed.previously;
        Tell(finding);
    }
    for (const SkippedValue& value : guard_.TakeNewlySkipped())
        Tell(value.unreadable ? Finding{.kind = Kind::PlaceUnreadable, .location = value.key, .reason = value.why}
                              : Finding{.kind = Kind::NotText, .item = value.name, .location = value.key});
    for (const auto& [entry, why] : guard_.TakeNewlyUnmovable()) {
        Finding finding = about(Kind::CouldNotDisable, entry);
        finding.result = why;
        Tell(finding);
    }
    if (const std::optional<std::wstring> why = TakeOwnFolderRefusal())
        Tell(Finding{.kind = Kind::OwnFolderRefused, .reason = *why});
    std::optional<Finding::Whose> firstStart;
    for (const StartupGuard::RecordNote& note : guard_.TakeNewlyNotedRecords()) {
        const Finding::Whose whose = note.machine ? Finding::Whose::Machine : Finding::Whose::User;
        if (note.state == RecordState::Broken)
            Tell(Finding{.kind = Kind::RecordBroken, .whose = whose});
        else
            firstStart = firstStart && *firstStart != whose ? Finding::Whose::Both : whose;
    }
    if (firstStart) Tell(Finding{.kind = Kind::FirstStart, .whose = *firstStart});
    for (const FinishedMove& move : guard_.TakeNewlyFinishedMoves()) {
        Finding finding = about(move.result != MoveResult::Moved ? Kind::MoveNotMadeWhole
                                : move.finished                ? Kind::MoveFinished
                                                               : Kind::MoveUndone,
                                TextOf(move.entry));
        finding.result = move.result;
        Tell(finding);
    }
}

}  // namespace kb
