#include "guard/HandBack.h"

#include <functional>
#include <optional>
#include <string_view>

#include "kinds/EntryMoves.h"
#include "places/TaskManager.h"
#include "platform/CurrentUser.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "reading/Inventory.h"
#include "store/StoreLayout.h"
#include "store/StoreReading.h"

namespace kb {

namespace {

// An entry's switch: where Task Manager keeps it, and under which name.
struct Switch {
    HKEY root = nullptr;
    std::wstring approvedKey, name;
};

using Outcome = HandedBack::Outcome;

// The view Enable puts a value back in: a machine key goes into the view
// its store was in, so an entry kept in the store's 32-bit view goes into
// the 32-bit keys.
REGSAM LiveViewOf(const StoredRunEntry& e) {
    if (store::RootFromName(e.hkey) != HKEY_LOCAL_MACHINE) return 0;
    return e.storeView == KEY_WOW64_32KEY ? KEY_WOW64_32KEY : MachineView();
}

std::optional<Switch> SwitchOf(const StoredRunEntry& e) {
    // The 32-bit keys are named by their WOW6432Node path where 64-bit
    // Windows has them: their switches are Run32's.
    std::wstring key = e.key;
    constexpr std::wstring_view kSoftware = L"Software\\";
    if (LiveViewOf(e) == KEY_WOW64_32KEY && Is64BitWindows() && key.size() > kSoftware.size() &&
        EqualIgnoringCase(key.substr(0, kSoftware.size()), std::wstring(kSoftware)))
        key = L"Software\\WOW6432Node\\" + key.substr(kSoftware.size());
    const std::optional<SwitchPlace> place = SwitchPlaceOf(e.hkey, key);
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
    const OpenedKey key = RegKey::OpenForReading(at.root, e.key, LiveViewOf(e));
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
        if (why == MoveResult::Moved) {
            // Out of the store: back, and switched off, is what Windows
            // lists as disabled. A switch that did not hold is written
            // again; what still does not read back so is said, never taken
            // for handed back.
            if (liveThere() && !off()) DisableInTaskManager(at.root, at.approvedKey, at.name);
            if (liveThere() && off()) return Outcome::HandedBack;
            why = MoveResult::CannotMove;
            return Outcome::NotReadBack;
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
