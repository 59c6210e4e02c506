#pragma once
// The scheduled tasks: each task that starts a program or a COM object is
// an entry, read from the definitions the scheduler keeps as files, hidden
// tasks included. A disabled task stays where it is, switched off as the
// scheduler switches it off.
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kinds/Kind.h"
#include "kinds/TaskDefinition.h"

namespace kb {

// The scheduler's folder of definitions (Task Scheduler 2.0), where
// TasksFolder() finds it.
struct TaskPlace {
    bool operator==(const TaskPlace&) const = default;
};

struct TaskEntry {
    std::wstring folder;   // where it was read: the scheduler's folder
    std::wstring path;     // the task's: \Vendor\Updater
    std::wstring command;  // what it starts: each action's program and arguments
    TaskDefinition definition;
    // Whether it can start something by itself (enabled, with an action and
    // a trigger on); what was known of it across runs, for one read back
    // from the record, which keeps no definition.
    bool starts = false;
    bool Enabled() const { return definition.enabled; }
};

struct ScheduledTasks {
    using Place = TaskPlace;
    using Entry = TaskEntry;

    static std::vector<Place> Places(bool windows64);
    static std::wstring LocationOf(const Place&, const StartupFolders&);
    // The whole tree: a task's folder is a folder of its own.
    static ChangeWatch::Place WatchOf(const Place& place, const StartupFolders& folders);
    static std::optional<PlaceStamp> StampOf(const Place&) { return std::nullopt; }
    // Keepboot's own logon tasks are never entries.
    static void Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into);
    // Switched off, or on again where this program switched it off.
    static MoveResult Move(const Entry& entry, const StartupFolders& folders);
    // Another account's task is an administrator's to change.
    static bool WritesMachinePlaces(const Entry& entry);
    static constexpr int kPassOrder = 4;
    // The first word of its entries' lines in the record.
    static constexpr const wchar_t* kRecordWord = L"task";
    static EntryText TextOf(const Entry& entry);
    static EntryDetails DetailsOf(const Entry& entry);
};

// What a task starts, as one text: each action that starts something,
// a program with its arguments, a COM object as its class's server.
std::wstring CommandOf(const TaskDefinition& definition);

bool Starts(const TaskEntry& e);
std::wstring IdentityOf(const TaskEntry& e);
std::wstring KnownStateOf(const TaskEntry& e);
bool OfTheMachine(const TaskEntry& e);
std::wstring PlaceReadOf(const TaskEntry& e, const StartupFolders& folders);
bool SameEntry(const TaskEntry& a, const TaskEntry& b, const StartupFolders& folders);
std::wstring IndexKey(const TaskEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const TaskEntry& e, const StartupFolders& folders);
std::optional<TaskEntry> FromRecordLine(std::type_identity<TaskEntry>, const std::vector<std::wstring>& line,
                                        const StartupFolders& folders);
void KnowMoved(const TaskEntry& e, const StartupFolders& folders, LiveEntries& known);
std::vector<std::wstring> KeyTextsOf(const TaskEntry& e);
bool HeldAside(const TaskEntry& e);

}  // namespace kb
