// Which live places a reading covers, and which of them it read whole.
#include <algorithm>

#include "platform/TextCompare.h"
#include "reading/Inventory.h"

namespace kb {

PlaceSelection PlaceSelection::None() {
    PlaceSelection none;
    none.runKeys.assign(none.runKeys.size(), false);
    none.items.assign(none.items.size(), false);
    none.commonStartup = none.userStartup = false;
    return none;
}

namespace {

bool AnyOf(const std::vector<bool>& bits) {
    return std::any_of(bits.begin(), bits.end(), [](bool b) { return b; });
}
bool AllOf(const std::vector<bool>& bits) {
    return std::all_of(bits.begin(), bits.end(), [](bool b) { return b; });
}

}  // namespace

bool PlaceSelection::Empty() const {
    return !commonStartup && !userStartup && !AnyOf(runKeys) && !AnyOf(items);
}

bool PlaceSelection::All() const {
    return commonStartup && userStartup && AllOf(runKeys) && AllOf(items);
}

PlaceSelection PlaceSelection::ReadWhole(const StartupFolders& folders,
                                         const std::vector<SkippedValue>& skipped) const {
    const auto unread = [&](const std::wstring& place) {
        return std::any_of(skipped.begin(), skipped.end(), [&](const SkippedValue& v) {
            return v.unreadable && EqualIgnoringCase(v.key, place);
        });
    };
    PlaceSelection whole = *this;
    const std::vector<RunKeyPlace>& places = RunKeyPlaces();
    for (std::size_t i = 0; i < whole.runKeys.size() && i < places.size(); ++i)
        whole.runKeys[i] = whole.runKeys[i] && !unread(places[i].Location());
    const std::vector<ItemPlace>& itemPlaces = ItemPlaces();
    for (std::size_t i = 0; i < whole.items.size() && i < itemPlaces.size(); ++i)
        whole.items[i] = whole.items[i] && !unread(itemPlaces[i].Location());
    whole.commonStartup = commonStartup && !unread(folders.commonStartup);
    whole.userStartup = userStartup && !unread(folders.userStartup);
    return whole;
}

}  // namespace kb
