// The watch's checks of the single values: the start pages and the logon
// values, each compared with what it defends, and what came of each told.
#include "watch/Watcher.h"

namespace kb {

void Watcher::CheckStartPagesNow() {
    for (StartPageChange change : CheckStartPages(startPagePolicy_, defended_, host_.askAboutValue)) {
        change.atStart = firstCheck_;
        leftAsIs_.at(change.index) = change.decision == Decision::Leave && !change.notPutBack;
        if (change.notPutBack) {
            // Told once while it lasts; never on record as put back.
            const auto told = startPageNotPutBack_.find(change.index);
            if (told != startPageNotPutBack_.end() && told->second == change.found) continue;
            startPageNotPutBack_[change.index] = change.found;
            Tell(Finding{.kind = Finding::Kind::StartPageNotPutBack,
                         .item = kStartPageValues[change.index].caption,
                         .found = change.found});
            continue;
        }
        startPageNotPutBack_.erase(change.index);
        Tell(change);
        if (change.decision == Decision::Allow) {
            defended_.at(change.index) = change.found;
            if (keeping_) KeepDefended(defended_);
            if (host_.startPageAccepted) host_.startPageAccepted(change.index, change.found);
            if (change.notWrittenBack)
                Tell(Finding{.kind = Finding::Kind::StartPageNotWrittenBack,
                             .item = kStartPageValues[change.index].caption,
                             .found = change.found,
                             .reason = change.notWrittenBack->Context(),
                             .code = change.notWrittenBack->Code()});
        }
    }
}

void Watcher::ReadKnownGoodNow() {
    knownGood_ = ReadKnownGood();
    std::vector<bool> fromRecord(knownGood_.size(), false);
    if (keeping_) knownGood_ = RestoreKnownGood(knownGood_, fromRecord);
    keptGood_ = knownGood_;
    // A value with no record yet is kept at the first check, so that what
    // changes while Keepboot is not running is found at the next start.
    for (std::size_t i = 0; keeping_ && i < knownGood_.size(); ++i)
        if (!fromRecord[i] && knownGood_[i]) keptGood_.clear();
    // A machine tampered with before Keepboot came is seen: each value
    // there that is not Windows' own is said once, and guarded as it is.
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size() && i < knownGood_.size(); ++i)
        if (!fromRecord[i] && knownGood_[i] && *knownGood_[i] && !IsWindowsDefault(values[i], *knownGood_[i])) {
            ++counters_.notices;
            Tell(LogonValueChange{i, *knownGood_[i], WindowsDefaultOf(values[i]), Decision::Allow, false,
                                  LogonValueChange::Kind::NotWindowsOwn, {}});
        }
}

bool Watcher::FirstToldOf(std::map<std::size_t, ValueState>& told, const LogonValueChange& change) {
    const auto it = told.find(change.index);
    if (it != told.end() && it->second == change.found) return false;
    told[change.index] = change.found;
    return true;
}

void Watcher::CheckLogonValuesNow() {
    using Kind = LogonValueChange::Kind;
    std::vector<LogonValueChange> changes = CheckLogonValues(startupPolicy_, knownGood_, host_.askAboutValue);
    // What could not be kept is kept at a later check.
    if (keeping_ && knownGood_ != keptGood_ && KeepKnownGood(knownGood_)) keptGood_ = knownGood_;
    for (LogonValueChange& change : changes) {
        change.atStart = firstCheck_;
        const LogonValue& value = LogonValues().at(change.index);
        const Finding what{.kind = Finding::Kind::LogonValueRefused, .item = value.name,
                           .location = value.Location(), .found = TextOf(change.found)};
        // Each told once while it lasts, not at every check.
        if (change.kind == Kind::Refused) {
            if (FirstToldOf(refusedTold_, change)) Tell(what);
            continue;
        }
        if (change.kind == Kind::NotPutBack) {
            Finding failed = what;
            failed.kind = Finding::Kind::LogonValueNotPutBack;
            failed.reason = change.why;
            failed.code = change.code;
            if (FirstToldOf(notPutBackTold_, change)) Tell(failed);
            continue;
        }
        if (change.kind == Kind::MissingProgram && FirstToldOf(missingTold_, change)) {
            Finding missing = what;
            missing.kind = Finding::Kind::LogonValueNamesMissing;
            missing.names = change.missing;
            Tell(missing);
        }
        Tell(change);
    }
}

}  // namespace kb
