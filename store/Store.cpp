// Moving any entry: the dispatch on its kind.
#include "store/Store.h"

#include "store/Items.h"
#include "platform/Overloaded.h"
#include "logon/LogonValues.h"
#include "store/StoreLayout.h"
#include "places/TaskManager.h"

namespace kb {

using namespace store;

bool WritesMachinePlaces(const StartupEntry& entry) {
    struct Visitor {
        bool operator()(const RunValueEntry& e) const { return IsMachineRoot(e.place.root); }
        bool operator()(const ShortcutEntry& e) const {
            return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
        }
        bool operator()(const StoredRunEntry& e) const { return e.store == StoreKind::Shared; }
        bool operator()(const StoredShortcutEntry& e) const { return e.store == StoreKind::Shared; }
        bool operator()(const AsideEntry& e) const { return IsMachineRoot(e.place.root); }
        bool operator()(const LogonValueEntry& e) const {
            return IsMachineRoot(LogonValues().at(e.index).root);
        }
    };
    return std::visit(Visitor{}, entry);
}

int PassOrderOf(const StartupEntry& entry) {
    return std::visit(Overloaded{
                          [](const RunValueEntry&) { return 0; },
                          [](const StoredRunEntry&) { return 1; },
                          [](const AsideEntry&) { return 1; },  // aside or back
                          [](const LogonValueEntry&) { return 1; },
                          [](const ShortcutEntry&) { return 2; },
                          [](const StoredShortcutEntry&) { return 3; },
                      },
                      entry);
}

MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders) {
    // A live entry Task Manager disabled is listed as disabled: moving it
    // enables it there.
    struct Visitor {
        const StartupFolders& folders;
        MoveResult operator()(const RunValueEntry& e) const {
            if (!e.disabledByTaskManager) return DisableRunValue(e);
            return FromError(EnableInTaskManager(e.place.root, e.place.approvedKey, e.name));
        }
        MoveResult operator()(const ShortcutEntry& e) const {
            if (e.aside) return EnableAsideFile(e, folders);
            if (!e.disabledByTaskManager) return DisableShortcut(e, folders);
            return FromError(EnableInTaskManager(TaskManagerRootOf(e.location),
                                                 kTaskManagerFolderKey, e.fileName));
        }
        MoveResult operator()(const StoredRunEntry& e) const { return EnableRunValue(e); }
        MoveResult operator()(const StoredShortcutEntry& e) const {
            return EnableShortcut(e, folders);
        }
        // Aside and back, in its own place.
        MoveResult operator()(const AsideEntry& e) const { return MoveItem(e); }
        // Unticked: Windows' own value back.
        MoveResult operator()(const LogonValueEntry& e) const {
            switch (RestoreWindowsDefault(e.index, e.value)) {
            case RestoreResult::Restored: return MoveResult::Moved;
            case RestoreResult::Changed: return MoveResult::Changed;
            case RestoreResult::OwnProgramMissing: return MoveResult::OwnProgramMissing;
            case RestoreResult::Refused: return MoveResult::NeedsAdministrator;
            case RestoreResult::Failed: break;
            }
            return MoveResult::CannotMove;
        }
    };
    return std::visit(Visitor{folders}, entry);
}

}  // namespace kb
