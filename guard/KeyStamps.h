#pragma once
// The stamp of each Run-type key at its last whole reading: the interval's
// check passes over a key unchanged since, so thousands of values allowed
// are not read again every few seconds.
#include <optional>
#include <vector>

#include "kinds/Kinds.h"
#include "reading/Inventory.h"

namespace kb {

class KeyStamps {
public:
    // The stamps of the selected Run-type keys now, by their ids. Taken
    // before the reading: a change during it makes the next check read.
    static std::vector<PlaceStamp> Take(const PlaceSelection& places);
    // Keeps the stamps of the keys read whole.
    void Note(const PlaceSelection& whole, const std::vector<PlaceStamp>& stamps);
    // Whether the key is as it was at its last whole reading.
    bool Unchanged(PlaceId id, const PlaceStamp& now) const;
    // The key is read at the next check, whatever its stamp.
    void Forget(PlaceId id) { read_.at(id).reset(); }
    void ForgetAll();

private:
    std::vector<std::optional<PlaceStamp>> read_ = std::vector<std::optional<PlaceStamp>>(LivePlaces().size());
};

}  // namespace kb
