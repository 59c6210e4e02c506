#include "app/services/History.h"

#include <algorithm>

#include <shlobj.h>

#include "platform/FieldText.h"
#include "platform/Files.h"
#include "platform/Handle.h"

namespace kb {

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string LineOf(const HistoryRecord& r) {
    std::wstring line = std::to_wstring(Ticks(r.when));
    for (const std::wstring* field : {&r.what, &r.by, &r.item, &r.command, &r.location, &r.detail})
        line += L"\t" + EscapedField(*field);
    return Utf8(line) + "\r\n";
}

std::optional<HistoryRecord> RecordOf(const std::wstring& line) {
    const std::vector<std::wstring> f = SplitFields(line);
    if (f.size() != 7 || f[0].empty() || f[0].size() > 19 ||
        f[0].find_first_not_of(L"0123456789") != std::wstring::npos)
        return std::nullopt;
    // At most 19 digits (a FILETIME fits): a damaged line is skipped, and
    // the number cannot overflow.
    const unsigned long long ticks = std::wcstoull(f[0].c_str(), nullptr, 10);
    HistoryRecord r;
    r.when = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    r.what = f[1];
    r.kind = KindOfWhat(r.what);
    r.by = f[2];
    r.item = f[3];
    r.command = f[4];
    r.location = f[5];
    r.detail = f[6];
    return r;
}

// The file's whole lines; a last line without its end was cut by a crash.
std::vector<std::string> WholeLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

bool HistoryRecord::operator==(const HistoryRecord& other) const {
    return Ticks(when) == Ticks(other.when) && what == other.what && by == other.by &&
           item == other.item && command == other.command && location == other.location &&
           detail == other.detail;
}

bool HistoryFile::Append(const HistoryRecord& record) {
    if (path_.empty()) return false;
    const std::string line = LineOf(record);
    std::string bytes = line;
    if (!file_) {
        if (!Open()) return false;
        bytes = EndOfCutLine() + line;
    }
    LARGE_INTEGER size{};
    const DWORD now = ::GetTickCount();
    if (::GetFileSizeEx(file_.get(), &size) && size.QuadPart > 0 &&
        static_cast<std::uint64_t>(size.QuadPart) + bytes.size() > maxBytes_ &&
        (!compactionFailedAt_ || now - *compactionFailedAt_ >= kCompactionRetryMs)) {
        // The file is replaced by its newest half. Where it cannot be (a
        // viewer holds it, something is in the new file's way) the record
        // goes into it all the same, and the replacing is tried again a while
        // later: nothing here waits or loops.
        file_.reset();
        if (Compact(line.size()))
            compactionFailedAt_.reset();
        else
            compactionFailedAt_ = now;
        if (!Open()) return false;
        bytes = EndOfCutLine() + line;
    }
    DWORD written = 0;
    return ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool HistoryFile::Open() {
    // Kept open from now on: one write a record, however many come.
    MakeFolder(path_.substr(0, path_.rfind(L'\\')));
    file_.reset(::CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
}

std::string HistoryFile::EndOfCutLine() const {
    // A line a crash cut off is ended first, so the next record stands whole.
    UniqueFile reader(::CreateFileW(path_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    char last = '\n';
    DWORD read = 0;
    if (reader && ::SetFilePointer(reader.get(), -1, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
        ::ReadFile(reader.get(), &last, 1, &read, nullptr);
    return read == 1 && last != '\n' ? "\r\n" : "";
}

std::vector<HistoryRecord> HistoryFile::Read(std::size_t newest) const {
    std::vector<HistoryRecord> records;
    const std::string bytes = NewestBytes();
    // From the end, line by line: a line counts once its newline is written.
    for (std::size_t end = bytes.rfind('\n'); end != std::string::npos && records.size() < newest;) {
        const std::size_t before = end == 0 ? std::string::npos : bytes.rfind('\n', end - 1);
        const std::size_t from = before == std::string::npos ? 0 : before + 1;
        std::string line = bytes.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (auto record = RecordOf(Wide(line))) records.push_back(std::move(*record));
        end = before;
    }
    std::reverse(records.begin(), records.end());
    return records;
}

std::string HistoryFile::NewestBytes() const {
    // A file that outgrew its bound (it could not be replaced for a while)
    // is read from its newest part: the line cut there is left out.
    UniqueFile file(::CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return {};
    const std::uint64_t limit = maxBytes_ * 2;
    const std::uint64_t skip = static_cast<std::uint64_t>(size.QuadPart) > limit
                                   ? static_cast<std::uint64_t>(size.QuadPart) - limit
                                   : 0;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(skip);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return {};
    std::string bytes(static_cast<std::size_t>(static_cast<std::uint64_t>(size.QuadPart) - skip), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)))
        return {};
    bytes.resize(read);
    if (skip > 0) bytes.erase(0, bytes.find('\n') == std::string::npos ? bytes.size() : bytes.find('\n') + 1);
    return bytes;
}

bool HistoryFile::Compact(std::uint64_t room) {
    // Of a file grown far past its bound, only the newest part is read.
    const std::vector<std::string> lines = WholeLines(NewestBytes());
    std::uint64_t kept = room;
    std::size_t first = lines.size();
    while (first > 0 && kept + lines[first - 1].size() + 2 <= maxBytes_ / 2)
        kept += lines[--first].size() + 2;
    std::string newest;
    for (std::size_t i = first; i < lines.size(); ++i) newest += lines[i] + "\r\n";
    const std::wstring fresh = path_ + L".new";
    {
        UniqueFile file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !::WriteFile(file.get(), newest.data(), static_cast<DWORD>(newest.size()), &written,
                         nullptr) ||
            written != newest.size() || !::FlushFileBuffers(file.get()))
            return false;
    }
    // The old file is replaced whole or not at all.
    if (::MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(fresh.c_str());
    return false;
}

std::wstring DefaultHistoryPath() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return std::wstring(folder) + L"\\Keepboot\\history.log";
}

}  // namespace kb
