#include "guard/Guard.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "platform/ScopeExit.h"
#include "platform/TextCompare.h"
#include "guard/DisabledLedger.h"
#include "reading/Inventory.h"
#include "store/Items.h"
#include "store/Store.h"

namespace kb {

namespace {

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && !e.aside;  // any file, even one the shell cannot read
}

bool Starts(const AsideEntry& e) {
    return e.Enabled() && !e.command.empty();
}

// What an entry starts: a value's command; a file's, as the list shows it.
std::wstring StartsWhat(const RunValueEntry& e) {
    return e.command;
}

std::wstring StartsWhat(const ShortcutEntry& e) {
    return e.command;
}

std::wstring StartsWhat(const AsideEntry& e) {
    return e.command;
}

// What an entry is now: a change to any part makes it another.
std::wstring IdentityOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + L"\n" +
           std::to_wstring(e.type);
}

std::wstring IdentityOf(const AsideEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + (e.isKey ? L"key" : L"value") + L"\n" +
           e.command;
}

std::wstring IdentityOf(const ShortcutEntry& e) {
    std::wstring identity = e.path + L"\n" + e.command;
    if (e.link) {
        for (const std::wstring* text : {&e.link->Target, &e.link->Arguments,
                                         &e.link->WorkingDirectory, &e.link->Description})
            identity += L"\n" + *text;
    }
    return identity;
}

// What a check's move makes of a new entry, for the record.
CheckOutcome::Action OutcomeOf(MoveResult result) {
    switch (result) {
    case MoveResult::Moved: return CheckOutcome::Disabled;
    case MoveResult::NeedsAdministrator: return CheckOutcome::WaitsForAdministrator;
    default: return CheckOutcome::NotMoved;
    }
}

}  // namespace

template <typename Entry>
std::vector<const Entry*> StartupGuard::Namesakes(const Entry& entry) const {
    const KnownIndex& index = Index();
    const std::vector<Entry>& known = KnownOfKind<Entry>();
    const auto& byName = std::is_same_v<Entry, RunValueEntry>   ? index.values
                         : std::is_same_v<Entry, ShortcutEntry> ? index.shortcuts
                                                                : index.items;
    // In the order they were added: the last one has the latest word.
    std::vector<std::size_t> found;
    const auto [first, last] = byName.equal_range(IndexKey(entry));
    for (auto it = first; it != last; ++it)
        if (SameEntry(known[it->second], entry)) found.push_back(it->second);
    std::sort(found.begin(), found.end());
    std::vector<const Entry*> namesakes;
    for (std::size_t i : found) namesakes.push_back(&known[i]);
    return namesakes;
}

template <typename Entry>
const Entry* StartupGuard::KnownAs(const Entry& entry) const {
    const std::vector<const Entry*> namesakes = Namesakes(entry);
    return namesakes.empty() ? nullptr : namesakes.back();
}

template <typename Entry>
bool StartupGuard::Knows(const Entry& entry) const {
    // Known: the same entry starting the same thing; or it starts nothing now.
    // What starts nothing is known as such, and is new once it starts.
    if (!Starts(entry)) return true;
    const std::wstring what = StartsWhat(entry);
    for (const Entry* k : Namesakes(entry))
        if (Starts(*k) && StartsWhat(*k) == what) return true;
    return false;
}

template <>
const std::vector<RunValueEntry>& StartupGuard::KnownOfKind<RunValueEntry>() const {
    return known_.live.values;
}

template <>
const std::vector<ShortcutEntry>& StartupGuard::KnownOfKind<ShortcutEntry>() const {
    return known_.live.shortcuts;
}

template <>
const std::vector<AsideEntry>& StartupGuard::KnownOfKind<AsideEntry>() const {
    return known_.live.items;
}

void StartupGuard::Reload() {
    if (shutDown_) return;
    ReadEverything();
    // What the user has before them on the list is known from now on.
    knownChanged_ = true;
    Keep();
}

void StartupGuard::ReadEverything() {
    // What a move cut short by the end of an earlier process left is made
    // whole before anything is read: one copy, never two.
    if (!loaded_)
        for (const auto& [root, view] : {std::pair{HKEY_LOCAL_MACHINE, MachineView()},
                                         std::pair{HKEY_CURRENT_USER, REGSAM{0}}})
            for (FinishedMove& move : FinishInterruptedMoves(root, view))
                unreportedFinished_.push_back(std::move(move));
    std::vector<SkippedValue> liveSkipped, storeSkipped;
    const std::vector<PlaceStamp> stamps = Stamps(PlaceSelection{});
    // Read in one go: the list's reading is the user's own wait.
    LiveEntries live = ReadLiveEntries(folders_, liveSkipped, {}, &shortcuts_);
    StoredEntries stored = ReadStoredEntries(storeSkipped);
    // A place that could not be read keeps its last reading.
    const PlaceSelection whole = PlaceSelection{}.ReadWhole(folders_, liveSkipped);
    Replace(whole, std::move(live));
    NoteStamps(whole, stamps);
    known_.stored = std::move(stored);
    known_.logonValues = ReadLogonValueEntries();
    loaded_ = true;
    NoteSkipped(liveSkipped_, liveSkipped, true);
    NoteSkipped(storeSkipped_, storeSkipped, true);
}

void StartupGuard::Check(Policy policy, const Ask& ask, const Allowed& allowed,
                         const PlaceSelection& places) {
    if (checking_ || shutDown_ || policy == Policy::Allow) return;
    checking_ = true;
    ScopeExit done([this] { checking_ = false; });
    if (!loaded_) return Reload();

    // The interval's check passes over a key unchanged since its last whole
    // reading: with thousands of values allowed, reading them all every few
    // seconds would keep a core busy.
    const bool everyPlace = places.All();
    const std::vector<PlaceStamp> stamps = Stamps(places);
    PlaceSelection toRead = places;
    const std::vector<RunKeyPlace>& runKeys = RunKeyPlaces();
    std::vector<SkippedValue> skipped;
    std::set<std::wstring> unmovable;
    for (std::size_t i = 0; everyPlace && i < runKeys.size(); ++i) {
        if (!stampsRead_[i] || !(*stampsRead_[i] == stamps[i])) continue;
        toRead.runKeys[i] = false;
        // What was noted of it stays noted.
        const std::wstring location = runKeys[i].Location();
        for (const SkippedValue& v : liveSkipped_)
            if (v.key == location) skipped.push_back(v);
        for (const std::wstring& identity : unmovable_)
            if (identity.starts_with(location + L"\n")) unmovable.insert(identity);
    }
    LiveEntries scan;
    try {
        scan = ReadLiveEntries(folders_, skipped, toRead, &shortcuts_, [this] { return Breathe(); });
    } catch (const ReadingStopped&) {
        return;
    }
    // A check of some places only adds to what was seen; what went away is
    // known after a check of them all.
    NoteSkipped(liveSkipped_, skipped, everyPlace);

    // An entry is known by its place, its name and what it starts: a known
    // name elsewhere, or a known entry that now starts something else, is
    // new. An entry that could not be disabled is not asked about again
    // until it changes.
    const auto handle = [&](const auto& entry, const auto& disable, auto& stillKnown) {
        const std::wstring identity = IdentityOf(entry);
        if (unmovable_.contains(identity)) {
            unmovable.insert(identity);
            return;
        }
        const bool asked = policy != Policy::DisableSilently;
        const Decision decision = asked ? ask(entry) : Decision::Disable;
        if (shutDown_) return;
        if (decision == Decision::Leave) Record(CheckOutcome::Left, entry, asked);
        if (decision == Decision::Disable) {
            MoveResult result = disable(entry);
            // The user who answered may lend the rights; nobody is asked for
            // them behind the user's back.
            if (result == MoveResult::NeedsAdministrator && policy == Policy::Ask && elevate_)
                result = elevate_(entry);
            if (shutDown_) return;
            // One that changed meanwhile (or is still being written) is
            // not on record: the next check sees it as it is then.
            if (result != MoveResult::Changed) Record(OutcomeOf(result), entry, asked);
            if (result == MoveResult::NeedsAdministrator) {
                unmovable.insert(identity);
                unreportedWaiting_.push_back(TextOf(entry));
            } else if (result == MoveResult::Moved) {
                NoteDisabledHere(TextOf(entry));
                if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, AsideEntry>)
                    settling_.Moved(entry);
                if (const auto before = PreviousCommand(entry))
                    unreportedChanged_.push_back({TextOf(entry), *before});
            } else if (result != MoveResult::Changed) {
                unmovable.insert(identity);
                unreportedUnmovable_.push_back({TextOf(entry), result});
            }
        }
        if (decision == Decision::Allow) {
            Record(CheckOutcome::Allowed, entry, asked);
            stillKnown.push_back(entry);
            // Known at once, and kept even if the check ends here (Quit
            // while it runs): the user's answer outlives the process.
            NoteAllowed(entry);
            allowed(entry);
        }
    };
    // An entry of several values waits until its writer is done.
    const auto ready = [this](const auto& entry) {
        if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, AsideEntry>)
            return settling_.Ready(entry);
        return true;
    };
    // Each entry read of one kind: kept when known, else handled. False
    // once the guard is shut down meanwhile.
    const auto sweep = [&](const auto& scanned, const auto& disable, auto& kept) {
        for (const auto& entry : scanned) {
            if (Knows(entry))
                kept.push_back(entry);
            else if (ready(entry))
                handle(entry, disable, kept);
            // Else it waits for its writer, new still at the next check.
            if (!Breathe()) return false;
        }
        return true;
    };
    // What the places read now hold replaces what was known of them, so an
    // entry that went (a RunOnce value Windows ran) is new when it comes
    // back. A place that could not be read keeps what was known of it.
    LiveEntries now;
    const auto disableShortcut = [this](const ShortcutEntry& e) { return DisableShortcut(e, folders_); };
    if (!sweep(scan.values, DisableRunValue, now.values) ||
        !sweep(scan.shortcuts, disableShortcut, now.shortcuts) ||
        !sweep(scan.items, MoveItem, now.items)) {
        Keep();  // what was answered before the end
        return;
    }
    settling_.JoinLeftovers(toRead.items, scan.items);
    const PlaceSelection whole = toRead.ReadWhole(folders_, skipped);
    // A key holding an entry left as it is (Cancel) is read again at the
    // next check, which asks again.
    PlaceSelection settled = whole;
    for (std::size_t i = 0; i < runKeys.size() && i < whole.runKeys.size(); ++i) {
        const auto of = [&](const RunValueEntry& e) {
            return EqualIgnoringCase(e.place.Location(), runKeys[i].Location());
        };
        if (whole.runKeys[i] && std::count_if(scan.values.begin(), scan.values.end(), of) !=
                                    std::count_if(now.values.begin(), now.values.end(), of)) {
            settled.runKeys[i] = false;
            stampsRead_[i].reset();
        }
    }
    NoteStamps(settled, stamps);
    Replace(whole, std::move(now));
    if (everyPlace)
        unmovable_ = std::move(unmovable);
    else
        unmovable_.merge(unmovable);
    if (everyPlace) atStart_ = false;
    Keep();
}

std::vector<PlaceStamp> StartupGuard::Stamps(const PlaceSelection& places) const {
    // Taken before the reading: a change during it makes the next check read.
    const std::vector<RunKeyPlace>& runKeys = RunKeyPlaces();
    std::vector<PlaceStamp> stamps(runKeys.size());
    for (std::size_t i = 0; i < runKeys.size() && i < places.runKeys.size(); ++i)
        if (places.runKeys[i]) stamps[i] = StampOf(runKeys[i]);
    return stamps;
}

void StartupGuard::NoteStamps(const PlaceSelection& whole, const std::vector<PlaceStamp>& stamps) {
    stampsRead_.resize(stamps.size());
    for (std::size_t i = 0; i < stamps.size() && i < whole.runKeys.size(); ++i)
        if (whole.runKeys[i]) stampsRead_[i] = stamps[i];
}

bool StartupGuard::Breathe() {
    if (pause_ && !shutDown_) pause_();
    return !shutDown_;
}

std::vector<SkippedValue> StartupGuard::UnreadablePlaces() const {
    std::vector<SkippedValue> places;
    std::copy_if(liveSkipped_.begin(), liveSkipped_.end(), std::back_inserter(places),
                 [](const SkippedValue& v) { return v.unreadable; });
    return places;
}

std::optional<std::wstring> StartupGuard::PreviousCommand(const StartupEntry& entry) const {
    if (const auto* value = std::get_if<RunValueEntry>(&entry)) {
        const RunValueEntry* known = KnownAs(*value);
        if (known && Starts(*known) && known->command != value->command) return known->command;
    } else if (const auto* shortcut = std::get_if<ShortcutEntry>(&entry)) {
        const ShortcutEntry* known = KnownAs(*shortcut);
        if (known && Starts(*known) && known->command != shortcut->command) return known->command;
    } else if (const auto* item = std::get_if<AsideEntry>(&entry)) {
        const AsideEntry* known = KnownAs(*item);
        if (known && Starts(*known) && known->command != item->command) return known->command;
    }
    return std::nullopt;
}

std::vector<ChangedEntry> StartupGuard::TakeNewlyChanged() {
    return std::exchange(unreportedChanged_, {});
}

MoveResult StartupGuard::Move(const StartupEntry& entry) {
    const MoveResult result = MoveEntry(entry, folders_);
    if (result != MoveResult::Moved) return result;
    // What the History page may bring back is what this program disabled.
    const EntryText text = TextOf(entry);
    if (text.enabled)
        NoteDisabledHere(text);
    else
        NoteEnabledHere(text);
    NoteMoved(entry);
    Keep();
    return result;
}

void StartupGuard::Record(CheckOutcome::Action action, const StartupEntry& entry, bool asked) {
    if (!recorder_) return;
    CheckOutcome outcome{action, TextOf(entry), asked, PreviousCommand(entry).value_or(L""), atStart_};
    recorder_(outcome);
}

void StartupGuard::NoteSkipped(std::set<SkippedValue>& lastSeen,
                               const std::vector<SkippedValue>& now, bool whole) {
    std::set<SkippedValue> seen(now.begin(), now.end());
    for (const SkippedValue& value : seen)
        if (!lastSeen.contains(value)) unreported_.push_back(value);
    if (whole)
        lastSeen = std::move(seen);
    else
        lastSeen.merge(seen);
}

std::vector<SkippedValue> StartupGuard::TakeNewlySkipped() {
    return std::exchange(unreported_, {});
}

std::vector<std::pair<EntryText, MoveResult>> StartupGuard::TakeNewlyUnmovable() {
    return std::exchange(unreportedUnmovable_, {});
}

std::vector<FinishedMove> StartupGuard::TakeNewlyFinishedMoves() {
    return std::exchange(unreportedFinished_, {});
}

std::vector<EntryText> StartupGuard::TakeNewlyWaitingForAdministrator() {
    return std::exchange(unreportedWaiting_, {});
}

}  // namespace kb
