#include "guard/KeyStamps.h"

#include <algorithm>

namespace kb {

PlaceStamps KeyStamps::Take(const PlaceSelection& places) {
    PlaceStamps stamps(LivePlaces().size());
    for (PlaceId id = 0; id < stamps.size(); ++id)
        if (places.Has(id)) stamps[id] = StampOf(LivePlaces()[id]);
    return stamps;
}

void KeyStamps::Note(const PlaceSelection& whole, const PlaceStamps& stamps) {
    for (PlaceId id = 0; id < read_.size(); ++id)
        if (whole.Has(id)) read_[id] = stamps.at(id);
}

bool KeyStamps::Unchanged(PlaceId id, const PlaceStamps& now) const {
    return read_.at(id) && now.at(id) && *read_.at(id) == *now.at(id);
}

void KeyStamps::ForgetAll() {
    std::fill(read_.begin(), read_.end(), std::nullopt);
}

}  // namespace kb
