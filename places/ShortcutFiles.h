#pragma once
// A file in a Startup folder as an entry: the shortcut it is, and what it
// starts.
#include <optional>
#include <string>
#include <utility>

#include "shelllink/ShellLink.h"
#include "places/Entries.h"
#include "places/EntryRecords.h"

namespace kb {

// The shortcut a file in a Startup folder is, when it is a .lnk the shell
// reads; none for any other file.
std::optional<ShellLinkData> ReadLinkOf(const std::wstring& path);
// What a file starts and with which arguments: a shortcut's target, else
// the name of what its ID list points at, else the file itself.
std::pair<std::wstring, std::wstring> ProgramOf(const std::wstring& path,
                                                const std::optional<ShellLinkData>& link);
// The entry of a file in a Startup folder, with what it starts.
ShortcutEntry StartupFileEntry(const std::wstring& location, const std::wstring& path,
                               std::optional<ShellLinkData> link);

}  // namespace kb
