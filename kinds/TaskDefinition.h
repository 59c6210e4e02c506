#pragma once
// A scheduled task's definition, as Task Scheduler 2.0 keeps it (XML in
// the task namespace): what it starts, what starts it, as whom, and whether
// it is enabled. Elements are found in any order, and each absent one means
// what the scheduler takes it to mean.
#include <optional>
#include <string>
#include <vector>

namespace kb {

inline constexpr wchar_t kTaskNamespace[] = L"http://schemas.microsoft.com/windows/2004/02/mit/task";

struct TaskDefinition {
    // What fires the task: the trigger's element name (LogonTrigger,
    // BootTrigger, TimeTrigger, CalendarTrigger, IdleTrigger, EventTrigger,
    // RegistrationTrigger, SessionStateChangeTrigger), and whether it is on.
    struct Trigger {
        std::wstring kind = {};
        bool enabled = true;
        bool operator==(const Trigger&) const = default;
    };
    // What it does: a program it starts (Exec), or a COM object it runs
    // (ComHandler, by class id); another action (a mail, a message) starts
    // nothing and is kept by its element name only.
    struct Action {
        enum class Kind { Exec, ComHandler, Other } kind = Kind::Other;
        std::wstring command = {}, arguments = {}, workingDirectory = {};  // Exec
        std::wstring classId = {}, data = {};                              // ComHandler
        std::wstring element = {};                                         // Other
        bool operator==(const Action&) const = default;
    };

    bool enabled = true;  // Settings/Enabled
    bool hidden = false;  // Settings/Hidden
    std::wstring author = {}, uri = {}, description = {};
    std::vector<Trigger> triggers = {};
    std::vector<Action> actions = {};
    // The principal the actions run as (Actions' Context names it; else the
    // first): a user or group, how it logs on, and whether with the
    // highest rights it has.
    std::wstring userId = {}, groupId = {}, logonType = {};
    bool highestRights = false;

    // Whether it can start something without anyone asking: enabled, with
    // an action that starts a program or COM object, and a trigger on.
    bool StartsByItself() const;
    bool operator==(const TaskDefinition&) const = default;
};

// The definition the XML text holds; none when it is no task definition
// (not well-formed, a document type declared, or its root no Task of the
// task namespace). A task whose definition is none is not thereby harmless:
// whoever reads tasks still names it.
std::optional<TaskDefinition> ParseTaskDefinition(const std::wstring& xml);

}  // namespace kb
