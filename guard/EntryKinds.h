#pragma once
// What each kind of entry is to the guard, side by side: whether it starts
// anything, what it is, whose place it is in, when two are the same entry,
// its line in the record, what it is known as once moved, and the texts
// that name it to another instance. The rest of the guard goes over every
// kind (ForEachLiveKind, std::visit) and asks these, so a new kind of entry
// does not build until it has each of them here.
#include <concepts>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "places/Entries.h"

namespace kb {

// Whether the entry starts anything now: one Task Manager switched off, or
// one moved aside, starts nothing.
bool Starts(const RunValueEntry& e);
bool Starts(const ShortcutEntry& e);
bool Starts(const AsideEntry& e);

// What an entry is now (its place, name and what it starts, to the
// letter): a change to any part makes it another.
std::wstring IdentityOf(const RunValueEntry& e);
std::wstring IdentityOf(const ShortcutEntry& e);
std::wstring IdentityOf(const AsideEntry& e);

// Everything the known set holds of an entry: a change to any part is a
// change to what is kept across runs.
std::wstring KnownStateOf(const RunValueEntry& e);
std::wstring KnownStateOf(const ShortcutEntry& e);
std::wstring KnownStateOf(const AsideEntry& e);

// Whether the entry belongs to the machine's places (else the user's).
bool OfTheMachine(const RunValueEntry& e);
bool OfTheMachine(const ShortcutEntry& e);
bool OfTheMachine(const AsideEntry& e);

// Where the entry was read, as LocationOf names a live place: a reading of
// that place replaces what was known of it. An aside value is read with its
// Run-type key.
std::wstring PlaceReadOf(const RunValueEntry& e, const StartupFolders& folders);
std::wstring PlaceReadOf(const ShortcutEntry& e, const StartupFolders& folders);
std::wstring PlaceReadOf(const AsideEntry& e, const StartupFolders& folders);

// The same place and name, as Windows tells entries apart: the key (in its
// view) or the folder, and the name compared by code point ignoring case.
bool SameEntry(const RunValueEntry& a, const RunValueEntry& b, const StartupFolders& folders);
bool SameEntry(const ShortcutEntry& a, const ShortcutEntry& b, const StartupFolders& folders);
bool SameEntry(const AsideEntry& a, const AsideEntry& b, const StartupFolders& folders);

// The same for every entry SameEntry takes for one: the known set's index.
std::wstring IndexKey(const RunValueEntry& e, const StartupFolders& folders);
std::wstring IndexKey(const ShortcutEntry& e, const StartupFolders& folders);
std::wstring IndexKey(const AsideEntry& e, const StartupFolders& folders);

// An entry's line in the record: its kind, where, its name, what it starts.
std::vector<std::wstring> RecordLine(const RunValueEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const ShortcutEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const AsideEntry& e, const StartupFolders& folders);

// The entry of the kind a record's line names; none for a line of another
// kind, or one naming no place of this program (or a Startup folder that
// moved since): what a record says is trusted no further than that.
std::optional<RunValueEntry> FromRecordLine(std::type_identity<RunValueEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders& folders);
std::optional<ShortcutEntry> FromRecordLine(std::type_identity<ShortcutEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders& folders);
std::optional<AsideEntry> FromRecordLine(std::type_identity<AsideEntry>,
                                         const std::vector<std::wstring>& line, const StartupFolders& folders);

// What the entry is known as once the user moved it, added to the known
// entries: what was enabled is allowed at once, before any reload. One
// disabled adds nothing; a logon value is of no known set.
void KnowMoved(const RunValueEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const ShortcutEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const AsideEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const StoredRunEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const StoredShortcutEntry& e, const StartupFolders& folders, LiveEntries& known);
void KnowMoved(const LogonValueEntry& e, const StartupFolders& folders, LiveEntries& known);

// The entry named by where it is, its kind first, so that another instance
// (the elevated one that does a move needing administrator rights) finds
// the same entry in its own reading.
std::vector<std::wstring> KeyTextsOf(const RunValueEntry& e);
std::vector<std::wstring> KeyTextsOf(const ShortcutEntry& e);
std::vector<std::wstring> KeyTextsOf(const AsideEntry& e);
std::vector<std::wstring> KeyTextsOf(const StoredRunEntry& e);
std::vector<std::wstring> KeyTextsOf(const StoredShortcutEntry& e);
std::vector<std::wstring> KeyTextsOf(const LogonValueEntry& e);

// Whether the entry is one held aside, as only a move puts one: moved into
// the store, or below its place. A live entry Task Manager switched off is
// not, nor a logon value, which is put back, never aside. Every kind says:
// a new one is never taken for held aside by default.
bool HeldAside(const RunValueEntry& e);
bool HeldAside(const ShortcutEntry& e);
bool HeldAside(const AsideEntry& e);
bool HeldAside(const StoredRunEntry& e);
bool HeldAside(const StoredShortcutEntry& e);
bool HeldAside(const LogonValueEntry& e);
inline bool HeldAside(const StartupEntry& entry) {
    return std::visit([](const auto& e) { return HeldAside(e); }, entry);
}

// What a kind of live entry must provide to the guard, stated once: a kind
// listed in LiveKinds without any of it fails here, by name, rather than
// deep inside a loop over every kind.
template <typename Entry>
concept GuardedKind = requires(const Entry& e, const StartupFolders& folders, LiveEntries& known,
                               const std::vector<std::wstring>& line) {
    { Starts(e) } -> std::same_as<bool>;
    { IdentityOf(e) } -> std::same_as<std::wstring>;
    { KnownStateOf(e) } -> std::same_as<std::wstring>;
    { OfTheMachine(e) } -> std::same_as<bool>;
    { PlaceReadOf(e, folders) } -> std::same_as<std::wstring>;
    { SameEntry(e, e, folders) } -> std::same_as<bool>;
    { IndexKey(e, folders) } -> std::same_as<std::wstring>;
    { RecordLine(e, folders) } -> std::same_as<std::vector<std::wstring>>;
    { FromRecordLine(std::type_identity<Entry>{}, line, folders) } -> std::same_as<std::optional<Entry>>;
    { KnowMoved(e, folders, known) } -> std::same_as<void>;
    { KeyTextsOf(e) } -> std::same_as<std::vector<std::wstring>>;
    { HeldAside(e) } -> std::same_as<bool>;
    { ListOf<Entry>(known) } -> std::same_as<std::vector<Entry>&>;
};

template <typename... Kinds>
constexpr bool AllGuarded(KindList<Kinds...>) {
    return (GuardedKind<Kinds> && ...);
}
static_assert(AllGuarded(LiveKinds{}), "every kind of live entry is guarded: see GuardedKind");

}  // namespace kb
