// The Run-type keys' values: their reading, their moves, and what each is
// to the guard.
#include "kinds/RunValues.h"

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "places/CommandLine.h"
#include "places/TaskManager.h"
#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "store/Store.h"
#include "store/StoreLayout.h"

namespace kb {

namespace {

void ReadRunKey(const RunKeyPlace& place, std::vector<RunValueEntry>& values, Reading& reading) {
    const OpenedKey key = RegKey::OpenForReading(place.root, place.keyPath, place.view);
    if (!key) {
        // Missing is empty; there but refused is not, and is said once.
        if (key.Refused())
            reading.skipped.push_back(SkippedValue::Unreadable(place.Location(), WhyUnreadable::Denied));
        return;
    }
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> read;
    try {
        read = key->Values(reading.breathe);
    } catch (const Error&) {
        reading.skipped.push_back(SkippedValue::Unreadable(place.Location(), WhyUnreadable::ValuesUnlisted));
        return;
    }
    if (!read) throw ReadingStopped();
    const TaskManagerSwitches switches(place.root, place.approvedKey);
    for (const auto& [name, value] : *read) {
        if (!value.IsText()) {
            reading.skipped.push_back(SkippedValue::NotText(place.Location(), name));
            continue;
        }
        RunValueEntry entry{place, name, value.Text(),
                            value.type == REG_EXPAND_SZ ? DWORD{REG_EXPAND_SZ} : DWORD{REG_SZ},
                            switches.Disabled(name), {}};
        if (!value.HoldsOnlyText()) entry.raw = value.data;
        values.push_back(std::move(entry));
    }
}

}  // namespace

ChangeWatch::Place RunValues::WatchOf(const Place& place, const StartupFolders&) {
    return {ChangeWatch::Place::Kind::Key, place.root, place.keyPath, place.view};
}

std::optional<PlaceStamp> RunValues::StampOf(const Place& place) {
    const OpenedKey key = RegKey::OpenForReading(place.root, place.keyPath, place.view);
    return PlaceStamp{key ? key->StampNow() : std::nullopt, SwitchesStamp(place.root, place.approvedKey)};
}

void RunValues::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place& key) { ReadRunKey(key, into, reading); });
}

MoveResult RunValues::Move(const Entry& e, const StartupFolders&) {
    // A value Task Manager disabled is listed as disabled: moving it
    // enables it there.
    if (!e.disabledByTaskManager) return DisableRunValue(e);
    return store::FromError(EnableInTaskManager(e.place.root, e.place.approvedKey, e.name));
}

bool RunValues::WritesMachinePlaces(const Entry& e) {
    return store::IsMachineRoot(e.place.root);
}

EntryText RunValues::TextOf(const Entry& e) {
    return {e.name, e.command, e.place.Location(), !e.disabledByTaskManager};
}

EntryDetails RunValues::DetailsOf(const Entry& e) {
    ProgramAndArguments parts = SplitCommandLine(e.command);
    return {std::move(parts.program), std::move(parts.arguments), e.place.Location(), {}};
}

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

std::wstring IdentityOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + L"\n" + std::to_wstring(e.type);
}

std::wstring KnownStateOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"");
}

bool OfTheMachine(const RunValueEntry& e) {
    return e.place.root == HKEY_LOCAL_MACHINE;
}

std::wstring PlaceReadOf(const RunValueEntry& e, const StartupFolders&) {
    return e.place.Location();
}

bool SameEntry(const RunValueEntry& a, const RunValueEntry& b, const StartupFolders&) {
    return EqualIgnoringCase(a.name, b.name) && EqualIgnoringCase(a.place.Location(), b.place.Location());
}

std::wstring IndexKey(const RunValueEntry& e, const StartupFolders&) {
    return FoldCase(e.place.Location()) + L"\n" + FoldCase(e.name);
}

std::vector<std::wstring> RecordLine(const RunValueEntry& e, const StartupFolders&) {
    return {RunValues::kRecordWord, e.place.Location(), e.name, e.command};
}

std::optional<RunValueEntry> FromRecordLine(std::type_identity<RunValueEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders&) {
    if (line.size() != 4 || line[0] != RunValues::kRecordWord) return std::nullopt;
    const RunKeyPlace* place = PlaceNamed(RunKeyPlaces(), line[1]);
    if (!place) return std::nullopt;
    return RunValueEntry{*place, line[2], line[3], REG_SZ, false, {}};
}

void KnowMoved(const RunValueEntry& e, const StartupFolders&, LiveEntries& known) {
    if (!e.disabledByTaskManager) return;  // disabled: gone from the known set at the next reading
    RunValueEntry on = e;
    on.disabledByTaskManager = false;
    ListOf<RunValueEntry>(known).push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const RunValueEntry& e) {
    return {RunValues::kRecordWord, e.place.rootName, std::to_wstring(e.place.view), e.place.keyPath, e.name};
}

bool HeldAside(const RunValueEntry&) {
    return false;
}

}  // namespace kb
