#pragma once
// The startup entries as records, one type per kind, and the inventory
// that holds them.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/Registry.h"
#include "policy/Policy.h"
#include "shelllink/ShellLink.h"
#include "places/StartupPlaces.h"

namespace kb {

// A single value as it stands: none when it is not there.
using ValueState = std::optional<RegValue>;

// A value in a Run-type key.
struct RunValueEntry {
    RunKeyPlace place;
    std::wstring name;     // empty for the key's unnamed default value
    std::wstring command;  // unexpanded
    DWORD type = REG_SZ;   // REG_SZ or REG_EXPAND_SZ
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    // The value's bytes when the command does not hold them all (data after
    // an embedded NUL, no closing NUL): kept so they come back exactly.
    std::vector<BYTE> raw;
};

// A file in a Startup folder: Windows starts every one at logon, shortcut
// or not (desktop.ini excepted).
struct ShortcutEntry {
    std::wstring location;  // "Common Startup" or "Startup"
    std::wstring path;      // the file's full path
    std::wstring name;      // the file name without its last extension
    std::optional<ShellLinkData> link;  // a shortcut, as the shell read it
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    std::wstring fileName;  // exactly, extension and letter case included
    // What it starts, as the list shows it: a shortcut's target and
    // arguments, else the name of what it points at, else the file itself.
    std::wstring command;
    // In the folder's kAsideKey subfolder, where the other lister moves what
    // it disables: listed as disabled; moving it brings it back.
    bool aside = false;
};

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

// Where an entry of an item place is: live in its place; moved aside into
// the place's kAsideKey subkey, where the other lister looks; or kept in
// Keepboot's own key (kKeptKey) when the aside name was taken or the place
// keeps nothing aside.
enum class ItemSpot { Live, Aside, Kept };

// An entry of an item place, wherever it is; or a value moved aside below a
// Run-type key.
struct AsideEntry {
    ItemPlace place;
    std::wstring name;   // the subkey's or the value's, exactly
    bool isKey = false;  // a subkey with everything below it
    // What it starts: a value's text, a component's StubPath, a step's
    // commands and the libraries its Depend subkey loads.
    std::wstring command;
    ItemSpot spot = ItemSpot::Live;
    unsigned long kept = 0;  // the number of its subkey below kKeptKey, when kept

    bool Enabled() const noexcept { return spot == ItemSpot::Live; }
};

// A single logon value that is not Windows' own: listed checked; unticked,
// Windows' own value is put back.
struct LogonValueEntry {
    std::size_t index = 0;  // in LogonValues()
    ValueState value;       // as read
};

using StartupEntry = std::variant<RunValueEntry, ShortcutEntry, StoredRunEntry, StoredShortcutEntry,
                                  AsideEntry, LogonValueEntry>;

// What the list shows of an entry.
struct EntryText {
    std::wstring item, command, location;
    bool enabled = false;
};
EntryText TextOf(const StartupEntry& entry);

// What a live entry would start, and from where: the program and its
// arguments as Windows reads the command line, and the key of a registry
// value; the target, its arguments and the folder of a shortcut. Nothing
// for a stored entry. "before" is what a known entry started before it
// changed, when it did.
struct EntryDetails {
    std::wstring program, arguments, from, before;
};
EntryDetails DetailsOf(const StartupEntry& entry);

// A question about one change, with what the prompt shows below it.
using AskAboutValue = std::function<Decision(const std::wstring& question, const EntryDetails& details)>;

// A value in a Run-type key or in a store subkey that is not text. It is
// no entry: Windows starts nothing from it and the store cannot hold it.
// A place that is there but could not be read (a key refusing this process,
// a listing that failed, a Startup folder that is a file) is noted the same
// way, with no name and why: it is not taken for an empty one.
struct SkippedValue {
    std::wstring key;  // where it is: a key as Location texts name it, or a folder
    std::wstring name;
    bool unreadable = false;  // the whole place
    std::wstring why;         // for an unreadable place

    static SkippedValue NotText(std::wstring key, std::wstring name) {
        return {std::move(key), std::move(name), false, {}};
    }
    static SkippedValue Unreadable(std::wstring place, std::wstring why) {
        return {std::move(place), {}, true, std::move(why)};
    }
    bool operator==(const SkippedValue&) const = default;
    auto operator<=>(const SkippedValue&) const = default;
};

struct LiveEntries {
    std::vector<RunValueEntry> values;   // in the order of the places, then the registry's
    std::vector<ShortcutEntry> shortcuts;  // the all-users folder first
    // The item places' entries, then the values moved aside below Run-type keys.
    std::vector<AsideEntry> items;
};

// Calls f.template operator()<Entry>() for each kind of live entry, in
// the order of LiveEntries' lists: what goes over every kind says so once.
template <typename F>
constexpr void ForEachLiveKind(F&& f) {
    f.template operator()<RunValueEntry>();
    f.template operator()<ShortcutEntry>();
    f.template operator()<AsideEntry>();
}

// Every kind of live entry is one the list shows.
static_assert([] {
    bool all = true;
    ForEachLiveKind([&]<typename Kind>() { all = all && std::is_constructible_v<StartupEntry, Kind>; });
    return all;
}());

// Whether Entry is one of the kinds of live entry, which the known set holds.
template <typename Entry>
constexpr bool IsLiveKind() {
    bool live = false;
    ForEachLiveKind([&]<typename Kind>() { live = live || std::is_same_v<Entry, Kind>; });
    return live;
}

// The member of a set of lists kept by kind of live entry (the entries,
// an index of them) that holds that kind: a kind without its list does
// not compile.
template <typename Entry, typename Lists>
auto& ListOf(Lists& lists) {
    if constexpr (std::is_same_v<Entry, RunValueEntry>)
        return lists.values;
    else if constexpr (std::is_same_v<Entry, ShortcutEntry>)
        return lists.shortcuts;
    else {
        static_assert(std::is_same_v<Entry, AsideEntry>, "a kind of live entry without its list");
        return lists.items;
    }
}

struct StoredEntries {
    std::vector<StoredRunEntry> values;
    std::vector<StoredShortcutEntry> shortcuts;
};

struct Inventory {
    LiveEntries live;
    StoredEntries stored;
    std::vector<LogonValueEntry> logonValues;  // those not Windows' own

    // Every entry in the list's order: live values, the item places'
    // entries, the logon values not Windows' own, live shortcuts, stored
    // values, stored shortcuts.
    std::vector<StartupEntry> InListOrder() const;
};

}  // namespace kb
