// What the watch tells its owner: each event once, as it is decided or
// found; the guard's as the guard tells them.
#include <utility>

#include "platform/Error.h"
#include "platform/Overloaded.h"
#include "store/OwnFolder.h"
#include "watch/Watcher.h"

namespace kb {

// Events carry what came from the registry as it is: whoever shows one
// makes it safe to show.
void Watcher::Tell(const WatchEvent& event) {
    if (std::holds_alternative<Finding>(event)) ++counters_.notices;
    if (host_.tell) host_.tell(event);
}

void Watcher::TellOf(const GuardEvent& event) {
    using Kind = Finding::Kind;
    const auto about = [](Kind kind, const EntryText& entry) {
        return Finding{.kind = kind, .item = entry.item, .location = entry.location, .found = entry.command};
    };
    std::visit(
        Overloaded{
            [this](const CheckOutcome& outcome) { Tell(outcome); },
            // What the guard cannot do for want of rights is no failure: a
            // notice that stops nothing, once.
            [&](const NeedsAdministrator& waiting) { Tell(about(Kind::NeedsAdministrator, waiting.entry)); },
            [&](const ChangedEntry& changed) {
                Finding finding = about(Kind::ChangedAndDisabled, changed.entry);
                finding.before = changed.previously;
                Tell(finding);
            },
            [this](const SkippedValue& value) {
                Tell(value.foreign      ? Finding{.kind = Kind::ForeignKey, .location = value.key}
                     : value.unreadable ? Finding{.kind = Kind::PlaceUnreadable, .location = value.key,
                                                  .code = value.code, .unreadable = value.why}
                                        : Finding{.kind = Kind::NotText, .item = value.name, .location = value.key});
            },
            [&](const NotDisabled& failed) {
                Finding finding = about(Kind::CouldNotDisable, failed.entry);
                finding.result = failed.why;
                Tell(finding);
            },
            [this](const RecordsNoted& noted) {
                std::optional<Finding::Whose> firstStart;
                for (const RecordNote& note : noted.notes) {
                    const Finding::Whose whose = note.machine ? Finding::Whose::Machine : Finding::Whose::User;
                    if (note.needsAdministrator)
                        Tell(Finding{.kind = Kind::MachineUnrecorded});
                    else if (note.state == RecordState::Forged)
                        Tell(Finding{.kind = Kind::RecordForged});
                    else if (note.state == RecordState::Vanished)
                        Tell(Finding{.kind = Kind::RecordVanished});
                    else if (note.state == RecordState::Broken)
                        Tell(Finding{.kind = Kind::RecordBroken, .whose = whose});
                    else
                        firstStart = firstStart && *firstStart != whose ? Finding::Whose::Both : whose;
                }
                if (firstStart) Tell(Finding{.kind = Kind::FirstStart, .whose = *firstStart});
            },
            [this](const RecordNotKept& unkept) {
                Tell(Finding{.kind = Kind::RecordNotKept, .code = static_cast<DWORD>(unkept.error)});
            },
            [&](const FinishedMove& move) {
                Finding finding = about(move.result != MoveResult::Moved ? Kind::MoveNotMadeWhole
                                        : move.finished                ? Kind::MoveFinished
                                                                       : Kind::MoveUndone,
                                        TextOf(move.entry));
                finding.result = move.result;
                Tell(finding);
            },
        },
        event);
}

void Watcher::TellOwnFolderRefusal() {
    if (const std::optional<OwnFolderRefusal> refused = TakeOwnFolderRefusal())
        Tell(Finding{.kind = Finding::Kind::OwnFolderRefused, .location = refused->folder, .ownFolder = refused->why});
}

}  // namespace kb
