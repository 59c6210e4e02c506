#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/CurrentUser.h"
#include "platform/Faults.h"
#include "platform/Handle.h"
#include "platform/NewerWindows.h"

namespace kb {

namespace {

// The path as the file system is to take it, letter for letter.
std::wstring Literal(const std::wstring& path) {
    if (path.empty() || (path.back() != L'.' && path.back() != L' ') || path.starts_with(L"\\\\?\\"))
        return path;
    const std::wstring last = path.substr(path.find_last_of(L"\\/") + 1);
    if (last == L"." || last == L"..") return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

// The whole file, or false when it cannot be read.
bool ReadAll(const std::wstring& path, std::vector<char>& bytes) {
    // Also a file another holds open for writing (a log being appended to).
    UniqueFile file(::CreateFileW(Literal(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 24)) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() || (::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        &read, nullptr) &&
                             read == bytes.size());
}

}  // namespace

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(Literal(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(Literal(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

FileResult Outcome(BOOL succeeded) {
    return FileResult(succeeded ? ERROR_SUCCESS : ::GetLastError());
}

const FileResult kRefused(ERROR_ACCESS_DENIED);
// What an injected failure of a write comes to.
const FileResult kFailed(ERROR_WRITE_FAULT);

}  // namespace

FileResult CopyFileTo(const std::wstring& from, const std::wstring& to) {
    if (InjectFault(FaultPoint::FileCopy)) return kFailed;
    if (WriteRefused(to)) return kRefused;
    return Outcome(::CopyFileW(Literal(from).c_str(), Literal(to).c_str(), FALSE));
}

FileResult RenameWithoutReplacing(const std::wstring& from, const std::wstring& to) {
    if (InjectFault(FaultPoint::FileRename)) return kFailed;
    if (WriteRefused(from) || WriteRefused(to)) return kRefused;
    return Outcome(::MoveFileExW(Literal(from).c_str(), Literal(to).c_str(), MOVEFILE_WRITE_THROUGH));
}

bool PlaceWhole(const std::wstring& file, const std::function<bool(const std::wstring& at)>& write,
                const std::function<bool(const std::wstring& at)>& readsBack) {
    static unsigned long made = 0;
    const std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
    std::wstring temporary;
    for (int tries = 0; tries < 16 && temporary.empty(); ++tries) {
        const std::wstring name = folder + L"\\~kb" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++made) + L".tmp";
        // Nothing that stands there is written through or over.
        if (!FileExists(name) && !DirectoryExists(name) && !IsLink(name)) temporary = name;
    }
    if (temporary.empty()) return false;
    try {
        if (write(temporary) && readsBack(temporary) && RenameWithoutReplacing(temporary, file).Done())
            return true;
    } catch (...) {
        DeleteFileAt(temporary);
        throw;
    }
    DeleteFileAt(temporary);
    return false;
}

FileResult DeleteFileAt(const std::wstring& path) {
    if (InjectFault(FaultPoint::FileDelete)) return kFailed;
    if (WriteRefused(path)) return kRefused;
    return Outcome(::DeleteFileW(Literal(path).c_str()));
}

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? folder : L"C:\\Windows";
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? folder : WindowsFolder() + L"\\System32";
}

std::wstring NativeSystemFolder() {
    const std::wstring native = WindowsFolder() + L"\\Sysnative";
    return Is64BitWindows() && DirectoryExists(native) ? native : SystemFolder();
}

std::wstring RunningProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

FileResult MakeFolder(const std::wstring& path) {
    if (DirectoryExists(path)) return FileResult(ERROR_SUCCESS);
    if (path.empty()) return FileResult(ERROR_PATH_NOT_FOUND);
    if (WriteRefused(path)) return kRefused;
    const auto slash = path.find_last_of(L"\\/");
    // A parent that cannot be made fails the folder's own making below.
    if (slash != std::wstring::npos && slash > 2) MakeFolder(path.substr(0, slash));
    const FileResult made = Outcome(::CreateDirectoryW(path.c_str(), nullptr));
    return made.Done() || !DirectoryExists(path) ? made : FileResult(ERROR_SUCCESS);
}

std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t maxBytes) {
    std::vector<char> bytes;
    if (!ReadAll(path, bytes) || bytes.size() > maxBytes) return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

bool SameContents(const std::wstring& a, const std::wstring& b) {
    const auto open = [](const std::wstring& path) {
        return UniqueFile(::CreateFileW(Literal(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    };
    const UniqueFile first = open(a), second = open(b);
    LARGE_INTEGER firstSize{}, secondSize{};
    if (!first || !second || !::GetFileSizeEx(first.get(), &firstSize) ||
        !::GetFileSizeEx(second.get(), &secondSize) || firstSize.QuadPart != secondSize.QuadPart)
        return false;
    // In pieces: a program in a Startup folder may be of any size.
    std::vector<char> one(64 * 1024), other(64 * 1024);
    for (;;) {
        DWORD readOne = 0, readOther = 0;
        if (!::ReadFile(first.get(), one.data(), static_cast<DWORD>(one.size()), &readOne, nullptr) ||
            !::ReadFile(second.get(), other.data(), static_cast<DWORD>(other.size()), &readOther,
                        nullptr) ||
            readOne != readOther)
            return false;
        if (readOne == 0) return true;
        if (!std::equal(one.begin(), one.begin() + readOne, other.begin())) return false;
    }
}

HeldFile HoldAgainstWriters(const std::wstring& path) {
    // Readers and the holder's own deletion are let through.
    const HANDLE file = ::CreateFileW(Literal(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return {UniqueFile(file), FileResult(error)};
}

std::wstring DigestOf(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(Literal(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return {};
    Sha256 hash;
    std::vector<char> chunk(64 * 1024);
    for (DWORD read = 0;;) {
        if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return {};
        if (read == 0) break;
        if (!hash.Add(chunk.data(), read)) return {};
    }
    return hash.Finish();
}

bool IsLink(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(Literal(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

unsigned long AttributesOf(const std::wstring& path) {
    return ::GetFileAttributesW(Literal(path).c_str());
}

FileResult SetAttributesOf(const std::wstring& path, unsigned long attributes) {
    if (WriteRefused(path)) return kRefused;
    return Outcome(::SetFileAttributesW(Literal(path).c_str(), attributes));
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()),
                                                full.data(), nullptr);
        if (length == 0) return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

}  // namespace kb
