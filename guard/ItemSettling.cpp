#include "guard/ItemSettling.h"

#include <algorithm>

#include "platform/TextCompare.h"
#include "store/Items.h"

namespace kb {

namespace {

std::wstring KeyOf(const AsideEntry& entry) {
    return FoldCase(entry.place.Location()) + L"\n" + FoldCase(entry.name);
}

unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool ItemSettling::ReadyItem(const AsideEntry& entry) {
    if (!entry.isKey || !entry.Enabled()) return true;
    const DWORD now = ::GetTickCount();
    // Forget what was waiting long ago: it was moved, or went.
    std::erase_if(unsettledSince_,
                  [&](const auto& waiting) { return now - waiting.second > 2 * kLongestWaitMs; });
    const auto [since, first] = unsettledSince_.try_emplace(KeyOf(entry), now);
    if (now - since->second >= kLongestWaitMs || Quiet(entry)) {
        unsettledSince_.erase(since);
        return true;
    }
    return false;
}

bool ItemSettling::Quiet(const AsideEntry& entry) {
    const std::optional<FILETIME> written =
        LastWrittenBelow(entry.place.root, SpotKeyPath(entry), entry.place.view);
    if (!written) return true;  // gone or unreadable: the move finds out
    FILETIME clock{};
    ::GetSystemTimeAsFileTime(&clock);
    // A write stamped ahead of the clock counts as just now.
    const long long quietFor =
        (static_cast<long long>(Ticks(clock)) - static_cast<long long>(Ticks(*written))) / 10000;
    if (quietFor >= static_cast<long long>(kQuietMs)) return true;
    LookAgain(entry.place, kQuietMs - static_cast<DWORD>(std::max(quietFor, 0LL)));
    return false;
}

void ItemSettling::LookAgain(const ItemPlace& place, DWORD afterMs) {
    const std::optional<PlaceId> id = IdOf(place);
    if (!id) return;
    if (!recheck_) recheck_ = Recheck{PlaceSelection::None(), afterMs};
    recheck_->places.Add(*id);
    recheck_->afterMs = std::min(recheck_->afterMs, afterMs);
}

void ItemSettling::MovedItem(const AsideEntry& entry) {
    if (!entry.isKey || !entry.Enabled()) return;
    recent_.emplace_back(entry, ::GetTickCount());
}

void ItemSettling::JoinLeftovers(const PlaceSelection& placesRead, const LiveEntries& readNow) {
    const std::vector<AsideEntry>& read = readNow.Of<AsideEntry>();
    const DWORD now = ::GetTickCount();
    std::erase_if(recent_, [&](const auto& moved) { return now - moved.second > kJoinWindowMs; });
    for (const auto& [entry, when] : recent_) {
        const std::optional<PlaceId> id = IdOf(entry.place);
        if (!id || !placesRead.Has(*id)) continue;
        // One that starts something is an entry of its own, handled as such.
        if (std::any_of(read.begin(), read.end(), [&](const AsideEntry& e) {
                return e.Enabled() && e.place == entry.place && EqualIgnoringCase(e.name, entry.name);
            }))
            continue;
        if (!RegKey::Exists(entry.place.root, SpotKeyPath(entry), entry.place.view) || !Quiet(entry))
            continue;
        kb::JoinLeftovers(entry);
    }
}

std::optional<ItemSettling::Recheck> ItemSettling::TakeRecheck() {
    return std::exchange(recheck_, std::nullopt);
}

}  // namespace kb
