// Moving Run-type values into the store and back.
#include "store/Store.h"

#include "platform/CurrentUser.h"
#include "platform/Registry.h"
#include "store/StoreLayout.h"
#include "places/TaskManager.h"

namespace kb {

using namespace store;

namespace {

// Writes the value's store entry into one store and then removes the live
// value. None when that store refuses this process writing.
std::optional<MoveResult> StoreRunValue(StoreKind store, const RunValueEntry& entry,
                                        RegKey& live) {
    StoredRunEntry stored;
    stored.item = entry.name;
    stored.command = entry.command;
    stored.hkey = entry.place.rootName;
    stored.key = entry.place.keyPath;
    stored.expandable = entry.type == REG_EXPAND_SZ;
    stored.raw = entry.raw;
    stored.storeView = ViewOf(store);
    stored.store = store;
    // A user's own value goes back only to that user.
    if (entry.place.root == HKEY_CURRENT_USER) stored.user = CurrentUserSid();
    stored.subkey = ChooseSubkey(store, KeysOf(store).runKey, entry.name,
                                 [&](SubkeyReader& read, const std::wstring& name) {
                                     const StoredRunEntry there =
                                         ReadRunSubkey(read, store, name, ViewOf(store));
                                     StoredRunEntry wanted = stored;
                                     wanted.subkey = name;
                                     return (there.item.empty() && there.command.empty()) ||
                                            there == wanted;
                                 });
    if (stored.subkey.empty()) return MoveResult::CannotMove;

    // A command line is stored as it stands: wrapping it whole in quotes
    // would make its arguments part of the program's path. "item" is the
    // subkey's name, so a program finding the subkey by "item" and one
    // going by the subkey's name take the same entry; the real name, where
    // the subkey could not be it, is ours to keep.
    const std::wstring path = RunStorePath(store, stored.subkey);
    const Written written = WriteStoreSubkey(store, path, [&](RegKey& key) {
        key.WriteString(L"command", stored.command);
        key.WriteString(L"hkey", stored.hkey);
        key.WriteString(L"inimapping", L"0");
        key.WriteString(L"item", stored.subkey);
        key.WriteString(L"key", stored.key);
        key.WriteString(kOwnCommand, stored.command);
        WriteOwnValue(key, kValueType, stored.expandable ? kExpandType : L"");
        if (stored.item != stored.subkey)
            key.WriteString(kRealName, stored.item);  // also the empty name of the default value
        else if (key.HasValue(kRealName))
            key.DeleteValue(kRealName);
        if (!stored.raw.empty())
            key.WriteBytes(kRawData, REG_BINARY, stored.raw);
        else if (key.HasValue(kRawData))
            key.DeleteValue(kRawData);
        WriteOwnValue(key, kUser, stored.user);
    });
    if (written == Written::Refused) return std::nullopt;
    if (written == Written::No) return MoveResult::CannotMove;
    if (live.DeleteValue(entry.name) == ERROR_SUCCESS) return MoveResult::Moved;
    // Still live: no second copy of it in the store.
    if (written == Written::Created) RegKey::DeleteTree(KeysOf(store).root, path, ViewOf(store));
    return MoveResult::CannotMove;
}

}  // namespace

MoveResult DisableRunValue(const RunValueEntry& entry) {
    // An empty command starts nothing, and the shared layout has no room for it.
    if (entry.command.empty()) return MoveResult::CannotMove;
    OpenedKey live =
        RegKey::OpenForWriting(entry.place.root, entry.place.keyPath, entry.place.view);
    if (live.Refused()) return MoveResult::NeedsAdministrator;
    if (!live) return MoveResult::CannotMove;
    // What is stored must be what is live now, not what was listed.
    const std::optional<RegValue> now = live->TryQuery(entry.name);
    if (!now || !now->IsText() || now->Text() != entry.command ||
        (now->type == REG_EXPAND_SZ) != (entry.type == REG_EXPAND_SZ) ||
        (entry.raw.empty() ? !now->HoldsOnlyText() : now->data != entry.raw))
        return MoveResult::Changed;

    if (const auto moved = StoreRunValue(StoreKind::Shared, entry, *live)) return *moved;
    // The shared store needs administrator rights. A machine entry waits for
    // them; the user's own is the user's to disable: with Task Manager's
    // switch where Windows reads one, else in the user's store.
    if (IsMachineRoot(entry.place.root)) return MoveResult::NeedsAdministrator;
    if (!entry.place.approvedKey.empty() && TaskManagerSwitchesAvailable())
        return FromError(
            DisableInTaskManager(entry.place.root, entry.place.approvedKey, entry.name));
    return StoreRunValue(StoreKind::User, entry, *live).value_or(MoveResult::CannotMove);
}

MoveResult EnableRunValue(const StoredRunEntry& entry) {
    const HKEY root = RootFromName(entry.hkey);
    if (!root || entry.command.empty() || entry.subkey.empty()) return MoveResult::CannotMove;
    // Only ever back into a place that is guarded: a store entry naming
    // another key (the store is writable by administrators' programs) would
    // make enabling write anywhere.
    if (!IsGuardedRunKey(entry.hkey, entry.key)) return MoveResult::CannotMove;
    // Another user's value never goes into this user's keys.
    if (!entry.user.empty() && entry.user != CurrentUserSid()) return MoveResult::AnotherUsers;
    // The subkey it was listed from, and only while it still holds this entry.
    const std::wstring path = RunStorePath(entry.store, entry.subkey);
    if (!StillHolds(path, entry, ReadRunSubkey)) return MoveResult::Changed;
    // Nothing goes live that could not then leave the store.
    if (const auto cannot = CannotLeaveStore(entry.store, path, entry.storeView)) return *cannot;

    // A machine key goes back into the view its store was in: the 64-bit one
    // names the 32-bit keys by their WOW6432Node path; an entry this program
    // stored in the 32-bit view before named them plainly.
    const REGSAM liveView =
        root != HKEY_LOCAL_MACHINE ? 0 : entry.storeView == KEY_WOW64_32KEY ? KEY_WOW64_32KEY
                                                                            : MachineView();
    std::optional<RegKey> live;
    {
        OpenedKey created = RegKey::Create(root, entry.key, liveView);
        if (created.Refused()) return MoveResult::NeedsAdministrator;  // stays stored
        live = std::move(created).Take();
    }
    if (!live) return MoveResult::CannotMove;  // stays stored
    const DWORD type = entry.expandable ? REG_EXPAND_SZ : REG_SZ;
    if (const std::optional<RegValue> now = live->TryQuery(entry.item)) {
        // Another entry of that name went live meanwhile: keep both. The same
        // one: only its store entry goes.
        if (!now->IsText() || now->Text() != entry.command ||
            (!entry.raw.empty() && now->data != entry.raw))
            return MoveResult::CannotMove;
    } else if (!entry.raw.empty()) {
        live->WriteBytes(entry.item, type, entry.raw);  // every byte, as it was
    } else {
        live->WriteString(entry.item, entry.command, type);
    }
    live.reset();
    RegKey::DeleteTree(KeysOf(entry.store).root, path, entry.storeView);
    return MoveResult::Moved;
}

}  // namespace kb
