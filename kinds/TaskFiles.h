#pragma once
// The task definitions the scheduler keeps as files (Task Scheduler 2.0,
// Vista and later): one file per task below the Tasks folder, in folders as
// the task's path. Every file is a task, hidden ones included; a file that
// could not be read, or holds no definition, is a task all the same, and a
// folder that could not be listed is said.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kinds/TaskDefinition.h"

namespace kb {

struct TaskFile {
    std::wstring path = {};                      // the task's: \Vendor\Updater
    std::optional<TaskDefinition> definition = {};  // none: not read, or no definition
    DWORD error = ERROR_SUCCESS;                 // why it was not read
    bool operator==(const TaskFile&) const = default;
};

struct TaskFolderReading {
    std::vector<TaskFile> tasks = {};
    // The folders, by task path, that could not be listed, with why.
    std::vector<std::pair<std::wstring, DWORD>> unlisted = {};
};

// The Tasks folder as this program reaches it: the system folder's, through
// Sysnative where a 32-bit program on 64-bit Windows would be led to the
// 32-bit one.
std::wstring TasksFolder();
// Tests only: a folder of their own in its place; none ends it.
void SetTasksFolderForTesting(std::optional<std::wstring> folder);

// Every task below the root, in the listing's order. A link (a junction or
// symbolic link, file or folder) is never followed: it leads out of the
// scheduler's folder. Its file is a task not read (ERROR_CANT_ACCESS_FILE).
// The breather, where given, is asked now and then, and stops the reading
// (ReadingStopped) when it answers false.
TaskFolderReading ReadTaskFiles(const std::wstring& root, const std::function<bool()>& breathe = {});

}  // namespace kb
