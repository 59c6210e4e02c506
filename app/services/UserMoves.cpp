#include "app/services/UserMoves.h"

#include <algorithm>

#include "places/CommandLine.h"
#include "platform/TextCompare.h"

#include "platform/ShowableText.h"
#include "guard/EntryKey.h"
#include "guard/EntryKinds.h"
#include "app/Texts.h"
#include "app/services/FindingWords.h"

namespace kb {

namespace {

// Whether the entry is still where it was, in a reading taken since.
bool StillThere(const Inventory& now, const StartupEntry& entry) {
    const std::vector<std::wstring> key = KeyOf(entry);
    std::size_t at = 0;
    return FindByKey(now, key, at).has_value();
}

}  // namespace

std::vector<NotMoved> MoveForUser(Workbench& bench, const std::vector<StartupEntry>& entries,
                                  MoveSource from) {
    // No check meanwhile, also while the elevated instance runs.
    const Watcher::Hold hold = bench.watcher.HoldChecks();
    std::vector<NotMoved> notMoved;
    std::vector<StartupEntry> needRights;
    for (const StartupEntry& entry : entries) {
        const MoveResult result = bench.guard.Move(entry);
        if (result == MoveResult::Moved)
            bench.history.RecordMove(entry, from);
        else if (result == MoveResult::NeedsAdministrator)
            needRights.push_back(entry);
        else
            notMoved.push_back({entry, result});
    }
    if (!needRights.empty()) {
        const std::vector<MoveResult> elevated = bench.moveElevated(needRights);
        // What the elevated instance says it moved is read back: one that
        // went for another reason meanwhile is not the user's move. What
        // came meanwhile is not made known: the next check handles it. Read
        // afresh, not through the list's reload, which a Quit while the
        // instance worked stops: a move made is not to be said to have
        // failed. The caller lists the places again after the moves.
        const Inventory now = bench.guard.ReadPlacesNow();
        for (std::size_t i = 0; i < needRights.size(); ++i) {
            const StartupEntry& entry = needRights[i];
            const MoveResult said = i < elevated.size() ? elevated[i] : MoveResult::CannotMove;
            if (said == MoveResult::Moved && !StillThere(now, entry)) {
                bench.guard.NoteMovedElsewhere(entry);
                bench.history.RecordMove(entry, from);
            } else
                notMoved.push_back({entry, said == MoveResult::Moved ? MoveResult::CannotMove : said});
        }
    }
    for (const NotMoved& failure : notMoved) bench.history.RecordNotMoved(failure.entry, WhyNotMoved(failure.why));
    return notMoved;
}

std::optional<StartupEntry> FindPutAside(const Inventory& known, const EntryText& wanted) {
    const std::vector<StartupEntry> entries = known.InListOrder();
    const auto putAside = [&](const StartupEntry& e) {
        const EntryText text = TextOf(e);
        // Another user's, or one that stays stored, is never the user's to bring back.
        return HeldAside(e) && text.UsersToBringBack() && text.item == wanted.item &&
               text.location == wanted.location;
    };
    const auto starts = [](const std::wstring& command) { return SplitCommandLine(command).program; };
    auto stored = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& e) {
        return putAside(e) && TextOf(e).command == wanted.command;
    });
    if (stored == entries.end())
        stored = std::find_if(entries.begin(), entries.end(), [&](const StartupEntry& e) {
            return putAside(e) && EqualIgnoringCase(starts(TextOf(e).command), starts(wanted.command));
        });
    if (stored == entries.end()) return std::nullopt;
    return *stored;
}

std::wstring ReportOf(const std::vector<NotMoved>& notMoved) {
    std::wstring report;
    for (const NotMoved& failure : notMoved) {
        const EntryText text = TextOf(failure.entry);
        report += (report.empty() ? L"" : L"\n") +
                  UiText(text.enabled ? IDS_CANNOT_DISABLE_ITEM : IDS_CANNOT_ENABLE_ITEM,
                         {Showable(text.item), Showable(LocationWithNote(text)), WhyNotMoved(failure.why)});
    }
    return report;
}

}  // namespace kb
