#include "guard/KnownKeeping.h"

#include "guard/EntryKinds.h"

namespace kb {

RecordLines LinesOf(const LiveEntries& live, bool machine, const StartupFolders& folders) {
    // What starts nothing is not on record: it is new once it starts.
    RecordLines lines;
    ForEachLiveKind([&]<typename Entry>() {
        for (const Entry& e : ListOf<Entry>(live))
            if (OfTheMachine(e) == machine && Starts(e)) lines.push_back(RecordLine(e, folders));
    });
    return lines;
}

void AddEntriesOf(const RecordLines& lines, bool machine, const StartupFolders& folders, LiveEntries& live) {
    for (const std::vector<std::wstring>& line : lines) {
        ForEachLiveKind([&]<typename Entry>() {
            std::optional<Entry> entry = FromRecordLine(std::type_identity<Entry>{}, line, folders);
            if (entry && OfTheMachine(*entry) == machine) ListOf<Entry>(live).push_back(std::move(*entry));
        });
    }
}

}  // namespace kb
