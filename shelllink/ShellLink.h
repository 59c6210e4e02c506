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

    bool operator==(const ShellLinkData&) const = default;
};

// Fills the record from the shortcut file; any failing step raises, and
// the file is never written.
void ReadShellLink(const std::wstring& fileName, ShellLinkData& link);

// The record, or none when the file cannot be read whole as a shortcut.
std::optional<ShellLinkData> TryReadShellLink(const std::wstring& fileName);

// Writes a shortcut with every field of the record. Any failing step
// raises, and then no file was saved.
void WriteShellLink(const std::wstring& fileName, const ShellLinkData& link);

}  // namespace kb
