#include "app/services/HeldAtSessionEnd.h"

#include "places/Records.h"

namespace kb {

namespace {
constexpr wchar_t kRecord[] = L"HeldAtSessionEnd";
}  // namespace

bool NoteHeldAtSessionEnd(const std::vector<EntryText>& entries) {
    RecordLines lines;
    // What an earlier end held and no start has asked about yet stays.
    if (ReadRecord(HKEY_CURRENT_USER, kRecord, lines) != RecordState::Read) lines.clear();
    for (const EntryText& entry : entries) lines.push_back({entry.location, entry.item, entry.command});
    return WriteRecord(HKEY_CURRENT_USER, kRecord, lines) == ERROR_SUCCESS;
}

std::vector<EntryText> TakeHeldAtSessionEnd() {
    RecordLines lines;
    if (ReadRecord(HKEY_CURRENT_USER, kRecord, lines) != RecordState::Read) return {};
    std::vector<EntryText> entries;
    for (const std::vector<std::wstring>& line : lines)
        if (line.size() == 3) entries.push_back({.item = line[1], .command = line[2], .location = line[0], .enabled = false});
    WriteRecord(HKEY_CURRENT_USER, kRecord, {});
    return entries;
}

}  // namespace kb
