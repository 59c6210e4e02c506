#pragma once
// What the parts for one kind of place share: one check of that kind's
// places with nothing new, in a guard of a sandbox of its own, timed
// against the floor of what any reading of them must do.
#include <cstdio>
#include <variant>

#include "BenchParts.h"
#include "ScratchRegistry.h"
#include "guard/Guard.h"
#include "kinds/PlaceSelection.h"

namespace kb::bench {

// Prints how many of the kind are known, both medians of 30 and their
// ratio; what = "tasks", floorWords = what the floor does.
template <typename Kind, typename Floor>
void CheckAgainstFloor(const char* what, const char* floorWords, Floor floor) {
    test::ScratchRegistry registry;
    if (!registry.Holds()) {
        std::fprintf(stderr, "the registry could not be redirected; the %s' check not run\n", what);
        return;
    }
    test::ScratchFolder folder;
    StartupGuard guard({folder.Sub(L"Common Startup"), folder.Sub(L"Startup"), folder.Sub(L"Windows"),
                        folder.Sub(L"UserBackup"), folder.Sub(L"MachineBackup")});
    guard.Reload();
    PlaceSelection places = PlaceSelection::None();
    for (PlaceId id = 0; id < LivePlaces().size(); ++id)
        if (std::holds_alternative<typename Kind::Place>(LivePlaces()[id])) places.Add(id);
    const auto check = [&] {
        guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Leave; },
                    [](const StartupEntry&) {}, places);
    };
    check();  // the first reading, and warm caches
    std::printf("%s known: %u\n", what,
                static_cast<unsigned>(guard.Known().live.template Of<typename Kind::Entry>().size()));
    const double full = MedianMs(30, check);
    const double least = MedianMs(30, floor);
    std::printf("check of the %s with nothing new: %.2f ms (median of 30)\n", what, full);
    std::printf("floor (%s): %.2f ms (median of 30)\n", floorWords, least);
    std::printf("ratio check / floor: %.2f\n", full / least);
}

}  // namespace kb::bench
