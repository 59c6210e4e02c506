#include "places/ShortcutFiles.h"

#include "platform/TextCompare.h"

namespace kb {

std::optional<ShellLinkData> ReadLinkOf(const std::wstring& path) {
    // Only a .lnk is a shortcut to Windows, whatever the bytes of another file.
    const auto dot = path.rfind(L'.');
    if (dot == std::wstring::npos || !EqualIgnoringCase(path.substr(dot), L".lnk"))
        return std::nullopt;
    return TryReadShellLink(path);
}

std::pair<std::wstring, std::wstring> ProgramOf(const std::wstring& path,
                                                const std::optional<ShellLinkData>& link) {
    if (!link || (link->Target.empty() && link->ItemName.empty())) return {path, {}};
    return {link->Target.empty() ? link->ItemName : link->Target, link->Arguments};
}

ShortcutEntry StartupFileEntry(const std::wstring& location, const std::wstring& path,
                               std::optional<ShellLinkData> link) {
    ShortcutEntry entry;
    entry.location = location;
    entry.path = path;
    entry.fileName = path.substr(path.rfind(L'\\') + 1);
    entry.name = entry.fileName.substr(0, entry.fileName.rfind(L'.'));
    entry.link = std::move(link);
    const auto [program, arguments] = ProgramOf(path, entry.link);
    entry.command = arguments.empty() ? program : program + L" " + arguments;
    return entry;
}

}  // namespace kb
