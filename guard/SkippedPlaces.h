#pragma once
// What the readings skipped (a value that is not text, a place that could
// not be read), so that each is told once while it stays skipped.
#include <set>
#include <vector>

#include "places/Entries.h"

namespace kb {

class SkippedPlaces {
public:
    enum class Reading { Live, Store };
    // Notes what a reading skipped: what was not seen before, to be told. A
    // whole reading also forgets what is gone; a part only adds.
    std::vector<SkippedValue> Note(Reading reading, const std::vector<SkippedValue>& now, bool whole);
    // What the readings of the live places skip now.
    const std::set<SkippedValue>& Live() const noexcept { return live_; }
    // The live places that could not be read.
    std::vector<SkippedValue> UnreadablePlaces() const;

private:
    std::set<SkippedValue> live_, store_;
};

}  // namespace kb
