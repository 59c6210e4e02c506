#include "guard/SkippedPlaces.h"

#include <algorithm>
#include <iterator>

namespace kb {

std::vector<SkippedValue> SkippedPlaces::Note(Reading reading, const std::vector<SkippedValue>& now, bool whole) {
    std::set<SkippedValue>& lastSeen = reading == Reading::Live ? live_ : store_;
    std::set<SkippedValue> seen(now.begin(), now.end());
    std::vector<SkippedValue> fresh;
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(fresh),
                 [&](const SkippedValue& value) { return !lastSeen.contains(value); });
    if (whole)
        lastSeen = std::move(seen);
    else
        lastSeen.merge(seen);
    return fresh;
}

std::vector<SkippedValue> SkippedPlaces::UnreadablePlaces() const {
    std::vector<SkippedValue> places;
    std::copy_if(live_.begin(), live_.end(), std::back_inserter(places),
                 [](const SkippedValue& v) { return v.unreadable; });
    return places;
}

}  // namespace kb
