#pragma once
// The startup entries as records beside the live ones (kinds/): those of
// the store and the logon values, what the list and the prompt show of an
// entry, a question about a single value, and a place or value the reading
// skipped.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "policy/Policy.h"
#include "shelllink/ShellLink.h"
#include "places/StartupPlaces.h"

namespace kb {

// A single value as it stands: none when it is not there.
using ValueState = std::optional<RegValue>;

// A subkey of the startupreg store.
struct StoredRunEntry {
    std::wstring subkey;  // the store subkey it was listed from: only a handle
    std::wstring item;  // the value's name it goes back under
    std::wstring command, hkey, key;
    bool expandable = false;  // the live value was a REG_EXPAND_SZ
    std::vector<BYTE> raw;    // the live value's exact bytes, where kept
    REGSAM storeView = 0;     // the store's view it was listed from
    StoreKind store = StoreKind::Shared;
    std::wstring user;        // whose value it was (a SID), where kept

    std::wstring Location() const { return hkey + L"\\" + key; }
    bool operator==(const StoredRunEntry&) const = default;
};

// A subkey of the startupfolder store.
struct StoredShortcutEntry {
    std::wstring subkey;  // the store subkey it was listed from: only a handle
    std::wstring item, command, location, backup, path;
    std::wstring backupExtension;  // the later form's backup name: item.lnk + this
    std::wstring fileName;         // the file it goes back as, in the Startup folder
    DWORD attributes = 0;          // the file's own, where kept (read-only, hidden)
    bool byteCopy = false;         // written here: its backup holds the file's very bytes
    std::wstring digest;           // the SHA-256 of those bytes
    REGSAM storeView = 0;          // the store's view it was listed from
    StoreKind store = StoreKind::Shared;
    std::wstring user;             // whose Startup folder it was in (a SID), where kept
    std::wstring locationName;     // "Startup" or "Common Startup", where kept beside a folder's path
    // What an earlier version of this program kept of a shortcut it stored
    // without a backup copy, when the store still holds it for this
    // command; none otherwise.
    std::optional<ShellLinkData> saved;

    bool operator==(const StoredShortcutEntry&) const = default;

    // Below its store's root.
    std::wstring StoreKeyPath() const {
        return std::wstring(KeysOf(store).folderKey) + L"\\" + subkey;
    }
};

// A single logon value that is not Windows' own: listed checked; unticked,
// Windows' own value is put back.
struct LogonValueEntry {
    std::size_t index = 0;  // in LogonValues()
    ValueState value;       // as read
};

// What the list shows of an entry.
struct EntryText {
    std::wstring item, command, location;
    bool enabled = false;
    // What the list says after a stored entry's location, worded there.
    enum class Note {
        None,
        StaysStored,   // it names no startup place: it stays stored
        AnotherUsers,  // another user's: this user's list does not move it
        // Held in the store, where Task Manager and Settings (Windows 8 on)
        // no longer list it; it can be handed back to their switches.
        HiddenFromWindows,
    };
    // Whether the list may bring it back for this user.
    bool UsersToBringBack() const noexcept { return note == Note::None || note == Note::HiddenFromWindows; }
    Note note = Note::None;
    // A scheduled task's: what fires it, by the scheduler's names of the
    // triggers that are on (none: only when someone asks), worded where
    // the list shows it.
    std::optional<std::vector<std::wstring>> triggers = {};
    // A service's: its display name, its start type (the manager's number)
    // and whether a driver, worded where the list shows it.
    struct Service {
        std::wstring displayName = {};
        unsigned long start = 0;
        bool delayed = false, driver = false;
    };
    std::optional<Service> service = {};
};

// What a live entry would start, and from where: the program and its
// arguments as Windows reads the command line, and the key of a registry
// value; the target, its arguments and the folder of a shortcut. Nothing
// for a stored entry. "before" is what a known entry started before it
// changed, when it did.
struct EntryDetails {
    std::wstring program, arguments, from, before;
    // What "before" named that is no longer there, said first.
    std::vector<std::wstring> missing = {};
    // A scheduled task's own: who wrote it, what fires it (as in EntryText),
    // the account it runs as (a SID or a name, as the definition names it),
    // and whether with the highest rights that account has.
    struct Task {
        std::wstring author = {}, account = {};
        std::vector<std::wstring> triggers = {};
        bool highest = false;
    };
    std::optional<Task> task = {};
    // A service's own: its display name, the account it runs as, a shared
    // service's library, its start type, whether it is a driver, whether it
    // runs now, and the services that depend on it.
    struct Service {
        std::wstring displayName = {}, account = {}, library = {};
        unsigned long start = 0;
        bool delayed = false, driver = false, runs = false;
        std::vector<std::wstring> dependents = {};
    };
    std::optional<Service> service = {};
};

// A question about a single value's change, worded where it is shown.
struct ValueQuestion {
    enum class Kind {
        WillChange,           // do you want to disable the change?
        OwnBackOrKeep,        // what it held is gone; Disable puts Windows' own back
        KeepOrLeave,          // what it held is gone, and Windows' own as well
    };
    Kind kind = Kind::WillChange;
    std::wstring item;
    std::wstring location;  // none where the item names it alone (a start page)
    std::wstring found;     // what it holds now
};

// A question about one change, with what the prompt shows below it.
using AskAboutValue = std::function<Decision(const ValueQuestion& question, const EntryDetails& details)>;

// A value in a Run-type key or in a store subkey that is not text. It is
// no entry: Windows starts nothing from it and the store cannot hold it.
// A place that is there but could not be read (a key refusing this process,
// a listing that failed, a Startup folder that is a file) is noted the same
// way, with no name and why: it is not taken for an empty one.
// Why a place could not be read, worded where it is shown.
enum class WhyUnreadable {
    Denied,           // it refuses this process
    ValuesUnlisted,   // a key's values could not be listed to their end
    EntriesUnlisted,  // a store's entries could not be listed
    Unlisted,         // a key's entries could not be listed
    ListingFailed,    // a folder could not be listed, for Windows' reason (its code)
    NotAFolder,       // a Startup folder that is a file
    FolderLink,       // a folder that leads elsewhere, not followed
    KeyLink,          // a key that leads elsewhere, not followed
};

struct SkippedValue {
    std::wstring key;  // where it is: a key as Location texts name it, or a folder
    std::wstring name;
    bool unreadable = false;  // the whole place
    WhyUnreadable why = WhyUnreadable::Denied;  // for an unreadable place
    // A key in Keepboot's own key that Keepboot did not write: left alone.
    bool foreign = false;
    DWORD code = ERROR_SUCCESS;  // Windows' reason, where it gave one

    static SkippedValue NotText(std::wstring key, std::wstring name) {
        return {std::move(key), std::move(name), false, {}};
    }
    static SkippedValue Unreadable(std::wstring place, WhyUnreadable why, DWORD code = ERROR_SUCCESS) {
        return {std::move(place), {}, true, why, false, code};
    }
    static SkippedValue Foreign(std::wstring key) { return {std::move(key), {}, false, {}, true}; }
    bool operator==(const SkippedValue&) const = default;
    auto operator<=>(const SkippedValue&) const = default;
};

struct StoredEntries {
    std::vector<StoredRunEntry> values;
    std::vector<StoredShortcutEntry> shortcuts;
};

}  // namespace kb
