#pragma once
// The watch: change notifications on every guarded place, a check of what
// changed as soon as it is seen, a check of everything at the interval,
// one check at a time, by the user's policies. It has no window: its owner
// waits on its handles beside the messages, answers its questions and
// shows what it tells.
#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ChangeWatch.h"
#include "policy/Policy.h"
#include "startpage/StartPages.h"
#include "guard/Guard.h"
#include "logon/LogonValues.h"
#include "watch/WatchEvent.h"

namespace kb {

// A place the watch waits on, as data: where it is and what a change there
// asks for.
struct WatchedPlace {
    enum class Kind {
        Entries,          // index: the place's id in LivePlaces()
        StartPages,       // the start-page key of one root
        FolderLocations,  // where the shell keeps the Startup folders' paths
        LogonValues,      // a key holding single values logon reads
        AdminPolicy,      // an administrator's policy key of one root
    };
    Kind kind;
    std::size_t index = 0;
    ChangeWatch::Place where;
};

// Every place to watch: the live places of entries, the start-page keys,
// the keys of the single logon values, the administrator's policy keys
// and, when the folders may move, where they are kept.
std::vector<WatchedPlace> PlacesToWatch(const StartupFolders& folders, bool followFolders);

// What the watch asks and tells its owner, always on the owner's thread
// and during a check.
struct WatchHost {
    std::function<Decision(const StartupEntry& entry)> askAboutEntry;
    // A question about a single value: a start page or a logon value.
    AskAboutValue askAboutValue;
    // An entry the user allowed: known from now on.
    std::function<void(const StartupEntry& entry)> allowed;
    // What the watch decided or found, once, as it is decided or found.
    std::function<void(const WatchEvent& event)> tell;
    // A start page whose new text is defended from now on.
    std::function<void(std::size_t page, const std::wstring& text)> startPageAccepted;
    // Every few tens of milliseconds of a long check: the owner handles its
    // messages. It stops the watch for good when they say to quit.
    std::function<void()> breathe;
    // There was nothing to compare with yet: instead of a check, the watch
    // took its first whole reading, which the owner may show.
    std::function<void()> firstReadingTaken;
    // The administrator's policy keys changed, or the interval's check
    // came: the owner reads them again.
    std::function<void()> adminPolicyMayHaveChanged;
    // A check or the user's move ended: what was put off for it may run now.
    std::function<void()> checkEnded;
};

class Watcher {
public:
    // The counters, for the benchmark and the whole-program tests.
    struct Counters {
        unsigned long wakeUps = 0, fullChecks = 0, placeChecks = 0, notices = 0;
        double checkingMs = 0;  // time spent in checks, the questions' waits included
    };

    // followFolders: the Startup folders are where the shell says, and are
    // followed when they move (the guard's were not given by the caller).
    Watcher(StartupGuard& guard, bool followFolders, WatchHost host);
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    // The guard may outlive its watch: it tells no one gone.
    ~Watcher() {
        guard_.SetSink(nullptr);
        guard_.SetPause(nullptr);
    }

    // What the user chose; read at each check.
    void SetPolicies(Policy startup, Policy startPages) noexcept;
    // The logon values' known good and the start pages' defended texts are
    // kept across runs (see RestoreKnownGood, RestoreDefended) from now on.
    void SetKeeping(bool keeping) noexcept { keeping_ = keeping; }
    // The defended texts the last run kept; none when nothing was kept.
    // Defended from now on.
    std::optional<StartPageReferences> RestoreDefended();
    // The text defended for a start page; none while it is not defended.
    void Defend(std::size_t page, std::optional<std::wstring> text);
    const std::optional<std::wstring>& Defended(std::size_t page) const { return defended_.at(page); }
    // Whether the last question about the start page was answered Cancel.
    bool LeftAsIs(std::size_t page) const { return leftAsIs_.at(page); }

    // Waits on the places from now on; checks may run once the owner is ready.
    void WatchChanges();
    void SetReady() noexcept { ready_ = true; }
    // For good: no check starts or goes on, nothing is watched.
    void Stop() noexcept;
    bool Stopped() const noexcept { return stopped_; }
    bool Checking() const noexcept { return checking_; }

    // While the user's move runs (and waits for an elevated instance) no
    // check starts: it would find what the user just moved new. Checks
    // asked for meanwhile run after it.
    class Hold {
    public:
        explicit Hold(Watcher& watcher) noexcept : watcher_(&watcher) { ++watcher.holds_; }
        Hold(Hold&& other) noexcept : watcher_(std::exchange(other.watcher_, nullptr)) {}
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold() {
            if (watcher_ && --watcher_->holds_ == 0) watcher_->heldWorkEnded_ = true;
        }

    private:
        Watcher* watcher_;
    };
    [[nodiscard]] Hold HoldChecks() noexcept { return Hold(*this); }
    // A check runs, or the user's move: what would change what a check
    // compares with waits for its end.
    bool Busy() const noexcept { return checking_ || holds_ > 0; }

    // The handles to wait on beside the messages; none while nothing is watched.
    const std::vector<HANDLE>& Handles() const noexcept;
    // The handle was signalled: every place that changed by now is watched
    // again and checked at once, or right after the check under way.
    void OnSignalled();
    // The interval's check of every place, where the places are now; run
    // after the check or move under way, if there is one.
    void CheckEverything();
    // The same once the messages waiting now are handled: a request from
    // inside a check or a step of one never nests another.
    void CheckEverythingSoon() noexcept { fullCheckWanted_ = true; }
    // After each round of messages: what was put off for a check or a move
    // (the owner's work, then a check) runs now.
    void ResumeDeferred();

    void NoteWakeUp() noexcept { ++counters_.wakeUps; }
    const Counters& Count() const noexcept { return counters_; }
    // Tells, once, that Keepboot's own folder was refused to the store's
    // moves since it last told. (The guard tells its own as it finds it.)
    void TellOwnFolderRefusal();

private:
    bool CanCheckNow() const noexcept;
    void CheckChangedPlaces();
    void RunCheck(const PlaceSelection& places, bool startPages, bool logonValues);
    void CheckLogonValuesNow();
    void CheckStartPagesNow();
    // Takes the logon values' known good, and says which are not Windows' own.
    void ReadKnownGoodNow();
    // Whether the change is not the one last told of its value.
    static bool FirstToldOf(std::map<std::size_t, ValueState>& told, const LogonValueChange& change);
    // The places with an entry that waits for its writer are checked again.
    void LookAgainLater();
    void Breathe();
    void FollowStartupFolders();
    void Tell(const WatchEvent& event);
    // One event of the guard's, as the watch tells it.
    void TellOf(const GuardEvent& event);

    StartupGuard& guard_;
    const bool followFolders_;
    WatchHost host_;
    Policy startupPolicy_ = Policy::DisableSilently, startPagePolicy_ = Policy::DisableSilently;
    StartPageReferences defended_;
    KnownGood knownGood_;
    KnownGood keptGood_;  // as last kept
    bool keeping_ = false;
    bool firstCheck_ = true;  // the next full check is the first: what it finds came meanwhile
    // What was last told of each logon value this process may not put back,
    // and of each whose known good names a program no longer there.
    std::map<std::size_t, ValueState> refusedTold_, missingTold_, notPutBackTold_;
    // What was last told of each start page that could not be put back.
    std::map<std::size_t, std::wstring> startPageNotPutBack_;
    // The start pages the last question about was answered Cancel: a
    // Refrush put off till the answer keeps defending them.
    std::array<bool, kStartPageCount> leftAsIs_{};
    std::vector<WatchedPlace> places_;
    std::unique_ptr<ChangeWatch> changes_;
    PlaceSelection changedPlaces_ = PlaceSelection::None();
    bool startPagesChanged_ = false;
    bool logonValuesChanged_ = false;
    bool foldersMoved_ = false;    // where the Startup folders are may have changed
    bool adminPolicyChanged_ = false;  // an administrator's policy key changed
    bool waitingForIdle_ = false;  // a check of changed places was put off
    bool fullCheckWanted_ = false;  // and one of every place
    int holds_ = 0;                 // the user's moves under way
    bool heldWorkEnded_ = false;    // the last of them ended
    bool ready_ = false;
    bool checking_ = false;
    bool stopped_ = false;
    DWORD lastBreath_ = 0;
    Counters counters_;
};

}  // namespace kb
