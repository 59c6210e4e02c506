#include "kinds/TaskFiles.h"

#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Xml.h"

namespace kb {

namespace {

// Far above any definition Windows writes; a bigger file is not read whole.
constexpr std::size_t kLargestDefinition = 1 << 20;

void ReadFolder(const std::wstring& folder, const std::wstring& taskPath, TaskFolderReading& reading) {
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
        } else if (const std::optional<std::string> bytes = ReadSmallFile(path, kLargestDefinition)) {
            file.definition = ParseTaskDefinition(XmlTextOf(*bytes));
        } else {
            const DWORD error = ::GetLastError();
            file.error = error != ERROR_SUCCESS ? error : ERROR_FILE_TOO_LARGE;
        }
        reading.tasks.push_back(std::move(file));
    } while (::FindNextFileW(listing.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
        reading.unlisted.emplace_back(taskPath.empty() ? L"\\" : taskPath, error);
    listing.reset();  // one listing open at a time, however deep the tree
    for (const auto& [path, task] : subfolders) ReadFolder(path, task, reading);
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

bool IsKeepbootTask(const std::wstring& taskPath) {
    return taskPath == L"\\Keepboot" || (taskPath.starts_with(L"\\Keepboot (") &&
                                          taskPath.find(L'\\', 1) == std::wstring::npos);
}

TaskFolderReading ReadTaskFiles(const std::wstring& root) {
    TaskFolderReading reading;
    ReadFolder(root, L"", reading);
    return reading;
}

}  // namespace kb
