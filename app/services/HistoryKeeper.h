#pragma once
// Keeps every record of what the guard did and told: in the history file,
// on the history page's list, in the event log.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/services/EventLog.h"
#include "app/services/History.h"
#include "app/services/HistoryList.h"
#include "policy/Policy.h"
#include "reading/Inventory.h"
#include "guard/Guard.h"
#include "startpage/StartPages.h"
#include "logon/LogonValues.h"

namespace kb {

// Where the user asked for a move.
enum class MoveSource { List, History };

class HistoryKeeper {
public:
    // The file from now on, and what it holds already on the list.
    void Open(const std::wstring& file);
    HistoryList& List() noexcept { return list_; }

    // A record that cannot be written is still shown: it pauses nothing. It
    // waits in memory (the newest kPending) and is written with the next
    // record that can be, tried again at most every kRetryMs.
    //
    // The history is the user's record, not a log of a storm: repeats of
    // one record (its kind, by whom, item and place; a notice's words)
    // within kFoldMs of the last line are folded into the next line, which
    // says how many it stands for.
    void Record(HistoryRecord record);
    // Told once, while it lasts, that the file cannot be written.
    void SetFailureNotice(std::function<void(const std::wstring& text)> notice) {
        failureNotice_ = std::move(notice);
    }
    std::size_t Pending() const noexcept { return pending_.size(); }
    // Writes what waits now, whenever the last try was, and a line for the
    // repeats folded since the last one (at each interval, and at the end).
    void RetryNow();
    // What a check did with an entry.
    void RecordOutcome(const CheckOutcome& outcome);
    void RecordStartPage(const StartPageChange& change);
    void RecordLogonValue(const LogonValueChange& change);
    // A move the user made, from the list or the history.
    void RecordMove(const StartupEntry& entry, MoveSource from);
    // A move the user asked for that was not made, and why.
    void RecordNotMoved(const StartupEntry& entry, const std::wstring& why);
    // The administrator's policy changed: each value, as "Name: value".
    void RecordAdminPolicy(const std::vector<std::wstring>& changes);
    // Something the guard told.
    void RecordNotice(const std::wstring& text);

private:
    static constexpr std::size_t kPending = 10000;
    static constexpr DWORD kRetryMs = 5000;
    static constexpr DWORD kFoldMs = 1000;
    void WritePending();
    // Shows, logs and writes one line.
    void Emit(HistoryRecord record);
    // The line for the repeats folded since the last one, if any.
    void EmitFolded();

    struct Folding {
        HistoryRecord latest;      // the last repeat folded, or the line itself
        DWORD since = 0;           // tick of the last line of these
        unsigned long folded = 0;  // repeats since that line
    };
    std::optional<Folding> folding_;

    HistoryFile file_{L""};
    std::deque<HistoryRecord> pending_;  // not written yet, oldest first
    std::optional<DWORD> failedAt_;      // tick of the last failed write
    bool failureTold_ = false;
    std::function<void(const std::wstring& text)> failureNotice_;
    HistoryList list_;
    EventLog eventLog_;
};

}  // namespace kb
