// Which live places a reading covers, and which of them it read whole.
#include <algorithm>

#include "platform/TextCompare.h"
#include "kinds/PlaceSelection.h"

namespace kb {

PlaceSelection PlaceSelection::None() {
    PlaceSelection none;
    none.selected.assign(none.selected.size(), false);
    return none;
}

bool PlaceSelection::Empty() const {
    return std::none_of(selected.begin(), selected.end(), [](bool b) { return b; });
}

bool PlaceSelection::All() const {
    return std::all_of(selected.begin(), selected.end(), [](bool b) { return b; });
}

PlaceSelection PlaceSelection::ReadWhole(const StartupFolders& folders,
                                         const std::vector<SkippedValue>& skipped) const {
    PlaceSelection whole = *this;
    const std::vector<LivePlace>& places = LivePlaces();
    for (PlaceId id = 0; id < places.size() && id < whole.selected.size(); ++id) {
        if (!whole.selected[id]) continue;
        const std::wstring location = LocationOf(places[id], folders);
        whole.selected[id] = std::none_of(skipped.begin(), skipped.end(), [&](const SkippedValue& v) {
            return v.unreadable && EqualIgnoringCase(v.key, location);
        });
    }
    return whole;
}

}  // namespace kb
