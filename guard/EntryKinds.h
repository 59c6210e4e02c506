#pragma once
// What the entries that are no live kind are to the guard: those of the
// store and the logon values, beside what each kind of place says of its
// own entries (kinds/). What goes over every entry the list shows asks
// these and the kinds' alike.
#include <string>
#include <variant>
#include <vector>

#include "kinds/Kinds.h"

namespace kb {

// What the entry is known as once the user moved it, added to the known
// entries: what was enabled is allowed at once, before any reload. A logon
// value is of no known set.
void KnowMoved(const StoredRunEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const StoredShortcutEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const LogonValueEntry& e, const StartupFolders& folders, LiveEntries& known);

// The entry named by where it is, its kind first, so that another instance
// (the elevated one that does a move needing administrator rights) finds
// the same entry in its own reading.
std::vector<std::wstring> KeyTextsOf(const StoredRunEntry& e);
std::vector<std::wstring> KeyTextsOf(const StoredShortcutEntry& e);
std::vector<std::wstring> KeyTextsOf(const LogonValueEntry& e);

// Whether the entry is one held aside, as only a move puts one: moved into
// the store, or below its place. A live entry Task Manager switched off is
// not, nor a logon value, which is put back, never aside. Every kind says:
// a new one is never taken for held aside by default.
bool HeldAside(const StoredRunEntry& e);
bool HeldAside(const StoredShortcutEntry& e);
bool HeldAside(const LogonValueEntry& e);
inline bool HeldAside(const StartupEntry& entry) {
    return std::visit([](const auto& e) { return HeldAside(e); }, entry);
}

}  // namespace kb
