#pragma once
// The few file-system operations the store needs.
#include <string>

namespace kb {

bool DirectoryExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Overwrites an existing file of the new name.
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
bool DeleteFileAt(const std::wstring& path);

}  // namespace kb
