#include "guard/NewEntries.h"

#include <variant>

#include "platform/TextCompare.h"
#include "guard/DisabledLedger.h"
#include "kinds/EntryMoves.h"

namespace kb {

namespace {

// What a check's move makes of a new entry, for the record.
CheckOutcome::Action OutcomeOf(MoveResult result) {
    switch (result) {
    case MoveResult::Moved: return CheckOutcome::Disabled;
    case MoveResult::NeedsAdministrator: return CheckOutcome::WaitsForAdministrator;
    default: return CheckOutcome::NotMoved;
    }
}

}  // namespace

void NewEntries::Handle(const StartupEntry& entry, LiveEntries& kept, CheckRound& round) {
    std::visit(
        [&]<typename Entry>(const Entry& e) {
            // Only a live entry is new: a stored one or a logon value is not
            // of the known set.
            if constexpr (IsLiveKind<Entry>()) HandleNew(e, ListOf<Entry>(kept), round);
        },
        entry);
}

// An entry is known by its place, its name and what it starts: a known name
// elsewhere, or a known entry that now starts something else, is new. An
// entry that could not be disabled is not asked about again until it
// changes.
template <typename Entry>
void NewEntries::HandleNew(const Entry& entry, std::vector<Entry>& kept, CheckRound& round) {
    const std::wstring identity = IdentityOf(entry);
    if (unmovable_.contains(identity)) {
        round.unmovable.insert(identity);
        return;
    }
    // What the boot itself loads is never disabled without the user's word.
    bool alwaysAsked = false;
    if constexpr (requires { AlwaysAsked(entry); }) alwaysAsked = AlwaysAsked(entry);
    const bool asked = round.policy == Policy::Ask || (alwaysAsked && round.policy == Policy::DisableSilently);
    const Decision decision = asked                                      ? round.ask(entry)
                              : round.policy == Policy::DisableSilently ? Decision::Disable
                                                                         : Decision::Allow;
    if (stopped_()) return;
    if (decision == Decision::Later) {
        // Unanswered yet: new still at the next check, which may bring the
        // answer. What its name started before stays known meanwhile, so
        // the question and its record can say it, and its place is read
        // again.
        for (const Entry* namesake : known_.Namesakes(entry)) kept.push_back(*namesake);
        round.waiting.insert(FoldCase(PlaceReadOf(entry, known_.Folders())));
        if (atStart_) waitingSinceStart_.insert(identity);
        return;
    }
    if (decision == Decision::Leave) Record(CheckOutcome::Left, entry, asked);
    if (decision == Decision::Disable) {
        // A new entry starts something, so moving it is disabling it.
        MoveResult result = MoveEntry(entry, known_.Folders());
        // The user who answered may lend the rights; nobody is asked for
        // them behind the user's back.
        if (result == MoveResult::NeedsAdministrator && asked && elevate_)
            result = elevate_(entry);
        if (stopped_()) return;
        NoteDisabling(entry, result, asked, round);
    }
    if (decision == Decision::Allow) {
        Record(CheckOutcome::Allowed, entry, asked);
        kept.push_back(entry);
        // Known at once, and kept even if the check ends here (Quit while
        // it runs): the user's answer outlives the process.
        known_.NoteAllowed(entry);
        round.allowed(entry);
    }
}

template <typename Entry>
void NewEntries::NoteDisabling(const Entry& entry, MoveResult result, bool asked, CheckRound& round) {
    // One that changed meanwhile (or is still being written) is not on
    // record: the next check sees it as it is then.
    if (result == MoveResult::Changed) return;
    Record(OutcomeOf(result), entry, asked);
    if (result == MoveResult::Moved) {
        NoteDisabledHere(TextOf(entry));
        settling_.Moved(entry);
        if (const auto before = known_.PreviousCommand(entry)) tell_(ChangedEntry{TextOf(entry), *before});
        return;
    }
    round.unmovable.insert(IdentityOf(entry));
    if (result == MoveResult::NeedsAdministrator)
        tell_(NeedsAdministrator{TextOf(entry)});
    else
        tell_(NotDisabled{TextOf(entry), result});
}

void NewEntries::Record(CheckOutcome::Action action, const StartupEntry& entry, bool asked) {
    const bool waitedSinceStart = std::visit(
        [&](const auto& e) {
            if constexpr (requires { IdentityOf(e); }) return waitingSinceStart_.erase(IdentityOf(e)) > 0;
            return false;
        },
        entry);
    const bool atStart = atStart_ || waitedSinceStart;
    tell_(CheckOutcome{action, TextOf(entry), asked, known_.PreviousCommand(entry).value_or(L""), atStart});
}

void NewEntries::PassOver(const std::wstring& location, CheckRound& round) const {
    for (const std::wstring& identity : unmovable_)
        if (identity.starts_with(location + L"\n")) round.unmovable.insert(identity);
}

void NewEntries::EndRound(CheckRound& round, bool everyPlace) {
    if (!everyPlace) {
        unmovable_.merge(round.unmovable);
        return;
    }
    unmovable_ = std::move(round.unmovable);
    atStart_ = false;
}

}  // namespace kb
