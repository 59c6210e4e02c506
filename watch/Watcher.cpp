#include "watch/Watcher.h"

#include <exception>
#include <utility>

#include "platform/Clock.h"

namespace kb {

Watcher::Watcher(StartupGuard& guard, bool followFolders, WatchHost host)
    : guard_(guard), followFolders_(followFolders), host_(std::move(host)) {
    guard_.SetPause([this] { Breathe(); });
    guard_.SetSink([this](const GuardEvent& event) { TellOf(event); });
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
    return ready_ && !stopped_ && !checking_ && holds_ == 0;
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
        case WatchedPlace::Kind::Entries:
            changedPlaces_.Add(place.index);
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
    // A folder the shell cannot find stays unfound: no move until it is.
    const auto moved = [](const std::wstring& a, const std::wstring& b) {
        return a.empty() != b.empty() || (!a.empty() && !SamePath(a, b));
    };
    const bool common = moved(now.commonStartup, before.commonStartup);
    const bool user = moved(now.userStartup, before.userStartup);
    if (!common && !user) return;
    // Every place that lies elsewhere now is read as a new place.
    const std::vector<LivePlace>& live = LivePlaces();
    for (PlaceId id = 0; id < live.size(); ++id)
        if (const std::wstring there = LocationOf(live[id], now), was = LocationOf(live[id], before);
            there != was && moved(there, was))
            changedPlaces_.Add(id);
    guard_.MoveFolders(now);
    // Watched where they are now.
    if (changes_) {
        changes_.reset();
        WatchChanges();
    }
    for (const bool machine : {true, false}) {
        if (!(machine ? common : user)) continue;
        const std::wstring& folder = machine ? now.commonStartup : now.userStartup;
        // Named where it is, or where Windows' setting says when the shell
        // cannot reach it: once per move.
        Tell(Finding{.kind = folder.empty() ? Finding::Kind::StartupFolderUnreachable
                                            : Finding::Kind::StartupFolderMoved,
                     .location = folder.empty() ? StartupFolderSetting(machine) : folder,
                     .whose = machine ? Finding::Whose::Machine : Finding::Whose::User});
    }
}

// --- checks -----------------------------------------------------------------------

void Watcher::CheckEverything() {
    if (!CanCheckNow()) {
        fullCheckWanted_ = true;
        return;
    }
    fullCheckWanted_ = false;
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
    if (stopped_) return;
    if (holds_ == 0 && !checking_ && std::exchange(heldWorkEnded_, false) && host_.checkEnded) host_.checkEnded();
    if (!CanCheckNow()) return;
    // Every place is read: the changed ones with the rest.
    if (fullCheckWanted_) {
        waitingForIdle_ = false;
        CheckEverything();
        return;
    }
    if (!std::exchange(waitingForIdle_, false)) return;
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
    TellOwnFolderRefusal();
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
        if (places_[at].kind == WatchedPlace::Kind::Entries && recheck->places.Has(places_[at].index))
            changes_->SignalLater(at, recheck->afterMs);
}

void Watcher::Breathe() {
    constexpr DWORD kBreathMs = 30;
    const DWORD now = ::GetTickCount();
    if (now - lastBreath_ < kBreathMs) return;
    lastBreath_ = now;
    if (host_.breathe) host_.breathe();
}

}  // namespace kb
