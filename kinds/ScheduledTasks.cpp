// The scheduled tasks: their reading, their moves, and what each entry is
// to the guard.
#include "kinds/ScheduledTasks.h"

#include <algorithm>
#include <cwctype>

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "kinds/TaskFiles.h"
#include "kinds/TaskSwitch.h"
#include "places/CommandLine.h"
#include "platform/CurrentUser.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

// A class id as the registry names its key: {8-4-4-4-12} hex digits. A
// definition's text is anyone's who could write the file: nothing else
// becomes part of a key's path.
bool IsClassId(const std::wstring& text) {
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != L'-' : !std::iswxdigit(text[i])) return false;
    }
    return true;
}

// The program a COM class runs in; the class id where none is named. A
// task of another account runs what the machine registered, never what
// this user's own registration (which the merged view prefers) names; in
// the 64-bit view where the scheduler's host is 64-bit.
std::wstring ServerOf(const std::wstring& classId, bool own) {
    if (!IsClassId(classId)) return classId;
    const HKEY root = own ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
    const std::wstring below = own ? L"CLSID\\" : L"SOFTWARE\\Classes\\CLSID\\";
    const REGSAM view = Is64BitWindows() ? KEY_WOW64_64KEY : 0;
    for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
        try {
            const OpenedKey key = RegKey::OpenForReading(root, below + classId + L"\\" + server, view);
            if (!key) continue;
            if (std::wstring program = key->ReadString(L""); !program.empty()) return program;
        } catch (const Error&) {
            // Unreadable: the class id names it all the same.
        }
    }
    return classId;
}

// Whether the task runs as this process's user, as its definition names
// the account: by SID, DOMAIN\\name or name.
bool RunsAsThisUser(const TaskDefinition& definition) {
    const std::wstring& account = definition.userId;
    if (account.empty()) return false;
    // The account's name is asked of Windows once, not for every task at
    // every check (on a domain it may be asked of a domain controller).
    static std::pair<std::wstring, std::wstring> known;  // SID, name
    const std::wstring sid = CurrentUserSid();
    if (known.first != sid) known = {sid, AccountNameOf(sid)};
    const std::wstring& name = known.second;
    const std::size_t slash = name.find(L'\\');
    return EqualIgnoringCase(account, sid) || EqualIgnoringCase(account, name) ||
           (slash != std::wstring::npos && EqualIgnoringCase(account, name.substr(slash + 1)));
}

std::wstring CommandText(const std::wstring& program, const std::wstring& arguments) {
    const bool quote = program.find(L' ') != std::wstring::npos && !program.starts_with(L'"');
    std::wstring text = quote ? L"\"" + program + L"\"" : program;
    return arguments.empty() ? text : text + L" " + arguments;
}

const TaskDefinition::Action* FirstStarting(const TaskDefinition& definition) {
    for (const TaskDefinition::Action& action : definition.actions)
        if (action.kind != TaskDefinition::Action::Kind::Other) return &action;
    return nullptr;
}

std::vector<std::wstring> TriggersOn(const TaskDefinition& definition) {
    std::vector<std::wstring> on;
    for (const TaskDefinition::Trigger& trigger : definition.triggers)
        if (trigger.enabled && std::find(on.begin(), on.end(), trigger.kind) == on.end()) on.push_back(trigger.kind);
    return on;
}

// Keepboot's own logon task, exactly as it makes it: named for its user,
// starting this program with its one argument, at logon. A task that only
// takes the name, or starts it otherwise, is guarded like any other.
bool IsOwnTask(const TaskFile& task) {
    const TaskDefinition& d = *task.definition;
    static const std::wstring self = RunningProgramPath();
    if (task.path != L"\\Keepboot" && task.path != L"\\Keepboot (" + d.userId + L")") return false;
    const bool onlyThis = std::all_of(d.actions.begin(), d.actions.end(), [](const TaskDefinition::Action& a) {
        return a.kind == TaskDefinition::Action::Kind::Exec && EqualIgnoringCase(a.command, self) &&
               a.arguments == L"-start" && a.workingDirectory.empty();
    });
    const bool atLogon = std::all_of(d.triggers.begin(), d.triggers.end(),
                                     [](const TaskDefinition::Trigger& t) { return t.kind == L"LogonTrigger"; });
    return onlyThis && atLogon;
}

}  // namespace

std::wstring CommandOf(const TaskDefinition& definition) {
    std::wstring command;
    for (const TaskDefinition::Action& action : definition.actions) {
        if (action.kind == TaskDefinition::Action::Kind::Other) continue;
        if (!command.empty()) command += L"; ";
        command += action.kind == TaskDefinition::Action::Kind::Exec
                       ? CommandText(action.command, action.arguments)
                       : CommandText(ServerOf(action.classId, RunsAsThisUser(definition)), action.data);
    }
    return command;
}

std::vector<TaskPlace> ScheduledTasks::Places(bool) {
    return {TaskPlace{}};
}

std::wstring ScheduledTasks::LocationOf(const Place&, const StartupFolders&) {
    return TasksFolder();
}

ChangeWatch::Place ScheduledTasks::WatchOf(const Place&, const StartupFolders&) {
    return {ChangeWatch::Place::Kind::Folder, nullptr, TasksFolder(), 0, true};
}

void ScheduledTasks::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place&) {
        const std::wstring folder = TasksFolder();
        const TaskFolderReading read = ReadTaskFiles(folder, reading.breathe);
        for (const auto& [below, code] : read.unlisted) {
            // No folder at all: a scheduler with no tasks yet, or none of this kind.
            if (below == L"\\" && (code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND)) continue;
            const std::wstring where = below == L"\\" ? folder : folder + below;
            reading.skipped.push_back(SkippedValue::Unreadable(
                where, code == ERROR_CANT_ACCESS_FILE ? WhyUnreadable::FolderLink : WhyUnreadable::ListingFailed, code));
        }
        bool refused = false;
        for (const TaskFile& task : read.tasks) {
            // A task not read is said: each on its own, but those that refuse
            // this user (another's, on a standard user's machine) once for all.
            if (!task.definition) {
                if (task.error == ERROR_ACCESS_DENIED)
                    refused = true;
                else
                    reading.skipped.push_back(SkippedValue::Unreadable(
                        folder + task.path, WhyUnreadable::ListingFailed,
                        task.error == ERROR_SUCCESS ? ERROR_INVALID_DATA : task.error));
                continue;
            }
            if (!FirstStarting(*task.definition) || IsOwnTask(task)) continue;
            into.push_back({folder, task.path, CommandOf(*task.definition), *task.definition,
                            task.definition->StartsByItself()});
        }
        if (refused)
            reading.skipped.push_back(
                SkippedValue::Unreadable(folder + L"\\*", WhyUnreadable::Denied, ERROR_ACCESS_DENIED));
    });
}

MoveResult ScheduledTasks::Move(const Entry& e, const StartupFolders&) {
    return SwitchTask(e.folder + e.path, e.path, e.definition, !e.Enabled(), WritesMachinePlaces(e));
}

bool ScheduledTasks::WritesMachinePlaces(const Entry& e) {
    // A user may switch the tasks that run as that user, and no other;
    // the scheduler's refusal of one of them is heard all the same.
    return !RunsAsThisUser(e.definition);
}

EntryText ScheduledTasks::TextOf(const Entry& e) {
    EntryText text{e.path, e.command, e.folder, e.Enabled()};
    text.triggers = TriggersOn(e.definition);
    return text;
}

EntryDetails ScheduledTasks::DetailsOf(const Entry& e) {
    const TaskDefinition::Action* action = FirstStarting(e.definition);
    if (!e.Enabled() || !action) return {};
    const bool exec = action->kind == TaskDefinition::Action::Kind::Exec;
    EntryDetails details{exec ? action->command : ServerOf(action->classId, RunsAsThisUser(e.definition)),
                         exec ? action->arguments : action->data,
                         e.folder + e.path, {}};
    const TaskDefinition& d = e.definition;
    details.task = EntryDetails::Task{d.author, d.userId.empty() ? d.groupId : d.userId, TriggersOn(d),
                                      d.highestRights};
    return details;
}

bool Starts(const TaskEntry& e) {
    return e.starts;
}

std::wstring IdentityOf(const TaskEntry& e) {
    return e.folder + L"\n" + e.path + L"\n" + e.command;
}

std::wstring KnownStateOf(const TaskEntry& e) {
    return IdentityOf(e) + L"\n" + (e.Enabled() ? L"on" : L"off") + L"\n" + (e.starts ? L"starts" : L"");
}

bool OfTheMachine(const TaskEntry&) {
    return true;  // the scheduler's folder is the machine's
}

std::wstring PlaceReadOf(const TaskEntry& e, const StartupFolders&) {
    return e.folder;
}

bool SameEntry(const TaskEntry& a, const TaskEntry& b, const StartupFolders&) {
    return EqualIgnoringCase(a.path, b.path) && EqualIgnoringCase(a.folder, b.folder);
}

std::wstring IndexKey(const TaskEntry& e, const StartupFolders&) {
    return FoldCase(e.folder) + L"\n" + FoldCase(e.path);
}

std::vector<std::wstring> RecordLine(const TaskEntry& e, const StartupFolders&) {
    return {ScheduledTasks::kRecordWord, e.path, e.command};
}

std::optional<TaskEntry> FromRecordLine(std::type_identity<TaskEntry>, const std::vector<std::wstring>& line,
                                        const StartupFolders&) {
    if (line.size() != 3 || line[0] != ScheduledTasks::kRecordWord || !line[1].starts_with(L'\\')) return std::nullopt;
    return TaskEntry{TasksFolder(), line[1], line[2], {}, true};
}

void KnowMoved(const TaskEntry& e, const StartupFolders&, LiveEntries& known) {
    if (e.Enabled()) return;  // switched off, it is read as it is now
    TaskEntry on = e;
    on.definition.enabled = true;
    on.starts = on.definition.StartsByItself();
    ListOf<TaskEntry>(known).push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const TaskEntry& e) {
    return {ScheduledTasks::kRecordWord, e.path, e.command, e.Enabled() ? L"on" : L"off"};
}

bool HeldAside(const TaskEntry& e) {
    return !e.Enabled();
}

}  // namespace kb
