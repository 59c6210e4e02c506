#include "guard/KnownKeeping.h"

#include "guard/EntryKinds.h"

#include <algorithm>

namespace kb {

std::vector<std::wstring> KindsLine() {
    std::vector<std::wstring> line{kKindsWord};
    ForEachKind([&]<typename Kind>() { line.push_back(Kind::kRecordWord); });
    return line;
}

bool Covers(const RecordLines& lines, const std::wstring& word) {
    const auto kinds = std::find_if(lines.begin(), lines.end(), [](const std::vector<std::wstring>& line) {
        return !line.empty() && line.front() == kKindsWord;
    });
    // A record of the versions before it named its kinds covers the first three.
    if (kinds == lines.end()) return word == L"value" || word == L"item" || word == L"file";
    return std::find(kinds->begin() + 1, kinds->end(), word) != kinds->end();
}

RecordLines LinesOf(const LiveEntries& live, bool machine, const StartupFolders& folders) {
    // What starts nothing is not on record: it is new once it starts. The
    // first line names the kinds the record covers.
    RecordLines lines{KindsLine()};
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
