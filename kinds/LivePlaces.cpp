// The one list of live places, made from every kind's.
#include <algorithm>

#include "kinds/Kinds.h"
#include "platform/CurrentUser.h"

namespace kb {

std::vector<LivePlace> LivePlacesFor(bool windows64) {
    std::vector<LivePlace> places;
    ForEachKind([&]<typename Kind>() {
        for (typename Kind::Place& place : Kind::Places(windows64)) places.emplace_back(std::move(place));
    });
    return places;
}

const std::vector<LivePlace>& LivePlaces() {
    static const std::vector<LivePlace> places = LivePlacesFor(Is64BitWindows());
    return places;
}

std::optional<PlaceId> IdOf(const LivePlace& place) {
    const std::vector<LivePlace>& places = LivePlaces();
    const auto at = std::find(places.begin(), places.end(), place);
    if (at == places.end()) return std::nullopt;
    return static_cast<PlaceId>(at - places.begin());
}

std::wstring LocationOf(const LivePlace& place, const StartupFolders& folders) {
    return std::visit([&]<typename Place>(const Place& p) { return KindOf<Place>::LocationOf(p, folders); }, place);
}

ChangeWatch::Place WatchOf(const LivePlace& place, const StartupFolders& folders) {
    return std::visit([&]<typename Place>(const Place& p) { return KindOf<Place>::WatchOf(p, folders); }, place);
}

std::optional<PlaceStamp> StampOf(const LivePlace& place) {
    return std::visit([]<typename Place>(const Place& p) { return KindOf<Place>::StampOf(p); }, place);
}

}  // namespace kb
