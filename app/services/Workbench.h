#pragma once
// What the pages work on: the guard core, the watch, the history, and the
// program's way to borrow administrator rights.
#include <functional>
#include <vector>

#include "app/services/HistoryKeeper.h"
#include "guard/Guard.h"
#include "watch/Watcher.h"

namespace kb {

struct Workbench {
    StartupGuard& guard;
    Watcher& watcher;
    HistoryKeeper& history;
    // Moves these entries in one elevated instance: Windows asks once.
    // For each, Moved where the instance moved it; NeedsAdministrator when
    // the user declined the rights.
    std::function<std::vector<MoveResult>(const std::vector<StartupEntry>&)> moveElevated;
    // Whether this process has administrator rights.
    bool elevated;

    // While a check or a move runs, what it compares with stays as it is:
    // what would change it waits for its end.
    bool Busy() const noexcept { return watcher.Busy(); }
};

}  // namespace kb
