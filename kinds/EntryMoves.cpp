// Moving any entry: the dispatch on its kind.
#include "kinds/EntryMoves.h"

#include "logon/LogonValues.h"
#include "platform/Overloaded.h"
#include "store/Store.h"
#include "store/StoreLayout.h"

namespace kb {

bool WritesMachinePlaces(const StartupEntry& entry) {
    return std::visit(Overloaded{
                          [](const StoredRunEntry& e) { return e.store == StoreKind::Shared; },
                          [](const StoredShortcutEntry& e) { return e.store == StoreKind::Shared; },
                          [](const LogonValueEntry& e) {
                              return store::IsMachineRoot(LogonValues().at(e.index).root);
                          },
                          []<typename Entry>(const Entry& e) { return KindOf<Entry>::WritesMachinePlaces(e); },
                      },
                      entry);
}

int PassOrderOf(const StartupEntry& entry) {
    return std::visit(Overloaded{
                          [](const StoredRunEntry&) { return 1; },  // back into the Run-type keys
                          [](const LogonValueEntry&) { return 1; },
                          [](const StoredShortcutEntry&) { return 3; },
                          []<typename Entry>(const Entry&) { return int{KindOf<Entry>::kPassOrder}; },
                      },
                      entry);
}

MoveResult MoveEntry(const StartupEntry& entry, const StartupFolders& folders) {
    return std::visit(Overloaded{
                          [](const StoredRunEntry& e) { return EnableRunValue(e); },
                          [&](const StoredShortcutEntry& e) { return EnableShortcut(e, folders); },
                          // Unticked: Windows' own value back.
                          [](const LogonValueEntry& e) {
                              switch (RestoreWindowsDefault(e.index, e.value)) {
                              case RestoreResult::Restored: return MoveResult::Moved;
                              case RestoreResult::Changed: return MoveResult::Changed;
                              case RestoreResult::OwnProgramMissing: return MoveResult::OwnProgramMissing;
                              case RestoreResult::Refused: return MoveResult::NeedsAdministrator;
                              case RestoreResult::Failed: break;
                              }
                              return MoveResult::CannotMove;
                          },
                          [&]<typename Entry>(const Entry& e) { return KindOf<Entry>::Move(e, folders); },
                      },
                      entry);
}

}  // namespace kb
