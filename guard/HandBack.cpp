#include "guard/HandBack.h"

#include <functional>
#include <optional>

#include "kinds/EntryMoves.h"
#include "places/TaskManager.h"
#include "platform/CurrentUser.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "reading/Inventory.h"
#include "store/StoreReading.h"

namespace kb {

namespace {

// An entry's switch: where Task Manager keeps it, and under which name.
struct Switch {
    HKEY root = nullptr;
    std::wstring approvedKey, name;
};

using Outcome = HandedBack::Outcome;

std::optional<Switch> SwitchOf(const StoredRunEntry& e) {
    const std::optional<SwitchPlace> place = SwitchPlaceOf(e.hkey, e.key);
    if (!place) return std::nullopt;
    return Switch{place->root, place->approvedKey, e.item};
}

std::optional<Switch> SwitchOf(const StoredShortcutEntry& e, const StartupFolders& folders) {
    const std::wstring& folder = folders.FolderOf(e.location);
    if (folder.empty() || e.fileName.empty()) return std::nullopt;
    return Switch{SamePath(folder, folders.commonStartup) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                  kTaskManagerFolderKey, e.fileName};
}

// Whether the place holds a live entry of the name: that one is not this
// entry's to switch off.
bool LiveThere(const StoredRunEntry& e, const Switch& at) {
    const OpenedKey key = RegKey::OpenForReading(at.root, e.key, at.root == HKEY_LOCAL_MACHINE ? MachineView() : 0);
    return key && key->HasValue(e.item);
}

bool LiveThere(const StoredShortcutEntry& e, const StartupFolders& folders) {
    const std::wstring file = folders.FolderOf(e.location) + L"\\" + e.fileName;
    return FileExists(file) || DirectoryExists(file);
}

// The switch set off, then the entry moved back; where either does not
// hold, the switch is put back as it was and the entry stays stored.
HandedBack::Outcome Hand(const StartupEntry& entry, const Switch& at, const StartupFolders& folders,
                         const std::function<bool()>& liveThere, MoveResult& why) {
    const std::optional<RegValue> before = SwitchValue(at.root, at.approvedKey, at.name);
    const auto off = [&] { return TaskManagerSwitches(at.root, at.approvedKey).Disabled(at.name); };
    const LONG written = DisableInTaskManager(at.root, at.approvedKey, at.name);
    why = written == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
    if (written == ERROR_SUCCESS && off()) {
        why = MoveEntry(entry, folders);
        // Back, and still switched off: what Windows lists as disabled.
        if (why == MoveResult::Moved && liveThere() && off()) return Outcome::HandedBack;
        if (why == MoveResult::Moved) {
            // Live, but its switch did not hold: it must not start at the
            // next logon, so it is switched off again, and said.
            DisableInTaskManager(at.root, at.approvedKey, at.name);
            why = MoveResult::CannotMove;
            return off() ? Outcome::HandedBack : Outcome::BackButOn;
        }
    }
    RestoreSwitch(at.root, at.approvedKey, at.name, before);
    return Outcome::NotMoved;
}

}  // namespace

std::vector<HandedBack> HandBackToWindows(const StartupFolders& folders, bool machineOnly) {
    std::vector<SkippedValue> skipped;
    const StoredEntries stored = ReadStoredEntries(skipped);
    const std::wstring self = CurrentUserSid();
    const bool switches = TaskManagerSwitchesAvailable();
    std::vector<HandedBack> outcomes;
    const auto handOne = [&](const StartupEntry& entry, const std::wstring& user, const std::optional<Switch>& at,
                             const std::function<bool()>& liveThere) {
        const EntryText text = TextOf(entry);
        HandedBack outcome{text.item, text.location};
        if ((!user.empty() && user != self) || text.note == EntryText::Note::AnotherUsers ||
            (machineOnly && at && at->root != HKEY_LOCAL_MACHINE))
            outcome.outcome = Outcome::NotTheirs;
        else if (!switches || !at || text.note == EntryText::Note::StaysStored)
            outcome.outcome = Outcome::NoSwitch;
        else if (liveThere())
            outcome.outcome = Outcome::NameTaken;
        else
            outcome.outcome = Hand(entry, *at, folders, liveThere, outcome.why);
        outcomes.push_back(std::move(outcome));
    };
    for (const StoredRunEntry& e : stored.values) {
        const std::optional<Switch> at = SwitchOf(e);
        handOne(e, e.user, at, [&] { return at && LiveThere(e, *at); });
    }
    for (const StoredShortcutEntry& e : stored.shortcuts) {
        const std::optional<Switch> at = SwitchOf(e, folders);
        handOne(e, e.user, at, [&] { return LiveThere(e, folders); });
    }
    return outcomes;
}

}  // namespace kb
