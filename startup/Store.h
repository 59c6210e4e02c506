#pragma once
// The disabled-entry store, shared with the System Configuration utility:
// registry entries under startupreg, shortcuts under startupfolder with a
// backup copy in WindowsDir\pss.
//
// No entry is ever lost: an entry leaves its live place only after its
// store subkey has been written in full, and leaves the store only after
// its live value or shortcut is in place and reads back. An entry is
// moved only while it is still what was listed.
//
// A store subkey's name is only a handle: the entry is what its values
// say. An entry whose natural subkey name is taken by another entry, or
// cannot be a key name, is written under a free one.
#include <string>
#include <vector>

#include "startup/Entries.h"

namespace kb {

enum class MoveResult {
    Moved,
    Changed,     // no longer what was listed: left alone, a new reading shows it
    CannotMove,  // stays where it is: the store cannot hold it, or give it back
    // Stays where it is: this process may not write where the move writes
    // (a machine place, the shared store) without administrator rights.
    NeedsAdministrator,
    // Stays where it is: another entry holds its name where it would go.
    NameTaken,
    // Stays where it is: its place, or where it would go, is a link to
    // somewhere else, which a move never follows.
    Link,
    // A logon value stays as it is: Windows' own value names a program that
    // is not there.
    OwnProgramMissing,
    // Stays stored: it is another user's, and goes back only to them.
    AnotherUsers,
};

// Why an entry was not moved, in words for the user: "it ...".
std::wstring WhyNotMoved(MoveResult result);

// Wraps a command in double quotes when it has a blank and does not begin
// with a quote; only the first character is looked at.
std::wstring QuoteCommandLine(const std::wstring& command);

MoveResult DisableRunValue(const RunValueEntry& entry);
MoveResult EnableRunValue(const StoredRunEntry& entry);
MoveResult DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders);
MoveResult EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders);

// Whether moving the entry writes where only an administrator may: a
// machine place, or the shared store.
bool WritesMachinePlaces(const StartupEntry& entry);

// Dispatches on the kind: live entries are disabled, stored ones enabled.
MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders);

// The store's two keys. A registry entry needs "command", "key" and
// "hkey", and an "item" unless it was written here; a shortcut entry needs
// "item" and "command" likewise. A subkey with one of those values not
// text is skipped and noted.
StoredEntries ReadStoredEntries(std::vector<SkippedValue>& skipped);

// The shortcut a stored entry comes back as, when no backup copy serves:
// what was kept of it here, or one rebuilt from its command.
ShellLinkData LinkToRestore(const StoredShortcutEntry& entry);

// Whether an item can name a file in a Startup folder: no folder part.
bool IsPlainItem(const std::wstring& item);

}  // namespace kb
