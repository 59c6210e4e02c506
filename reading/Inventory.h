#pragma once
// Reading every live place whole, kind by kind, with the store's entries
// and the logon values beside them; what the list and the prompt show of
// any entry. A reading is whole or it raises: a key that opened but could
// not be listed to its end makes no partial snapshot.
#include <optional>
#include <vector>

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "places/Entries.h"
#include "platform/Registry.h"

namespace kb {

struct Inventory {
    LiveEntries live;
    StoredEntries stored;
    std::vector<LogonValueEntry> logonValues;  // those not Windows' own

    // Every entry in the list's order: the live entries kind by kind, the
    // logon values not Windows' own, stored values, stored shortcuts.
    std::vector<StartupEntry> InListOrder() const;
};

// What the list shows of an entry, and what it would start, from where.
EntryText TextOf(const StartupEntry& entry);
EntryDetails DetailsOf(const StartupEntry& entry);

// The single logon values there that are not Windows' own, as they are now
// (one that is missing runs nothing Windows' own would not).
std::vector<LogonValueEntry> ReadLogonValueEntries();

// The selected places, each kind by its own reading. Places that do not
// exist contribute nothing; a place that is there but could not be read
// contributes nothing and is noted as unreadable: the others are read all
// the same.
LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped,
                            const PlaceSelection& selection = {},
                            ShortcutCache* cache = nullptr, const Breather& breathe = {});

}  // namespace kb
