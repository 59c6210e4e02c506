#include "kinds/TaskSwitch.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "places/Records.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/TaskScheduler.h"
#include "platform/TextCompare.h"
#include "platform/Xml.h"

namespace kb {

namespace {

constexpr wchar_t kLedger[] = L"DisabledTasks";
constexpr std::size_t kLargestDefinition = 1 << 20;
constexpr char kUtf16Mark[] = "\xFF\xFE";

// The definition the file holds now; none when it cannot be read or holds none.
std::optional<TaskDefinition> DefinitionIn(const std::wstring& file) {
    if (IsLink(file)) return std::nullopt;
    const std::optional<std::string> bytes = ReadSmallFile(file, kLargestDefinition);
    if (!bytes) return std::nullopt;
    return ParseTaskDefinition(XmlTextOf(*bytes));
}

// Whether the file holds what was listed, switched as asked, nothing else.
bool HoldsSwitched(const std::wstring& file, TaskDefinition listed, bool enable) {
    listed.enabled = enable;
    return DefinitionIn(file) == listed;
}

// Writes the bytes over the file in place, so that it keeps its own
// security (a task's file is its owner's); never through a link.
bool WriteInPlace(const std::wstring& file, const std::string& bytes) {
    const UniqueFile out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!out || !::GetFileInformationByHandle(out.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    DWORD written = 0;
    return ::SetEndOfFile(out.get()) &&
           ::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && ::FlushFileBuffers(out.get());
}

// Where the scheduler serves its tasks from their files alone, and keeps no
// index beside them, the file is the way: switched in its text, as UTF-16
// the scheduler writes, and read back; put back as it was when that fails.
bool SwitchInFile(const std::wstring& file, const std::wstring& taskPath, const TaskDefinition& listed,
                  bool enable) {
    if (IsLink(file)) return false;
    const std::optional<std::string> bytes = ReadSmallFile(file, kLargestDefinition);
    if (!bytes || bytes->size() % 2 != 0 || !bytes->starts_with(kUtf16Mark)) return false;
    std::wstring text((bytes->size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes->data() + 2, bytes->size() - 2);
    const std::optional<std::wstring> switched = WithEnabled(std::move(text), enable);
    if (!switched) return false;
    std::string out(kUtf16Mark, 2);
    out.append(reinterpret_cast<const char*>(switched->data()), switched->size() * sizeof(wchar_t));
    TaskDefinition wanted = listed;
    wanted.enabled = enable;
    // Only an edit that switches the task and nothing else is written.
    if (ParseTaskDefinition(XmlTextOf(out)) != wanted) return false;
    if (WriteInPlace(file, out) && HoldsSwitched(file, listed, enable) &&
        TaskEnabled(taskPath).value_or(enable) == enable)
        return true;
    WriteInPlace(file, *bytes);
    return false;
}

bool SameLine(const std::vector<std::wstring>& line, const std::wstring& taskPath) {
    return line.size() == 2 && EqualIgnoringCase(line[0], taskPath);
}

void NoteSwitched(const std::wstring& taskPath, bool enabled, const std::wstring& digest) {
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RecordLines lines;
        const RecordState state = ReadRecord(root, kLedger, lines);
        if (state != RecordState::Read) lines.clear();
        const std::size_t before = lines.size();
        std::erase_if(lines, [&](const auto& line) { return SameLine(line, taskPath); });
        if (enabled) {
            if (lines.size() != before) WriteRecord(root, kLedger, lines);
            continue;
        }
        lines.push_back({taskPath, digest});
        // The machine's record where this process may write it, else the user's.
        if (WriteRecord(root, kLedger, lines) == ERROR_SUCCESS) return;
    }
}

}  // namespace

std::optional<std::wstring> WithEnabled(std::wstring xml, bool enabled) {
    const std::wstring value = enabled ? L"true" : L"false";
    // A start tag of that name: "<Name" then '>', '/' or a space.
    const auto startTag = [&](std::wstring_view name, std::size_t from) {
        for (std::size_t at = xml.find(name, from); at != std::wstring::npos; at = xml.find(name, at + 1)) {
            const std::size_t after = at + name.size();
            if (after < xml.size() && (xml[after] == L'>' || xml[after] == L'/' || iswspace(xml[after]))) return at;
        }
        return std::wstring::npos;
    };
    const std::size_t settings = startTag(L"<Settings", 0);
    if (settings == std::wstring::npos) return std::nullopt;
    const std::size_t openEnd = xml.find(L'>', settings);
    if (openEnd == std::wstring::npos) return std::nullopt;
    const std::wstring element = L"<Enabled>" + value + L"</Enabled>";
    if (xml[openEnd - 1] == L'/') {
        xml.replace(settings, openEnd + 1 - settings, L"<Settings>" + element + L"</Settings>");
        return xml;
    }
    const std::size_t close = xml.find(L"</Settings>", openEnd);
    if (close == std::wstring::npos) return std::nullopt;
    const std::size_t enabledAt = startTag(L"<Enabled", openEnd);
    if (enabledAt == std::wstring::npos || enabledAt > close) {
        xml.insert(openEnd + 1, element);
        return xml;
    }
    const std::size_t valueAt = xml.find(L'>', enabledAt), valueEnd = xml.find(L"</Enabled>", enabledAt);
    if (valueAt == std::wstring::npos || valueEnd == std::wstring::npos || valueEnd > close || valueAt > valueEnd)
        return std::nullopt;
    xml.replace(valueAt + 1, valueEnd - valueAt - 1, value);
    return xml;
}

bool DisabledHere(const std::wstring& taskPath, const std::wstring& digest) {
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RecordLines lines;
        if (ReadRecord(root, kLedger, lines) != RecordState::Read) continue;
        if (std::any_of(lines.begin(), lines.end(),
                        [&](const auto& line) { return SameLine(line, taskPath) && line[1] == digest; }))
            return true;
    }
    return false;
}

MoveResult SwitchTask(const std::wstring& file, const std::wstring& taskPath, const TaskDefinition& listed,
                      bool enable) {
    if (IsLink(file)) return MoveResult::Link;
    if (DefinitionIn(file) != listed) return MoveResult::Changed;
    // Only what this program disabled comes back, as it was left.
    if (enable && !DisabledHere(taskPath, DigestOf(file))) return MoveResult::CannotMove;
    const HRESULT result = SetTaskEnabled(taskPath, enable);
    if (result == E_ACCESSDENIED || result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED))
        return MoveResult::NeedsAdministrator;
    bool switched = SUCCEEDED(result) && HoldsSwitched(file, listed, enable);
    // The scheduler answered and changed nothing (or has no way to): where
    // it serves its files alone, the file is the way; where it keeps an
    // index, an edited file would be stale or taken for tampering.
    if (!switched && !SchedulerKeepsIndex()) switched = SwitchInFile(file, taskPath, listed, enable);
    if (!switched) return MoveResult::CannotMove;
    NoteSwitched(taskPath, enable, DigestOf(file));
    return MoveResult::Moved;
}

}  // namespace kb
