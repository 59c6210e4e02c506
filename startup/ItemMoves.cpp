#include "platform/Error.h"
#include "platform/Files.h"
#include "startup/Items.h"
#include "startup/StoreLayout.h"

namespace kb {

namespace {

// Why a key could not be opened, as a move's result.
MoveResult ResultOf(const OpenedKey& key) {
    if (key.Refused()) return MoveResult::NeedsAdministrator;
    return key.NotFound() ? MoveResult::Changed : MoveResult::CannotMove;
}

bool WriteTree(HKEY root, const std::wstring& path, REGSAM view, const RegTree& tree) {
    OpenedKey key = RegKey::Create(root, path, view);
    if (!key) return false;
    try {
        for (const auto& [name, value] : tree.values) key->WriteBytes(name, value.type, value.data);
    } catch (const Error&) {
        return false;
    }
    for (const auto& [name, subtree] : tree.subkeys)
        if (!WriteTree(root, path + L"\\" + name, view, subtree)) return false;
    return true;
}

MoveResult MoveValue(const AsideEntry& entry, const std::wstring& from, const std::wstring& to) {
    const ItemPlace& place = entry.place;
    OpenedKey source = RegKey::OpenForWriting(place.root, from, place.view);
    if (!source) return ResultOf(source);
    const std::optional<RegValue> value = source->Query(entry.name);
    if (!value || !value->IsText() || value->Text() != entry.command) return MoveResult::Changed;
    OpenedKey target = RegKey::Create(place.root, to, place.view);
    if (!target) return target.Refused() ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
    if (target->Query(entry.name)) return MoveResult::CannotMove;  // never overwritten
    try {
        target->WriteBytes(entry.name, value->type, value->data);
    } catch (const Error&) {
        target->DeleteValue(entry.name);
        return MoveResult::CannotMove;
    }
    // Removed only once its copy reads back the same, type and bytes.
    if (target->Query(entry.name) != value || !source->DeleteValue(entry.name)) {
        target->DeleteValue(entry.name);
        return MoveResult::CannotMove;
    }
    return MoveResult::Moved;
}

MoveResult MoveSubkey(const AsideEntry& entry, const std::wstring& from, const std::wstring& to) {
    const ItemPlace& place = entry.place;
    const OpenedKey parent = RegKey::OpenForWriting(place.root, from, place.view);
    if (!parent) return ResultOf(parent);
    const std::wstring source = from + L"\\" + entry.name, target = to + L"\\" + entry.name;
    const std::optional<RegTree> tree = ReadTree(place.root, source, place.view);
    if (!tree || CommandOf(tree->values, place.kind) != entry.command) return MoveResult::Changed;
    if (RegKey::Exists(place.root, target, place.view)) return MoveResult::CannotMove;
    const auto undo = [&] { RegKey::DeleteTree(place.root, target, place.view); };
    if (!WriteTree(place.root, target, place.view, *tree) ||
        ReadTree(place.root, target, place.view) != tree) {
        undo();
        return MoveResult::CannotMove;
    }
    const LONG removed = RegKey::DeleteTree(place.root, source, place.view);
    if (removed != ERROR_SUCCESS) {
        // A tree removed part-way is whole again from its copy.
        WriteTree(place.root, source, place.view, *tree);
        undo();
        return store::FromError(removed);
    }
    return MoveResult::Moved;
}

}  // namespace

MoveResult MoveItem(const AsideEntry& entry) {
    const std::wstring aside = entry.place.keyPath + L"\\" + kAsideKey;
    const std::wstring from = entry.ParentPath();
    const std::wstring to = entry.enabled ? aside : entry.place.keyPath;
    return entry.isKey ? MoveSubkey(entry, from, to) : MoveValue(entry, from, to);
}

MoveResult EnableAsideFile(const ShortcutEntry& entry, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(entry.location);
    if (folder.empty()) return MoveResult::CannotMove;
    const std::wstring target = folder + L"\\" + entry.fileName;
    if (!FileExists(entry.path)) return MoveResult::Changed;
    if (FileExists(target)) return MoveResult::CannotMove;  // never overwritten
    const auto failed = [] {
        return ::GetLastError() == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator
                                                       : MoveResult::CannotMove;
    };
    if (!CopyFileTo(entry.path, target)) return failed();
    // The file aside goes only once its copy holds the very same bytes.
    if (!SameContents(entry.path, target) || !DeleteFileAt(entry.path)) {
        const MoveResult result = failed();
        DeleteFileAt(target);
        return result == MoveResult::NeedsAdministrator ? result : MoveResult::CannotMove;
    }
    return MoveResult::Moved;
}

}  // namespace kb
