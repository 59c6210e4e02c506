// Where an item-place entry goes when it is disabled or enabled, and what a
// move cut short is made into at the next start.
#include "platform/Error.h"
#include "platform/Files.h"
#include "store/ItemTransfer.h"
#include "store/Items.h"
#include "store/KeptItems.h"
#include "store/StoreLayout.h"

namespace kb {

namespace {

ItemMove MoveOf(const AsideEntry& entry, ItemSpot to, unsigned long toKept = 0) {
    return {entry.place, entry.name, entry.isKey, entry.spot, entry.kept, to, toKept};
}

// The kept entries of the place and name, newest first.
std::vector<unsigned long> KeptNamesakes(const AsideEntry& entry) {
    std::vector<unsigned long> numbers;
    try {
        for (const KeptRecord& record : ReadKeptRecords(entry.place.root, entry.place.view))
            if (record.Fits(entry.place) && record.name == entry.name && record.isKey == entry.isKey)
                numbers.insert(numbers.begin(), record.number);
    } catch (const Error&) {
    }
    return numbers;
}

// Where a disabled entry of this name already is that it may join (it
// holds no value of one name with other data): aside, else the newest kept
// one. None when there is none.
std::optional<std::pair<ItemSpot, unsigned long>> JoinableSpot(const AsideEntry& entry,
                                                               const RegTree& tree) {
    ItemMove probe = MoveOf(entry, ItemSpot::Aside);
    if (entry.place.KeepsAsideInPlace()) {
        const SpotReading aside = ReadSpot(probe, ItemSpot::Aside, 0);
        if (aside.tree && !Conflicts(tree, *aside.tree)) return std::pair{ItemSpot::Aside, 0ul};
    }
    for (const unsigned long number : KeptNamesakes(entry)) {
        const SpotReading kept = ReadSpot(probe, ItemSpot::Kept, number);
        if (kept.tree && !Conflicts(tree, *kept.tree)) return std::pair{ItemSpot::Kept, number};
    }
    return std::nullopt;
}

MoveResult Disable(const AsideEntry& entry, const RegTree& tree) {
    // An entry of that name that holds nothing else is joined: what Windows
    // would have run had both been live.
    if (const auto joinable = JoinableSpot(entry, tree))
        return Transfer(MoveOf(entry, joinable->first, joinable->second));
    const HKEY root = entry.place.root;
    const REGSAM view = entry.place.view;
    if (!entry.place.KeepsAsideInPlace())
        return Transfer(MoveOf(entry, ItemSpot::Kept, NextKeptNumber(root, view)));
    // The aside name is taken by another entry: that older one is kept whole
    // in Keepboot's own key, and the newest goes where the other lister
    // enables it from. Nothing is overwritten, nothing stays live.
    const ItemMove probe = MoveOf(entry, ItemSpot::Aside);
    if (ReadSpot(probe, ItemSpot::Aside, 0).there) {
        AsideEntry older = entry;
        older.spot = ItemSpot::Aside;
        const MoveResult made = Transfer(MoveOf(older, ItemSpot::Kept, NextKeptNumber(root, view)));
        if (made != MoveResult::Moved) return made == MoveResult::Changed ? MoveResult::CannotMove : made;
    }
    return Transfer(MoveOf(entry, ItemSpot::Aside));
}

}  // namespace

MoveResult MoveItem(const AsideEntry& entry) {
    // Still what was listed.
    const SpotReading now = ReadSpot(MoveOf(entry, ItemSpot::Live), entry.spot, entry.kept);
    if (!now.there) return MoveResult::Changed;
    if (!now.tree) return MoveResult::CannotMove;
    const std::wstring command = entry.isKey                 ? CommandOf(*now.tree, entry.place.kind)
                                 : now.tree->values.empty() || !now.tree->values[0].second.IsText()
                                     ? std::wstring()
                                     : now.tree->values[0].second.Text();
    if (command != entry.command) return MoveResult::Changed;
    if (entry.Enabled()) return Disable(entry, *now.tree);
    // Back live; a live entry of that name holding other data keeps it.
    return Transfer(MoveOf(entry, ItemSpot::Live));
}

MoveResult JoinLeftovers(const AsideEntry& moved) {
    AsideEntry live = moved;
    live.spot = ItemSpot::Live;
    live.kept = 0;
    const SpotReading left = ReadSpot(MoveOf(live, ItemSpot::Aside), ItemSpot::Live, 0);
    if (!left.there) return MoveResult::Moved;
    if (!left.tree) return MoveResult::CannotMove;
    const auto joinable = JoinableSpot(live, *left.tree);
    if (!joinable) return MoveResult::NameTaken;
    return Transfer(MoveOf(live, joinable->first, joinable->second));
}

std::vector<FinishedMove> FinishInterruptedMoves(HKEY root, REGSAM view) {
    std::vector<ItemPlace> places = ItemPlaces();
    for (const RunKeyPlace& runKey : RunKeyPlaces()) places.push_back(AsidePlaceOf(runKey));
    std::vector<FinishedMove> finished;
    const std::vector<JournalRecord> records = ReadJournal(root, view, places);
    if (records.empty()) return finished;  // nothing to write: no write rights asked for
    // Moves of places this process may not write wait for one that may.
    const OpenedKey journal = RegKey::OpenForWriting(root, kMovesKey, view);
    for (const JournalRecord& record : records) {
        const ItemMove& move = record.move;
        FinishedMove outcome;
        outcome.entry = {move.place, move.name, move.isKey, {}, move.to, move.toKept};
        if (!journal && journal.Refused()) {
            outcome.entry.spot = move.from;
            outcome.entry.kept = move.fromKept;
            outcome.result = MoveResult::NeedsAdministrator;
            finished.push_back(std::move(outcome));
            continue;
        }
        // Toward a live place, only a whole copy goes live: one cut short is
        // taken back, and the entry stays disabled. Any other move is
        // finished, so nothing disabled comes back by itself.
        if (move.to == ItemSpot::Live && !record.copied) {
            outcome.result = UndoCopy(move);
            outcome.entry.spot = move.from;
            outcome.entry.kept = move.fromKept;
            if (outcome.result == MoveResult::Moved) StrikeOff(move, record.number);
        } else {
            outcome.result = Transfer(move, record.number);
            outcome.finished = true;
        }
        finished.push_back(std::move(outcome));
    }
    return finished;
}

MoveResult EnableAsideFile(const ShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    if (folder.empty()) return MoveResult::CannotMove;
    const std::wstring target = folder + L"\\" + entry.fileName;
    // Never out of, or into, a place that leads elsewhere.
    const std::wstring aside = folder + L"\\" + kAsideKey;
    for (const std::wstring& path : {folder, aside, entry.path})
        if (const DWORD attributes = AttributesOf(path);
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return MoveResult::Link;
    if (!SamePath(entry.path.substr(0, entry.path.rfind(L'\\')), aside)) return MoveResult::CannotMove;
    if (!FileExists(entry.path)) return MoveResult::Changed;
    if (FileExists(target) || DirectoryExists(target)) {
        // The same file back already: only the one aside goes.
        if (!SameContents(entry.path, target)) return MoveResult::NameTaken;
        return DeleteFileAt(entry.path).Done() ? MoveResult::Moved : MoveResult::CannotMove;
    }
    const auto failed = [](const FileResult& result) {
        return result.Refused() ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
    };
    if (const FileResult copied = CopyFileTo(entry.path, target); !copied.Done()) return failed(copied);
    // The file aside goes only once its copy holds the very same bytes.
    if (!SameContents(entry.path, target)) {
        DeleteFileAt(target);
        return MoveResult::CannotMove;
    }
    if (const FileResult removed = DeleteFileAt(entry.path); !removed.Done()) {
        DeleteFileAt(target);
        return failed(removed);
    }
    return MoveResult::Moved;
}

}  // namespace kb
