#include "guard/KeyStamps.h"

#include <algorithm>

namespace kb {

std::vector<PlaceStamp> KeyStamps::Take(const PlaceSelection& places) {
    std::vector<PlaceStamp> stamps(LivePlaces().size());
    places.ForEach<RunKeyPlace>([&](PlaceId id, const RunKeyPlace& key) { stamps[id] = StampOf(key); });
    return stamps;
}

void KeyStamps::Note(const PlaceSelection& whole, const std::vector<PlaceStamp>& stamps) {
    whole.ForEach<RunKeyPlace>([&](PlaceId id, const RunKeyPlace&) { read_.at(id) = stamps.at(id); });
}

bool KeyStamps::Unchanged(PlaceId id, const PlaceStamp& now) const {
    return read_.at(id) && *read_.at(id) == now;
}

void KeyStamps::ForgetAll() {
    std::fill(read_.begin(), read_.end(), std::nullopt);
}

}  // namespace kb
