#pragma once
// Which live places a reading covers, by their ids in LivePlaces(): all of
// them unless told. A Run-type key covers the values moved aside below it.
#include <vector>

#include "kinds/Kinds.h"

namespace kb {

struct PlaceSelection {
    std::vector<bool> selected = std::vector<bool>(LivePlaces().size(), true);

    static PlaceSelection None();
    bool Has(PlaceId id) const { return id < selected.size() && selected[id]; }
    void Add(PlaceId id) { selected.at(id) = true; }
    void Drop(PlaceId id) { selected.at(id) = false; }
    bool Empty() const;
    bool All() const;
    // These places less those the skipped list says could not be read.
    PlaceSelection ReadWhole(const StartupFolders& folders,
                             const std::vector<SkippedValue>& skipped) const;
    // Calls what(id, place) for each selected place of the kind.
    template <typename Place, typename What>
    void ForEach(const What& what) const {
        const std::vector<LivePlace>& places = LivePlaces();
        for (PlaceId id = 0; id < places.size(); ++id)
            if (const Place* place = std::get_if<Place>(&places[id]); place && Has(id)) what(id, *place);
    }
};

}  // namespace kb
