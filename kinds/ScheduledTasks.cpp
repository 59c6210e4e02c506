// The scheduled tasks: their reading, their moves, and what each entry is
// to the guard.
#include "kinds/ScheduledTasks.h"

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

// The program a COM class runs in, as the 64-bit view names it where the
// scheduler's host is 64-bit; the class id where none is named.
std::wstring ServerOf(const std::wstring& classId) {
    if (!IsClassId(classId)) return classId;
    const REGSAM view = Is64BitWindows() ? KEY_WOW64_64KEY : 0;
    for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
        try {
            const OpenedKey key = RegKey::OpenForReading(HKEY_CLASSES_ROOT, L"CLSID\\" + classId + L"\\" + server, view);
            if (!key) continue;
            if (std::wstring program = key->ReadString(L""); !program.empty()) return program;
        } catch (const Error&) {
            // Unreadable: the class id names it all the same.
        }
    }
    return classId;
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

// Keepboot's own logon task: its name, and nothing but this program to
// start. A task that only takes the name is guarded like any other.
bool IsOwnTask(const TaskFile& task) {
    if (!IsKeepbootTask(task.path)) return false;
    static const std::wstring self = RunningProgramPath();
    for (const TaskDefinition::Action& action : task.definition->actions)
        if (action.kind != TaskDefinition::Action::Kind::Exec || !EqualIgnoringCase(action.command, self))
            return false;
    return true;
}

}  // namespace

std::wstring CommandOf(const TaskDefinition& definition) {
    std::wstring command;
    for (const TaskDefinition::Action& action : definition.actions) {
        if (action.kind == TaskDefinition::Action::Kind::Other) continue;
        if (!command.empty()) command += L"; ";
        command += action.kind == TaskDefinition::Action::Kind::Exec
                       ? CommandText(action.command, action.arguments)
                       : CommandText(ServerOf(action.classId), action.data);
    }
    return command;
}

std::vector<TaskPlace> ScheduledTasks::Places(bool) {
    return {TaskPlace{TasksFolder()}};
}

ChangeWatch::Place ScheduledTasks::WatchOf(const Place& place, const StartupFolders&) {
    return {ChangeWatch::Place::Kind::Folder, nullptr, place.folder, 0, true};
}

void ScheduledTasks::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place& place) {
        const TaskFolderReading read = ReadTaskFiles(place.folder);
        for (const auto& [folder, code] : read.unlisted) {
            // No folder at all: a scheduler with no tasks yet, or none of this kind.
            if (folder == L"\\" && (code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND)) continue;
            const std::wstring where = folder == L"\\" ? place.folder : place.folder + folder;
            reading.skipped.push_back(SkippedValue::Unreadable(
                where, code == ERROR_CANT_ACCESS_FILE ? WhyUnreadable::FolderLink : WhyUnreadable::ListingFailed, code));
        }
        for (const TaskFile& task : read.tasks) {
            // A file that holds no definition (or could not be read) starts
            // nothing the scheduler would run from it.
            if (!task.definition || !FirstStarting(*task.definition) || IsOwnTask(task)) continue;
            into.push_back({place, task.path, CommandOf(*task.definition), *task.definition,
                            task.definition->StartsByItself()});
        }
        if (reading.breathe && !reading.breathe()) throw ReadingStopped{};
    });
}

MoveResult ScheduledTasks::Move(const Entry& e, const StartupFolders&) {
    return SwitchTask(e.place.folder + e.path, e.path, e.definition, !e.Enabled());
}

bool ScheduledTasks::WritesMachinePlaces(const Entry& e) {
    // A user may switch the tasks that run as that user, and no other.
    return !EqualIgnoringCase(e.definition.userId, CurrentUserSid());
}

EntryText ScheduledTasks::TextOf(const Entry& e) {
    return {e.path, e.command, e.place.folder, e.Enabled()};
}

EntryDetails ScheduledTasks::DetailsOf(const Entry& e) {
    const TaskDefinition::Action* action = FirstStarting(e.definition);
    if (!e.Enabled() || !action) return {};
    if (action->kind == TaskDefinition::Action::Kind::Exec)
        return {action->command, action->arguments, e.place.folder + e.path, {}};
    return {ServerOf(action->classId), action->data, e.place.folder + e.path, {}};
}

bool Starts(const TaskEntry& e) {
    return e.starts;
}

std::wstring IdentityOf(const TaskEntry& e) {
    return e.place.folder + L"\n" + e.path + L"\n" + e.command;
}

std::wstring KnownStateOf(const TaskEntry& e) {
    return IdentityOf(e) + L"\n" + (e.Enabled() ? L"on" : L"off") + L"\n" + (e.starts ? L"starts" : L"");
}

bool OfTheMachine(const TaskEntry&) {
    return true;  // the scheduler's folder is the machine's
}

std::wstring PlaceReadOf(const TaskEntry& e, const StartupFolders&) {
    return e.place.folder;
}

bool SameEntry(const TaskEntry& a, const TaskEntry& b, const StartupFolders&) {
    return EqualIgnoringCase(a.path, b.path) && EqualIgnoringCase(a.place.folder, b.place.folder);
}

std::wstring IndexKey(const TaskEntry& e, const StartupFolders&) {
    return FoldCase(e.place.folder) + L"\n" + FoldCase(e.path);
}

std::vector<std::wstring> RecordLine(const TaskEntry& e, const StartupFolders&) {
    return {L"task", e.path, e.command};
}

std::optional<TaskEntry> FromRecordLine(std::type_identity<TaskEntry>, const std::vector<std::wstring>& line,
                                        const StartupFolders&) {
    if (line.size() != 3 || line[0] != L"task" || !line[1].starts_with(L'\\')) return std::nullopt;
    const std::vector<TaskPlace> places = ScheduledTasks::Places(Is64BitWindows());
    return TaskEntry{places.front(), line[1], line[2], {}, true};
}

void KnowMoved(const TaskEntry& e, const StartupFolders&, LiveEntries& known) {
    if (e.Enabled()) return;  // switched off, it is read as it is now
    TaskEntry on = e;
    on.definition.enabled = true;
    on.starts = on.definition.StartsByItself();
    ListOf<TaskEntry>(known).push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const TaskEntry& e) {
    return {L"task", e.path, e.command, e.Enabled() ? L"on" : L"off"};
}

bool HeldAside(const TaskEntry& e) {
    return !e.Enabled();
}

}  // namespace kb
