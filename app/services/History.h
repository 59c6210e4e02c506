#pragma once
// The record of what the guard did and told: every decision (by the policy
// or by the user) and every notice, one line each in a file of the user's
// own, the newest kept when the file would outgrow its bound.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/services/RecordKinds.h"
#include "platform/Handle.h"

namespace kb {

// Who a record says acted, in the file's words; the history page shows
// them in the string table's.
inline constexpr wchar_t kByTheWatch[] = L"the watch";
inline constexpr wchar_t kByYou[] = L"you";
inline constexpr wchar_t kByGroupPolicy[] = L"Group Policy";

struct HistoryRecord {
    // A record of this kind, with its words.
    static HistoryRecord Of(RecordKind kind) {
        HistoryRecord record;
        record.kind = kind;
        record.what = WordsOf(kind).what;
        return record;
    }
    FILETIME when{};    // UTC
    std::optional<RecordKind> kind;  // none for words of another version
    std::wstring what;  // what happened, in the file's words (RecordKindWords)
    std::wstring by;    // kByTheWatch (by the policy), kByYou or kByGroupPolicy
    std::wstring item, command, location;
    std::wstring detail;  // what it started before, why it was not moved, a notice's text
    bool operator==(const HistoryRecord& other) const;
};

class HistoryFile {
public:
    // A file that grows past maxBytes keeps its newest half.
    explicit HistoryFile(std::wstring path, std::uint64_t maxBytes = 1024 * 1024)
        : path_(std::move(path)), maxBytes_(maxBytes) {}
    const std::wstring& Path() const noexcept { return path_; }

    // Adds the record in one write: a crash loses at most this record.
    // False when the file could not be written; it never waits or loops,
    // whatever holds the file.
    bool Append(const HistoryRecord& record);
    // The newest whole records, at most as many as given, oldest first; a
    // line cut off by a crash is left out. Only those are parsed: a page
    // that shows a thousand keeps no more in memory, however long the file.
    std::vector<HistoryRecord> Read(std::size_t newest = SIZE_MAX) const;

private:
    // A replacing that failed is tried again after this long.
    static constexpr DWORD kCompactionRetryMs = 60000;

    // Keeps the newest records within half the bound, through a new file
    // that replaces the old one whole; false when it could not.
    bool Compact(std::uint64_t room);
    bool Open();
    // The file's bytes, of a file past twice its bound only the newest.
    std::string NewestBytes() const;
    // A line break when the file ends in a line a crash cut off.
    std::string EndOfCutLine() const;

    std::wstring path_;
    std::uint64_t maxBytes_;
    UniqueFile file_;  // open for appending once the first record came
    std::optional<DWORD> compactionFailedAt_;  // tick of the last failed replacing
};

// The history file of this user: %LOCALAPPDATA%\Keepboot\history.log.
std::wstring DefaultHistoryPath();

}  // namespace kb
