#include "guard/DisabledLedger.h"

#include <algorithm>

#include "platform/TextCompare.h"
#include "places/Records.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

constexpr wchar_t kLedger[] = L"Disabled";
// A program that disables itself again and again keeps no more than this.
constexpr std::size_t kMostLines = 5000;

HKEY RootOf(const std::wstring& location) {
    return IsMachineLocation(location) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool Same(const std::vector<std::wstring>& line, const std::wstring& location, const std::wstring& item) {
    return line.size() == 3 && EqualIgnoringCase(line[0], location) && line[1] == item;
}

}  // namespace

bool IsMachineLocation(const std::wstring& location) {
    return EqualIgnoringCase(location.substr(0, 5), L"HKLM\\") ||
           EqualIgnoringCase(location, kCommonStartupLocation);
}

void NoteDisabledHere(const EntryText& entry) {
    const HKEY root = RootOf(entry.location);
    RecordLines lines;
    if (ReadRecord(root, kLedger, lines) == RecordState::Broken) lines.clear();
    std::erase_if(lines, [&](const auto& line) {
        return Same(line, entry.location, entry.item) && line[2] == entry.command;
    });
    lines.push_back({entry.location, entry.item, entry.command});
    if (lines.size() > kMostLines) lines.erase(lines.begin(), lines.end() - kMostLines);
    WriteRecord(root, kLedger, lines);
}

void NoteEnabledHere(const EntryText& entry) {
    const HKEY root = RootOf(entry.location);
    RecordLines lines;
    if (ReadRecord(root, kLedger, lines) != RecordState::Read) return;
    const std::size_t before = lines.size();
    std::erase_if(lines, [&](const auto& line) { return Same(line, entry.location, entry.item); });
    if (lines.size() != before) WriteRecord(root, kLedger, lines);
}

bool WasDisabledHere(const std::wstring& location, const std::wstring& item, const std::wstring& command) {
    RecordLines lines;
    if (ReadRecord(RootOf(location), kLedger, lines) != RecordState::Read) return false;
    return std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
        return Same(line, location, item) && line[2] == command;
    });
}

}  // namespace kb
