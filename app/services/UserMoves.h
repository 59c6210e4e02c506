#pragma once
// The user moves entries, from the list or the history: each is moved; the
// moves this process may not make go to one elevated instance together, so
// Windows asks once; every move and every failure is a record. What could
// not be moved is said once, with why.
#include <optional>
#include <string>
#include <vector>

#include "app/services/Workbench.h"

namespace kb {

struct NotMoved {
    StartupEntry entry;
    MoveResult why;
};

// Moves the entries the user asked for from that page.
// The entries that stay where they were, with why.
std::vector<NotMoved> MoveForUser(Workbench& bench, const std::vector<StartupEntry>& entries,
                                  MoveSource from);

// The entry a disable put aside, of the place and name: of two such, the
// one that starts what the text says (a shortcut's command is stored as
// its quoted target), else one that starts the same program.
std::optional<StartupEntry> FindPutAside(const Inventory& known, const EntryText& text);

// What the user's report box says of them; empty when there are none.
std::wstring ReportOf(const std::vector<NotMoved>& notMoved);

}  // namespace kb
