// The guard's known set: how the known entries are looked up, and how a
// reading, a record or a move changes them.
#include "guard/KnownEntries.h"

#include <algorithm>
#include <iterator>
#include <variant>

#include "platform/TextCompare.h"
#include "guard/KnownKeeping.h"

namespace kb {

const KnownEntries::KnownIndex& KnownEntries::Index() const {
    // Built once for the many look-ups of a check: a linear search per
    // entry made a check of 15,000 values take seconds.
    if (!index_) {
        index_.emplace();
        ForEachLiveKind([&]<typename Entry>() {
            const std::vector<Entry>& known = ListOf<Entry>(known_.live);
            for (std::size_t i = 0; i < known.size(); ++i)
                ListOf<Entry>(*index_).emplace(IndexKey(known[i], folders_), i);
        });
    }
    return *index_;
}

std::optional<std::wstring> KnownEntries::PreviousCommand(const StartupEntry& entry) const {
    return std::visit(
        [this]<typename Entry>(const Entry& live) -> std::optional<std::wstring> {
            // A stored entry or a logon value is not of the known set.
            if constexpr (IsLiveKind<Entry>()) {
                const Entry* known = KnownAs(live);
                if (known && Starts(*known) && known->command != live.command) return known->command;
            }
            return std::nullopt;
        },
        entry);
}

void KnownEntries::MoveFolders(StartupFolders folders) {
    // What was known in a place that moved is new where the place is now.
    ForEachLiveKind([&]<typename Entry>() {
        std::erase_if(known_.live.Of<Entry>(), [&](const Entry& k) {
            const std::wstring now = PlaceReadOf(k, folders), before = PlaceReadOf(k, folders_);
            return now.empty() || (now != before && !SamePath(now, before));
        });
    });
    Changed();
    folders_ = std::move(folders);
}

namespace {

// Takes the entries that match out of the vector, in their order.
template <typename Entry, typename Matches>
std::vector<Entry> TakeOut(std::vector<Entry>& entries, Matches matches) {
    std::vector<Entry> taken;
    const auto rest = std::stable_partition(entries.begin(), entries.end(),
                                            [&](const Entry& e) { return !matches(e); });
    std::move(rest, entries.end(), std::back_inserter(taken));
    entries.erase(rest, entries.end());
    return taken;
}

template <typename Entry>
bool SameEntries(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Entry& x, const Entry& y) { return KnownStateOf(x) == KnownStateOf(y); });
}

// Whether the known entries of the places read differ from what is there now.
bool Differs(const LiveEntries& before, const LiveEntries& now) {
    bool differs = false;
    ForEachLiveKind([&]<typename Entry>() {
        differs = differs || !SameEntries(ListOf<Entry>(before), ListOf<Entry>(now));
    });
    return differs;
}

}  // namespace

bool KnownEntries::ReplaceIn(LiveEntries& entries, const PlaceSelection& read, LiveEntries now) const {
    // Where the places read are, as the entries say where they were read
    // (a value moved aside is read with its Run-type key).
    std::vector<std::wstring> placesRead;
    const std::vector<LivePlace>& places = LivePlaces();
    for (PlaceId id = 0; id < places.size(); ++id) {
        if (!read.Has(id)) continue;
        std::wstring location = LocationOf(places[id], folders_);
        if (!location.empty()) placesRead.push_back(std::move(location));
    }
    const auto wasRead = [&](const auto& known) {
        const std::wstring where = PlaceReadOf(known, folders_);
        return std::any_of(placesRead.begin(), placesRead.end(),
                           [&](const std::wstring& place) { return EqualIgnoringCase(place, where); });
    };
    LiveEntries before;
    ForEachLiveKind([&]<typename Entry>() { ListOf<Entry>(before) = TakeOut(ListOf<Entry>(entries), wasRead); });
    const bool differs = Differs(before, now);
    ForEachLiveKind([&]<typename Entry>() {
        std::vector<Entry>& taken = ListOf<Entry>(now);
        std::move(taken.begin(), taken.end(), std::back_inserter(ListOf<Entry>(entries)));
    });
    return differs;
}

void KnownEntries::Replace(const PlaceSelection& read, LiveEntries now) {
    index_.reset();
    // What is kept across runs is written again only when it changed.
    if (ReplaceIn(known_.live, read, std::move(now))) unkept_ = true;
}

Inventory KnownEntries::With(const PlaceSelection& read, LiveEntries now) const {
    Inventory with = known_;
    ReplaceIn(with.live, read, std::move(now));
    return with;
}

void KnownEntries::TakeOthers(Inventory& now) {
    known_.stored = std::move(now.stored);
    known_.logonValues = std::move(now.logonValues);
}

void KnownEntries::NoteMoved(const StartupEntry& entry) {
    Changed();
    std::visit([this](const auto& moved) { KnowMoved(moved, folders_, known_.live); }, entry);
}

void KnownEntries::TakeRecord(const RecordLines& lines, bool machine) {
    ForEachKind([&]<typename Kind>() {
        // A kind the record does not cover keeps what its places hold now,
        // and the record is written again to cover it.
        if (!Covers(lines, Kind::kRecordWord)) {
            unkept_ = true;
            return;
        }
        std::erase_if(ListOf<typename Kind::Entry>(known_.live), [&](const typename Kind::Entry& e) {
            return OfTheMachine(e) == machine && Starts(e);
        });
    });
    AddEntriesOf(lines, machine, folders_, known_.live);
    index_.reset();
}

}  // namespace kb
