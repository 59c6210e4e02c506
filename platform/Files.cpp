#include "platform/Files.h"

#include <windows.h>

#include "platform/Faults.h"

namespace kb {

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
    if (InjectFault(FaultPoint::FileCopy)) return false;
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool DeleteFileAt(const std::wstring& path) {
    if (InjectFault(FaultPoint::FileDelete)) return false;
    return ::DeleteFileW(path.c_str()) != FALSE;
}

}  // namespace kb
