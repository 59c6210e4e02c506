#pragma once
// The stamp of each place that has one at its last whole reading: the
// interval's check passes over a place unchanged since, so thousands of
// values allowed are not read again every few seconds.
#include <optional>
#include <vector>

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"

namespace kb {

// By place id: none for a place not selected, or one with no stamp.
using PlaceStamps = std::vector<std::optional<PlaceStamp>>;

class KeyStamps {
public:
    // The stamps of the selected places now. Taken before the reading: a
    // change during it makes the next check read.
    static PlaceStamps Take(const PlaceSelection& places);
    // Keeps the stamps of the places read whole.
    void Note(const PlaceSelection& whole, const PlaceStamps& stamps);
    // Whether the place has a stamp, and is as it was at its last whole
    // reading.
    bool Unchanged(PlaceId id, const PlaceStamps& now) const;
    // The place is read at the next check, whatever its stamp.
    void Forget(PlaceId id) { read_.at(id).reset(); }
    void ForgetAll();

private:
    PlaceStamps read_ = PlaceStamps(LivePlaces().size());
};

}  // namespace kb
