#include "kinds/TaskFiles.h"

#include <map>
#include <set>

#include "kinds/Kind.h"

#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Xml.h"

namespace kb {

namespace {

// Far above any definition Windows writes; a bigger file is not read whole.
constexpr std::size_t kLargestDefinition = 1 << 20;

// What each file held when it was last read, by its path: a definition
// read in the same bytes is not parsed again. Bytes, not times and size,
// which anyone who may write the file may set back as they were.
struct Parsed {
    std::string bytes;
    std::optional<TaskDefinition> definition;
};
std::map<std::wstring, Parsed>& ParsedFiles() {
    static std::map<std::wstring, Parsed> parsed;
    return parsed;
}

// The definition the file holds; else why it could not be read.
void ReadDefinition(const std::wstring& path, std::set<std::wstring>& seen, TaskFile& file) {
    std::map<std::wstring, Parsed>& parsed = ParsedFiles();
    std::optional<std::string> bytes = ReadSmallFile(path, kLargestDefinition);
    if (!bytes) {
        const DWORD error = ::GetLastError();
        file.error = error != ERROR_SUCCESS ? error : ERROR_FILE_TOO_LARGE;
        return;
    }
    seen.insert(path);
    if (const auto known = parsed.find(path); known != parsed.end() && known->second.bytes == *bytes) {
        file.definition = known->second.definition;
        return;
    }
    file.definition = ParseTaskDefinition(XmlTextOf(*bytes));
    parsed[path] = {std::move(*bytes), file.definition};
}

void ReadFolder(const std::wstring& folder, const std::wstring& taskPath, TaskFolderReading& reading,
                const std::function<bool()>& breathe, std::set<std::wstring>& seen) {
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!listing) {
        reading.unlisted.emplace_back(taskPath.empty() ? L"\\" : taskPath, ::GetLastError());
        return;
    }
    std::vector<std::pair<std::wstring, std::wstring>> subfolders;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name, task = taskPath + L"\\" + name;
        const bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        // A name ending in a dot or a space would be opened as another's.
        const bool misnamed = name.back() == L'.' || name.back() == L' ';
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (misnamed)
                reading.unlisted.emplace_back(task, ERROR_INVALID_NAME);
            else if (link)
                reading.unlisted.emplace_back(task, ERROR_CANT_ACCESS_FILE);
            else
                subfolders.emplace_back(path, task);
            continue;
        }
        // A long reading lets its owner answer its messages now and then.
        if (breathe && reading.tasks.size() % 32 == 31 && !breathe()) throw ReadingStopped{};
        TaskFile file{task};
        const unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (misnamed) {
            file.error = ERROR_INVALID_NAME;
        } else if (link) {
            file.error = ERROR_CANT_ACCESS_FILE;
        } else if (size > kLargestDefinition) {
            // Anyone may be able to write a file here: a huge one is not read.
            file.error = ERROR_FILE_TOO_LARGE;
        } else {
            ReadDefinition(path, seen, file);
        }
        reading.tasks.push_back(std::move(file));
    } while (::FindNextFileW(listing.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
        reading.unlisted.emplace_back(taskPath.empty() ? L"\\" : taskPath, error);
    listing.reset();  // one listing open at a time, however deep the tree
    for (const auto& [path, task] : subfolders) ReadFolder(path, task, reading, breathe, seen);
}

}  // namespace

namespace {
std::optional<std::wstring>& TestFolder() {
    static std::optional<std::wstring> folder;
    return folder;
}
}  // namespace

std::wstring TasksFolder() {
    if (TestFolder()) return *TestFolder();
    return NativeSystemFolder() + L"\\Tasks";
}

void SetTasksFolderForTesting(std::optional<std::wstring> folder) {
    TestFolder() = std::move(folder);
}

TaskFolderReading ReadTaskFiles(const std::wstring& root, const std::function<bool()>& breathe) {
    TaskFolderReading reading;
    std::set<std::wstring> seen;
    ReadFolder(root, L"", reading, breathe, seen);
    // What is no longer there below the root is forgotten.
    std::erase_if(ParsedFiles(), [&](const auto& file) {
        return file.first.starts_with(root + L"\\") && !seen.contains(file.first);
    });
    return reading;
}

}  // namespace kb
