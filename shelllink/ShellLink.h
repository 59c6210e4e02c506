#pragma once
// Reading and writing shortcut (.lnk) files through the shell's shortcut
// component. COM must be initialised on the calling thread.
#include <cstdint>
#include <optional>
#include <string>

namespace kb {

// What a shortcut file says.
struct ShellLinkData {
    std::wstring Target;
    std::wstring Arguments;
    std::wstring Description;
    std::wstring WorkingDirectory;
    std::wstring IconLocation;
    std::int32_t IconIndex = 0;
    std::int32_t ShowCmd = 0;  // 0: the shell's default when written
    std::uint16_t HotKey = 0;
    // What the shortcut points at when it holds no path (an item of the
    // shell's namespace, an advertised program): its name as the shell
    // shows it. Only ever shown, never written as a target.
    std::wstring ItemName;

    bool operator==(const ShellLinkData&) const = default;
};

// Fills the record from the shortcut file, every text whole whatever its
// length; any failing step raises, and the file is never written.
void ReadShellLink(const std::wstring& fileName, ShellLinkData& link);

// The record, or none when the file cannot be read whole as a shortcut.
std::optional<ShellLinkData> TryReadShellLink(const std::wstring& fileName);

// Writes a shortcut with the fields of the record; a field left empty is
// not written at all, so the file holds nothing the record did not. Any
// failing step raises, and then no file was saved.
void WriteShellLink(const std::wstring& fileName, const ShellLinkData& link);

}  // namespace kb
