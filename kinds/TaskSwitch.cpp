#include "kinds/TaskSwitch.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

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

// The file held against every other writer while it is switched in its
// text (a reader meanwhile finds it whole or half written, as while any
// writer writes): never through a link, nor a file with another name besides.
class HeldDefinition {
public:
    explicit HeldDefinition(const std::wstring& file)
        : file_(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!file_ || !::GetFileInformationByHandle(file_.get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks != 1 ||
            info.nFileSizeHigh != 0 || info.nFileSizeLow > kLargestDefinition)
            return;
        bytes_.resize(info.nFileSizeLow);
        DWORD read = 0;
        held_ = ::ReadFile(file_.get(), bytes_.data(), info.nFileSizeLow, &read, nullptr) && read == bytes_.size();
    }
    bool Held() const { return held_; }
    const std::string& Bytes() const { return bytes_; }
    // Written from its start, then cut to the new length: a failure leaves
    // at least as many bytes as were written.
    bool Write(const std::string& bytes) {
        DWORD written = 0;
        return ::SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) == 0 &&
               ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size() && ::SetEndOfFile(file_.get()) && ::FlushFileBuffers(file_.get());
    }

private:
    UniqueFile file_;
    std::string bytes_;
    bool held_ = false;
};

// Where the scheduler serves its tasks from their files alone, and keeps no
// index beside them, the file is the way: switched in its text, as UTF-16
// the scheduler writes, and read back; put back as it was when that fails.
bool SwitchInFile(const std::wstring& file, const std::wstring& taskPath, const TaskDefinition& listed,
                  bool enable) {
    TaskDefinition wanted = listed;
    wanted.enabled = enable;
    std::string before, out;
    {
        HeldDefinition held(file);
        before = held.Bytes();
        // What was listed, read again under the hold: nobody changes it between.
        if (!held.Held() || before.size() % 2 != 0 || !before.starts_with(kUtf16Mark) ||
            ParseTaskDefinition(XmlTextOf(before)) != listed)
            return false;
        std::wstring text((before.size() - 2) / 2, L'\0');
        std::memcpy(text.data(), before.data() + 2, before.size() - 2);
        const std::optional<std::wstring> switched = WithEnabled(std::move(text), enable);
        if (!switched) return false;
        out.assign(kUtf16Mark, 2);
        out.append(reinterpret_cast<const char*>(switched->data()), switched->size() * sizeof(wchar_t));
        // Only an edit that switches the task and nothing else is written.
        if (ParseTaskDefinition(XmlTextOf(out)) != wanted) return false;
        if (!held.Write(out)) {
            held.Write(before);
            return false;
        }
    }
    // Read back once let go, by the scheduler too.
    if (HoldsSwitched(file, listed, enable) && TaskEnabled(taskPath).value_or(enable) == enable) return true;
    // Put back as it was, unless someone else wrote it meanwhile.
    HeldDefinition again(file);
    if (again.Held() && again.Bytes() == out) again.Write(before);
    return false;
}

bool SameLine(const std::vector<std::wstring>& line, const std::wstring& taskPath) {
    return line.size() == 2 && EqualIgnoringCase(line[0], taskPath);
}

// A task of another account is the machine's to have on record, in the
// machine's record, which only administrators write; the user's own in the
// user's.
HKEY LedgerRoot(bool machine) {
    return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

void NoteSwitched(const std::wstring& taskPath, bool enabled, const std::wstring& digest, bool machine) {
    const HKEY root = LedgerRoot(machine);
    RecordLines lines;
    if (ReadRecord(root, kLedger, lines) != RecordState::Read) lines.clear();
    const std::size_t before = lines.size();
    std::erase_if(lines, [&](const auto& line) { return SameLine(line, taskPath); });
    if (!enabled && !digest.empty()) lines.push_back({taskPath, digest});
    if (lines.size() != before || !enabled) WriteRecord(root, kLedger, lines);
}

}  // namespace

std::optional<std::wstring> WithEnabled(std::wstring xml, bool enabled) {
    const std::wstring value = enabled ? L"true" : L"false";
    // A start tag of that name: "<Name" then '>', '/' or a space.
    const auto startTag = [&](std::wstring_view name, std::size_t from) {
        for (std::size_t at = xml.find(name, from); at != std::wstring::npos; at = xml.find(name, at + 1)) {
            const std::size_t after = at + name.size();
            if (after < xml.size() && (xml[after] == L'>' || xml[after] == L'/' || std::iswspace(xml[after]))) return at;
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

bool DisabledHere(const std::wstring& taskPath, const std::wstring& digest, bool machine) {
    RecordLines lines;
    if (digest.empty() || ReadRecord(LedgerRoot(machine), kLedger, lines) != RecordState::Read) return false;
    return std::any_of(lines.begin(), lines.end(),
                       [&](const auto& line) { return SameLine(line, taskPath) && line[1] == digest; });
}

MoveResult SwitchTask(const std::wstring& file, const std::wstring& taskPath, const TaskDefinition& listed,
                      bool enable, bool machine) {
    if (IsLink(file)) return MoveResult::Link;
    if (DefinitionIn(file) != listed) return MoveResult::Changed;
    // Only what this program disabled comes back, as it was left.
    if (enable && !DisabledHere(taskPath, DigestOf(file), machine)) return MoveResult::CannotMove;
    const HRESULT result = SetTaskEnabled(taskPath, enable);
    if (result == E_ACCESSDENIED) return MoveResult::NeedsAdministrator;  // HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)
    // A scheduler that did not answer may still switch it off: on the
    // ledger, so that Enable can give it back; a line for a task that stayed
    // on harms nothing.
    if (result == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) {
        if (!enable) NoteSwitched(taskPath, false, DigestOf(file), machine);
        return MoveResult::CannotMove;
    }
    if (FAILED(result)) return MoveResult::CannotMove;
    // Read back from the definition the scheduler keeps, and from the
    // scheduler where it answers: both, since a scheduler may answer for a
    // setting it never wrote.
    const bool inFile = HoldsSwitched(file, listed, enable);
    bool switched = inFile && TaskEnabled(taskPath).value_or(enable) == enable;
    if (!switched && !inFile && !SchedulerKeepsIndex()) {
        // The scheduler answered and changed nothing: where it serves its
        // files alone, the file is the way; where it keeps an index, an
        // edited file would be stale or taken for tampering.
        switched = SwitchInFile(file, taskPath, listed, enable);
    } else if (!switched) {
        // Half a move is none: what the scheduler did is undone, and said.
        SetTaskEnabled(taskPath, !enable);
    }
    if (!switched) return MoveResult::CannotMove;
    NoteSwitched(taskPath, enable, DigestOf(file), machine);
    return MoveResult::Moved;
}

}  // namespace kb
