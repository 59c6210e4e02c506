#include "app/services/HistoryKeeper.h"

#include <utility>

#include "app/Texts.h"
#include "app/services/FindingWords.h"
#include "startpage/StartPages.h"

namespace kb {

void HistoryKeeper::Open(const std::wstring& file) {
    file_ = HistoryFile(file);
    list_.Show(file_.Read(HistoryList::kShown));
}

namespace {

bool Repeats(const HistoryRecord& a, const HistoryRecord& b) {
    return a.kind == b.kind && a.by == b.by && a.item == b.item && a.location == b.location &&
           (a.kind != RecordKind::Notice || a.detail == b.detail);
}

HistoryRecord StandingFor(HistoryRecord record, unsigned long folded) {
    if (folded > 0)
        record.detail += (record.detail.empty() ? L"" : L"; ") + UiText(IDS_FOLDED, {std::to_wstring(folded)});
    return record;
}

}  // namespace

void HistoryKeeper::Record(HistoryRecord record) {
    ::GetSystemTimeAsFileTime(&record.when);
    const DWORD now = ::GetTickCount();
    if (folding_ && Repeats(folding_->latest, record)) {
        if (now - folding_->since < kFoldMs) {
            folding_->latest = std::move(record);
            ++folding_->folded;
            return;
        }
        // A second on: this line stands for the repeats before it too.
        const unsigned long folded = std::exchange(folding_->folded, 0);
        folding_->latest = record;
        folding_->since = now;
        Emit(StandingFor(std::move(record), folded));
        return;
    }
    EmitFolded();
    folding_ = Folding{record, now, 0};
    Emit(std::move(record));
}

void HistoryKeeper::EmitFolded() {
    if (!folding_ || folding_->folded == 0) return;
    const unsigned long folded = std::exchange(folding_->folded, 0);
    folding_->since = ::GetTickCount();
    // The last repeat, standing for those before it since the last line.
    Emit(StandingFor(folding_->latest, folded - 1));
}

void HistoryKeeper::Emit(HistoryRecord record) {
    list_.Add(record);
    eventLog_.Report(record);
    pending_.push_back(std::move(record));
    if (pending_.size() > kPending) pending_.pop_front();  // on the page and in the event log all the same
    WritePending();
    // Said once; the notice is a record too, which the log is not asked
    // about again until it took records.
    if (const std::optional<std::wstring> trouble = eventLog_.TakeTrouble(); trouble && failureNotice_)
        failureNotice_(UiText(IDS_EVENT_LOG_SILENT, {*trouble}));
}

void HistoryKeeper::RetryNow() {
    EmitFolded();
    failedAt_.reset();
    WritePending();
}

void HistoryKeeper::WritePending() {
    const DWORD now = ::GetTickCount();
    if (failedAt_ && now - *failedAt_ < kRetryMs) return;
    while (!pending_.empty() && file_.Append(pending_.front())) pending_.pop_front();
    if (pending_.empty()) {
        failedAt_.reset();
        failureTold_ = false;
        return;
    }
    failedAt_ = now;
    if (std::exchange(failureTold_, true) || !failureNotice_) return;
    failureNotice_(UiText(IDS_HISTORY_NOT_WRITTEN, {file_.Path()}));
}

void HistoryKeeper::RecordNotice(const std::wstring& text) {
    HistoryRecord record = HistoryRecord::Of(RecordKind::Notice);
    record.detail = text;
    Record(std::move(record));
}

void HistoryKeeper::RecordAdminPolicy(const std::vector<std::wstring>& changes) {
    HistoryRecord record = HistoryRecord::Of(RecordKind::AdminPolicyChanged);
    record.by = kByGroupPolicy;
    for (const std::wstring& change : changes)
        record.detail += (record.detail.empty() ? L"" : L"; ") + change;
    Record(std::move(record));
}

void HistoryKeeper::RecordOutcome(const CheckOutcome& outcome) {
    static constexpr RecordKind kKind[] = {RecordKind::Disabled, RecordKind::Allowed,
                                           RecordKind::Left, RecordKind::CouldNotDisable,
                                           RecordKind::NeedsAdministrator};
    HistoryRecord record = HistoryRecord::Of(kKind[outcome.action]);
    record.by = outcome.asked ? kByYou : kByTheWatch;
    record.item = outcome.entry.item;
    record.command = outcome.entry.command;
    record.location = outcome.entry.location;
    if (!outcome.previously.empty()) record.detail = UiText(IDS_DETAIL_BEFORE, {outcome.previously});
    if (outcome.atStart) record.detail += (record.detail.empty() ? L"" : L"; ") + UiText(IDS_FOUND_AT_START);
    if (outcome.unanswered) {
        // The watch held it: Enable here puts it back, as for any disable of its.
        record.by = kByTheWatch;
        record.detail += (record.detail.empty() ? L"" : L"; ") + UiText(IDS_HELD_AT_SESSION_END);
    }
    Record(std::move(record));
}

void HistoryKeeper::RecordStartPage(const StartPageChange& change) {
    HistoryRecord record = HistoryRecord::Of(change.decision == Decision::Disable ? RecordKind::StartPagePutBack
                                             : change.decision == Decision::Allow
                                                 ? RecordKind::StartPageAllowed
                                                 : RecordKind::Left);  // to be asked again
    record.by = change.asked ? kByYou : kByTheWatch;
    record.item = kStartPageValues[change.index].caption;
    record.command = change.found;
    record.location = UiText(IDS_INTERNET_EXPLORER);
    record.detail = UiText(IDS_DETAIL_DEFENDED, {change.defended});
    if (change.atStart) record.detail += L"; " + UiText(IDS_FOUND_AT_START);
    Record(std::move(record));
}

void HistoryKeeper::RecordLogonValue(const LogonValueChange& change) {
    using Kind = LogonValueChange::Kind;
    const LogonValue& value = LogonValues().at(change.index);
    const bool ownBack = change.kind == Kind::MissingProgram && change.decision == Decision::Disable;
    if (change.kind == Kind::NotWindowsOwn) {
        // Said, not decided: the user may put Windows' own value back.
        HistoryRecord record = HistoryRecord::Of(RecordKind::NotWindowsOwn);
        record.by = kByTheWatch;
        record.item = value.name;
        record.command = TextOf(change.found);
        record.location = value.Location();
        record.detail = UiText(IDS_DETAIL_NOT_WINDOWS_OWN, {WordsOf(HowItDiffers(value, change.found))});
        Record(std::move(record));
        return;
    }
    HistoryRecord record = HistoryRecord::Of(
        change.kind == Kind::Repaired          ? RecordKind::LogonValueRepaired
        : ownBack                              ? RecordKind::WindowsOwnLogonValuePutBack
        : change.decision == Decision::Disable ? RecordKind::LogonValuePutBack
        : change.decision == Decision::Allow   ? RecordKind::LogonValueAllowed
                                               : RecordKind::Left);  // to be asked again
    record.by = change.asked ? kByYou : kByTheWatch;
    record.item = value.name;
    record.command = TextOf(change.found);
    record.location = value.Location();
    record.detail = UiText(change.kind == Kind::Repaired ? IDS_DETAIL_BEFORE : IDS_DETAIL_KNOWN_GOOD,
                           {TextOf(change.knownGood)});
    std::wstring missing;
    for (const std::wstring& name : change.missing) missing += (missing.empty() ? L"" : L", ") + name;
    if (!missing.empty()) record.detail += L"; " + UiText(IDS_DETAIL_NAMES_MISSING, {missing});
    if (change.atStart) record.detail += L"; " + UiText(IDS_FOUND_AT_START);
    Record(std::move(record));
}

void HistoryKeeper::RecordMove(const StartupEntry& entry, MoveSource from) {
    const EntryText text = TextOf(entry);
    // A live entry moved goes into the store; a stored one comes back.
    const bool fromList = from == MoveSource::List;
    HistoryRecord record = HistoryRecord::Of(
        text.enabled ? (fromList ? RecordKind::DisabledFromList : RecordKind::DisabledFromHistory)
                     : (fromList ? RecordKind::EnabledFromList : RecordKind::EnabledFromHistory));
    record.by = kByYou;
    record.item = text.item;
    record.command = text.command;
    record.location = text.location;
    Record(std::move(record));
}

void HistoryKeeper::RecordNotMoved(const StartupEntry& entry, const std::wstring& why) {
    const EntryText text = TextOf(entry);
    HistoryRecord record =
        HistoryRecord::Of(text.enabled ? RecordKind::CouldNotDisable : RecordKind::CouldNotEnable);
    record.by = kByYou;
    record.item = text.item;
    record.command = text.command;
    record.location = LocationWithNote(text);
    record.detail = why;
    Record(std::move(record));
}

}  // namespace kb
