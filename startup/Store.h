#pragma once
// The disabled-entry store, shared with the System Configuration utility:
// registry entries under startupreg, shortcuts under startupfolder with a
// backup copy in WindowsDir\pss.
//
// No entry is ever lost: an entry leaves its live place only after its
// store subkey has been written in full, and leaves the store only after
// its live value or shortcut is in place. Each operation answers whether
// it moved the entry; one that could not leaves it where it was.
#include <string>

#include "startup/Entries.h"

namespace kb {

// Wraps a command in double quotes when it has a blank and does not begin
// with a quote; only the first character is looked at.
std::wstring QuoteCommandLine(const std::wstring& command);

bool DisableRunValue(const RunValueEntry& entry);
bool EnableRunValue(const StoredRunEntry& entry);
bool DisableShortcut(const ShortcutEntry& entry, const StartupFolders& folders);
bool EnableShortcut(const StoredShortcutEntry& entry, const StartupFolders& folders);

// Dispatches on the kind: live entries are disabled, stored ones enabled.
bool MoveEntry(const StartupEntry& entry, const StartupFolders& folders);

}  // namespace kb
