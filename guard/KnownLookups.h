#pragma once
// How the guard looks up what it knows of an entry's place and name: for
// every kind of live entry, by the check (Guard.cpp) and the known set
// (KnownSet.cpp), so each makes the kinds it looks up.
#include <algorithm>
#include <vector>

#include "guard/EntryKinds.h"
#include "guard/Guard.h"

namespace kb {

template <typename Entry>
std::vector<const Entry*> StartupGuard::Namesakes(const Entry& entry) const {
    const KnownIndex& index = Index();
    const std::vector<Entry>& known = ListOf<Entry>(known_.live);
    const auto& byName = ListOf<Entry>(index);
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
    const std::wstring what = entry.command;
    for (const Entry* k : Namesakes(entry))
        if (Starts(*k) && k->command == what) return true;
    return false;
}

}  // namespace kb
