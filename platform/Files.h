#pragma once
// The few file-system operations the store needs. Each write says what it
// came to as Windows' error code; one refused to this process is
// ERROR_ACCESS_DENIED.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/Handle.h"

namespace kb {

// What a write came to: ERROR_SUCCESS, or why not. It has no conversion to
// bool, so no caller reads it the wrong way round.
class FileResult {
public:
    explicit FileResult(DWORD code) noexcept : code_(code) {}
    bool Done() const noexcept { return code_ == ERROR_SUCCESS; }
    bool Refused() const noexcept { return code_ == ERROR_ACCESS_DENIED; }
    DWORD Code() const noexcept { return code_; }

private:
    DWORD code_;
};

// Every function here takes a full path. One whose last part ends in a dot
// or a blank is used as it is (through the "\\?\" form): the system would
// otherwise drop them and name another file, while Explorer starts such a
// file from a Startup folder all the same.

bool DirectoryExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Overwrites an existing file of the new name.
FileResult CopyFileTo(const std::wstring& from, const std::wstring& to);
FileResult DeleteFileAt(const std::wstring& path);
// Puts a file at its name whole or not at all: written beside it under a
// name of its own, read back, then renamed, which is at once and never
// replaces a file that took the name meanwhile: a half-written file never
// stands at the name (in a Startup folder, Windows would start it), nor is
// another's overwritten. Nothing that stands at the name written first is
// written through or over.
bool PlaceWhole(const std::wstring& file, const std::function<bool(const std::wstring& at)>& write,
                const std::function<bool(const std::wstring& at)>& readsBack);
// Renames within one volume, at once: fails (ERROR_ALREADY_EXISTS) when the
// new name is taken, never replacing what stands there.
FileResult RenameWithoutReplacing(const std::wstring& from, const std::wstring& to);
// The running program's file, whatever the length of its path.
std::wstring RunningProgramPath();
// The Windows folder, and its system folder as Windows gives it to this
// program.
std::wstring WindowsFolder();
std::wstring SystemFolder();
// The 64-bit system folder where this 32-bit program runs on 64-bit
// Windows, which it reaches as Sysnative (Vista and later): its own
// System32 is redirected to SysWOW64. Elsewhere the system folder.
std::wstring NativeSystemFolder();
// Makes the folder and its missing parents; done when it exists after.
FileResult MakeFolder(const std::wstring& path);
// The file's bytes when it can be read and holds at most the bytes given.
std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t maxBytes);
// Whether both files can be read and hold the same bytes, whatever their size.
bool SameContents(const std::wstring& a, const std::wstring& b);
// A file opened so that nobody may write it while it is held (reading and
// deleting it stay possible); when it cannot be, an empty handle and why
// (ERROR_SHARING_VIOLATION while another program still writes it).
struct HeldFile {
    UniqueFile handle;
    FileResult result;
};
HeldFile HoldAgainstWriters(const std::wstring& path);
// The SHA-256 of the file's bytes as hex digits; empty when it cannot be read.
std::wstring DigestOf(const std::wstring& path);
// Whether the file or folder is a link to elsewhere (a symbolic link, a
// junction, any reparse point), which a move never follows.
bool IsLink(const std::wstring& path);
// A file's attributes, INVALID_FILE_ATTRIBUTES when it cannot be asked.
unsigned long AttributesOf(const std::wstring& path);
// Sets them.
FileResult SetAttributesOf(const std::wstring& path, unsigned long attributes);
// The path made absolute, with "." and ".." resolved and "/" read as "\";
// empty when the system cannot make one.
std::wstring FullPath(const std::wstring& path);

}  // namespace kb
