#include "store/ItemTransfer.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "store/KeptItems.h"

namespace kb {

namespace {

const RegValue* FindValue(const RegTree& tree, const std::wstring& name) {
    for (const auto& [n, value] : tree.values)
        if (EqualIgnoringCase(n, name)) return &value;
    return nullptr;
}

const RegTree* FindSubkey(const RegTree& tree, const std::wstring& name) {
    for (const auto& [n, subtree] : tree.subkeys)
        if (EqualIgnoringCase(n, name)) return &subtree;
    return nullptr;
}

// What a copy wrote, to be taken out again when the move does not go on.
struct Written {
    std::vector<std::pair<std::wstring, std::pair<std::wstring, RegValue>>> values;  // key, value
    std::vector<std::wstring> keys;  // made by the copy, parents first
};

// Writes what the source holds and the target lacks: subkeys first and a
// component's StubPath last, so a copy cut short into a live place starts
// nothing there.
bool WriteMissing(HKEY root, REGSAM view, const std::wstring& path, const RegTree& source,
                  const RegTree* target, Written& written) {
    const bool existed = RegKey::Exists(root, path, view);
    OpenedKey key = RegKey::Create(root, path, view);
    if (!key) return false;
    if (!existed) written.keys.push_back(path);
    for (const auto& [name, subtree] : source.subkeys)
        if (!WriteMissing(root, view, path + L"\\" + name, subtree,
                          target ? FindSubkey(*target, name) : nullptr, written))
            return false;
    std::vector<const std::pair<std::wstring, RegValue>*> order;
    for (const auto& value : source.values) order.push_back(&value);
    std::stable_partition(order.begin(), order.end(),
                          [](const auto* v) { return !EqualIgnoringCase(v->first, L"StubPath"); });
    for (const auto* value : order) {
        if (target && FindValue(*target, value->first)) continue;  // there alike: no conflict
        try {
            key->WriteBytes(value->first, value->second.type, value->second.data);
        } catch (const Error&) {
            return false;
        }
        written.values.push_back({path, *value});
    }
    return true;
}

// Takes out what a copy wrote, each value only while it still holds what
// was written, each key it made only once empty. False when some stays.
bool TakeBack(HKEY root, REGSAM view, const Written& written) {
    bool whole = true;
    for (auto it = written.values.rbegin(); it != written.values.rend(); ++it) {
        OpenedKey key = RegKey::OpenForWriting(root, it->first, view);
        if (!key) {
            whole = whole && key.NotFound();
            continue;
        }
        if (key->TryQuery(it->second.first) == it->second.second && key->DeleteValue(it->second.first) != ERROR_SUCCESS)
            whole = false;
    }
    for (auto it = written.keys.rbegin(); it != written.keys.rend(); ++it) {
        const LONG rc = RegKey::DeleteIfEmpty(root, *it, view);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_DIR_NOT_EMPTY) whole = false;
    }
    return whole;
}

// Removes from the key each value the copy holds alike, then each subkey
// left empty, then the key itself when empty. What the copy does not hold
// (written meanwhile) stays. False when a value held alike could not be
// removed.
bool RemoveCopiedKey(HKEY root, REGSAM view, const std::wstring& path, const RegTree& copy) {
    bool removed = true;
    {
        OpenedKey key = RegKey::OpenForWriting(root, path, view);
        if (!key) return key.NotFound();
        try {
            for (const auto& [name, value] : key->Values().value_or(RegTree{}.values)) {
                const RegValue* there = FindValue(copy, name);
                if (there && *there == value && key->DeleteValue(name) != ERROR_SUCCESS) removed = false;
            }
            for (const std::wstring& name : key->SubkeyNames())
                if (const RegTree* there = FindSubkey(copy, name))
                    removed = RemoveCopiedKey(root, view, path + L"\\" + name, *there) && removed;
        } catch (const Error&) {
            return false;
        }
    }  // closed before it is deleted
    const LONG rc = RegKey::DeleteIfEmpty(root, path, view);
    return removed && (rc == ERROR_SUCCESS || rc == ERROR_DIR_NOT_EMPTY || rc == ERROR_FILE_NOT_FOUND);
}

bool RemoveCopied(const ItemMove& move, const std::wstring& path, const RegTree& copy) {
    const HKEY root = move.place.root;
    const REGSAM view = move.place.view;
    if (move.isKey) return RemoveCopiedKey(root, view, path, copy);
    OpenedKey key = RegKey::OpenForWriting(root, path, view);
    if (!key) return key.NotFound();
    const std::optional<RegValue> now = key->TryQuery(move.name);
    const RegValue* there = FindValue(copy, move.name);
    return !now || !there || *now != *there || key->DeleteValue(move.name) == ERROR_SUCCESS;
}

// Whether the key or any of its parents below the root is a link.
bool LinkAlong(HKEY root, const std::wstring& path, REGSAM view) {
    for (std::size_t at = path.find(L'\\'); ; at = path.find(L'\\', at + 1)) {
        if (RegKey::IsLink(root, path.substr(0, at), view)) return true;
        if (at == std::wstring::npos) return false;
    }
}

MoveResult Failed(LONG error) {
    return error == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
}

}  // namespace

SpotReading ReadSpot(const ItemMove& move, ItemSpot spot, unsigned long kept) {
    const HKEY root = move.place.root;
    const REGSAM view = move.place.view;
    const std::wstring path = SpotKeyPath(move.place, move.name, move.isKey, spot, kept);
    const OpenedKey key = RegKey::OpenForReading(root, path, view);
    if (!key) return {!key.NotFound(), std::nullopt};
    if (move.isKey) return {true, ReadTree(root, path, view)};
    const std::optional<RegValue> value = key->TryQuery(move.name);
    if (!value) return {};
    RegTree tree;
    tree.values.push_back({move.name, *value});
    return {true, std::move(tree)};
}

bool Conflicts(const RegTree& a, const RegTree& b) {
    for (const auto& [name, value] : a.values)
        if (const RegValue* other = FindValue(b, name); other && *other != value) return true;
    for (const auto& [name, subtree] : a.subkeys)
        if (const RegTree* other = FindSubkey(b, name); other && Conflicts(subtree, *other)) return true;
    return false;
}

bool Holds(const RegTree& whole, const RegTree& part) {
    for (const auto& [name, value] : part.values)
        if (const RegValue* there = FindValue(whole, name); !there || *there != value) return false;
    for (const auto& [name, subtree] : part.subkeys)
        if (const RegTree* there = FindSubkey(whole, name); !there || !Holds(*there, subtree))
            return false;
    return true;
}

bool LinkOnTheWay(const ItemMove& move) {
    const HKEY root = move.place.root;
    const REGSAM view = move.place.view;
    for (const auto& [spot, kept] : {std::pair{move.from, move.fromKept}, std::pair{move.to, move.toKept}}) {
        const std::wstring holder = spot == ItemSpot::Kept ? KeptEntryPath(kept)
                                    : spot == ItemSpot::Aside ? move.place.keyPath + L"\\" + kAsideKey
                                                              : move.place.keyPath;
        if (LinkAlong(root, holder, view)) return true;
        if (move.isKey && RegKey::IsLink(root, SpotKeyPath(move.place, move.name, true, spot, kept), view))
            return true;
    }
    return false;
}

namespace {

// The move's journal record (a new one, unless the move is being finished
// from the journal) and, for a move into Keepboot's own key, its kept
// record. On a failure nothing of either is left.
LONG Begin(const ItemMove& move, std::optional<unsigned long> journaled, unsigned long& record) {
    if (journaled) {
        record = *journaled;
    } else {
        LONG error = ERROR_SUCCESS;
        const std::optional<unsigned long> number = JournalMove(move, error);
        if (!number) return error;
        record = *number;
    }
    if (move.to != ItemSpot::Kept) return ERROR_SUCCESS;
    const LONG error =
        WriteKeptRecord(move.place.root, move.place.view, {move.toKept, move.place.keyPath, move.name, move.isKey});
    if (error != ERROR_SUCCESS) {
        DropKeptRecordIfEmpty(move.place.root, move.place.view, move.toKept);
        StrikeOff(move, record);
    }
    return error;
}

}  // namespace

MoveResult Transfer(const ItemMove& move, std::optional<unsigned long> journaled) {
    const HKEY root = move.place.root;
    const REGSAM view = move.place.view;
    const auto done = [&](MoveResult result) {
        if (journaled) StrikeOff(move, *journaled);
        return result;
    };
    if (LinkOnTheWay(move)) return done(MoveResult::Link);
    const SpotReading source = ReadSpot(move, move.from, move.fromKept);
    if (!source.there) return done(MoveResult::Changed);
    if (!source.tree) return MoveResult::CannotMove;
    const SpotReading target = ReadSpot(move, move.to, move.toKept);
    if (target.there && !target.tree) return MoveResult::CannotMove;
    // Nothing is ever overwritten.
    if (target.tree && Conflicts(*source.tree, *target.tree)) return done(MoveResult::NameTaken);

    unsigned long record = 0;
    if (const LONG error = Begin(move, journaled, record); error != ERROR_SUCCESS) return Failed(error);
    const std::wstring from = SpotKeyPath(move.place, move.name, move.isKey, move.from, move.fromKept);
    const std::wstring to = SpotKeyPath(move.place, move.name, move.isKey, move.to, move.toKept);
    Written written;
    const bool wrote = WriteMissing(root, view, to, *source.tree, target.tree ? &*target.tree : nullptr, written);
    // The copy must read back holding every value of the source.
    const SpotReading copy = wrote ? ReadSpot(move, move.to, move.toKept) : SpotReading{};
    if (!copy.tree || !Holds(*copy.tree, *source.tree)) {
        if (TakeBack(root, view, written)) {
            if (move.to == ItemSpot::Kept) DropKeptRecordIfEmpty(root, view, move.toKept);
            StrikeOff(move, record);
        }
        return MoveResult::CannotMove;
    }
    JournalCopied(move, record);
    if (!RemoveCopied(move, from, *copy.tree)) {
        // The source is made whole again from what it held, and the copy
        // goes; where that fails too, the journal finishes the move later.
        const SpotReading left = ReadSpot(move, move.from, move.fromKept);
        Written restored;
        if (WriteMissing(root, view, from, *source.tree, left.tree ? &*left.tree : nullptr, restored) &&
            TakeBack(root, view, written)) {
            if (move.to == ItemSpot::Kept) DropKeptRecordIfEmpty(root, view, move.toKept);
            StrikeOff(move, record);
        }
        return MoveResult::CannotMove;
    }
    if (move.from == ItemSpot::Kept) DropKeptRecordIfEmpty(root, view, move.fromKept);
    StrikeOff(move, record);
    return MoveResult::Moved;
}

MoveResult UndoCopy(const ItemMove& move) {
    const SpotReading disabled = ReadSpot(move, move.from, move.fromKept);
    const SpotReading live = ReadSpot(move, move.to, move.toKept);
    if (!live.there) return MoveResult::Moved;
    if (!disabled.tree) return MoveResult::CannotMove;
    const std::wstring to = SpotKeyPath(move.place, move.name, move.isKey, move.to, move.toKept);
    return RemoveCopied(move, to, *disabled.tree) ? MoveResult::Moved : MoveResult::CannotMove;
}

}  // namespace kb
