#pragma once
// Reading the disabled-entry store as the System Configuration utility
// and earlier versions wrote it, and the words its entries are written in.
#include <string>
#include <vector>

#include "places/Entries.h"

namespace kb {

// Wraps a command in double quotes when it has a blank and does not begin
// with a quote; only the first character is looked at.
std::wstring QuoteCommandLine(const std::wstring& command);

// The store's two keys. A registry entry needs "command", "key" and
// "hkey", and an "item" unless it was written here; a shortcut entry needs
// "item" and "command" likewise. A subkey with one of those values not
// text is skipped and noted.
StoredEntries ReadStoredEntries(std::vector<SkippedValue>& skipped);

// Whether an item can name a file in a Startup folder: no folder part.
bool IsPlainItem(const std::wstring& item);

}  // namespace kb
