#include "places/LivePlaces.h"

#include <algorithm>

#include "platform/Overloaded.h"

namespace kb {

std::vector<LivePlace> LivePlacesFor(bool windows64) {
    std::vector<LivePlace> places;
    for (RunKeyPlace& key : RunKeyPlacesFor(windows64)) places.emplace_back(std::move(key));
    for (ItemPlace& place : ItemPlacesFor(windows64)) places.emplace_back(std::move(place));
    places.emplace_back(StartupFolderPlace{true});
    places.emplace_back(StartupFolderPlace{false});
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
    return std::visit(Overloaded{
                          [](const RunKeyPlace& key) { return key.Location(); },
                          [](const ItemPlace& items) { return items.Location(); },
                          [&](const StartupFolderPlace& folder) { return folder.FolderIn(folders); },
                      },
                      place);
}

}  // namespace kb
