#pragma once
// Reading and writing shortcut (.lnk) files through the shell's shortcut
// component. COM must be initialised on the calling thread.
#include <cstdint>
#include <string>

namespace kb {

struct ShellLinkData {
    std::wstring Target;
    std::wstring Arguments;
    std::wstring Description;
    std::wstring WorkingDirectory;
    std::wstring IconLocation;
    std::int32_t IconIndex = 0;
    std::int32_t ShowCmd = 0;
    std::uint16_t HotKey = 0;
};

// Fills the record from the shortcut file; any failing step raises, and
// the file is never written.
void ReadShellLink(const std::wstring& fileName, ShellLinkData& link);

// Writes a shortcut at fileName pointing at target. An empty working
// directory means the target's folder. Raises only when the shortcut
// component cannot be had; whether the file was written is not reported.
void CreateShellLink(const std::wstring& fileName, const std::wstring& target,
                     const std::wstring& workingDirectory);

}  // namespace kb
