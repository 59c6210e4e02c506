#pragma once
// What the guard knows: the last reading of each place that was read
// whole, plus the entries the user allowed or moved since, looked up by
// place and name. It also holds what the list shows where that is not
// what is known.
#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "guard/EntryKinds.h"
#include "places/Records.h"
#include "reading/Inventory.h"

namespace kb {

class KnownEntries {
public:
    explicit KnownEntries(StartupFolders folders) : folders_(std::move(folders)) {}

    const StartupFolders& Folders() const noexcept { return folders_; }
    const Inventory& All() const noexcept { return known_; }
    // The Startup folders moved: what was known of a folder that moved is
    // forgotten, so the shortcuts of its new place are new.
    void MoveFolders(StartupFolders folders);

    // What the list shows: a reading of its own until the next check of
    // every place, else what is known.
    const Inventory& Listed() const noexcept { return listed_ ? *listed_ : known_; }
    void ListAs(Inventory listed) { listed_ = std::move(listed); }
    // What is known now stays what the list shows, while what is known
    // becomes the last run's record.
    void ListAsNow() {
        if (!listed_) listed_ = known_;
    }
    void ListKnown() noexcept { listed_.reset(); }

    // The known entries of the entry's place and name, oldest first.
    template <typename Entry>
    std::vector<const Entry*> Namesakes(const Entry& entry) const;
    template <typename Entry>
    const Entry* KnownAs(const Entry& entry) const {
        const std::vector<const Entry*> namesakes = Namesakes(entry);
        return namesakes.empty() ? nullptr : namesakes.back();
    }
    // Known: the same entry starting the same thing; or it starts nothing
    // now. What starts nothing is known as such, and is new once it starts.
    template <typename Entry>
    bool Knows(const Entry& entry) const {
        if (!Starts(entry)) return true;
        for (const Entry* k : Namesakes(entry))
            if (Starts(*k) && k->command == entry.command) return true;
        return false;
    }
    // What a known entry of the same place and name started, when the entry
    // now starts something else.
    std::optional<std::wstring> PreviousCommand(const StartupEntry& entry) const;

    // What the places read whole hold now replaces what was known of them.
    void Replace(const PlaceSelection& read, LiveEntries now);
    // What is known, with what the places read whole hold now in place of
    // what was known of them.
    Inventory With(const PlaceSelection& read, LiveEntries now) const;
    // The store and the logon values as they are.
    void TakeOthers(Inventory& now);
    // Makes what the user moved known at once.
    void NoteMoved(const StartupEntry& entry);
    // Makes a live entry the user allowed known at once.
    template <typename Entry>
    void NoteAllowed(const Entry& entry) {
        ListOf<Entry>(known_.live).push_back(entry);
        Changed();
    }
    // The entries a record holds of the machine's places (or the user's)
    // are what is known of them.
    void TakeRecord(const RecordLines& lines, bool machine);

    // Whether what is known changed since it was last kept.
    bool Unkept() const noexcept { return unkept_; }
    void MarkUnkept(bool unkept) noexcept { unkept_ = unkept; }

private:
    // The known entries' positions by place and folded name (IndexKey), by kind.
    template <typename Entry>
    using PositionsByName = std::unordered_multimap<std::wstring, std::size_t>;
    using KnownIndex = LiveLists<PositionsByName>;
    const KnownIndex& Index() const;
    void Changed() noexcept {
        index_.reset();
        unkept_ = true;
    }
    // The same for any entries; whether those of the places read differ.
    bool ReplaceIn(LiveEntries& entries, const PlaceSelection& read, LiveEntries now) const;

    StartupFolders folders_;
    Inventory known_;
    mutable std::optional<KnownIndex> index_;  // of known_.live; rebuilt after a change
    std::optional<Inventory> listed_;
    bool unkept_ = false;
};

template <typename Entry>
std::vector<const Entry*> KnownEntries::Namesakes(const Entry& entry) const {
    const std::vector<Entry>& known = ListOf<Entry>(known_.live);
    const auto& byName = ListOf<Entry>(Index());
    // In the order they were added: the last one has the latest word.
    std::vector<std::size_t> found;
    const auto [first, last] = byName.equal_range(IndexKey(entry, folders_));
    for (auto it = first; it != last; ++it)
        if (SameEntry(known[it->second], entry, folders_)) found.push_back(it->second);
    std::sort(found.begin(), found.end());
    std::vector<const Entry*> namesakes;
    for (std::size_t i : found) namesakes.push_back(&known[i]);
    return namesakes;
}

}  // namespace kb
