#pragma once
// The single values logon takes a program or a library from (the shell,
// the user's initialisation, a command run with every command prompt, the
// libraries loaded into every program): each guarded against its known
// good, the value as the first whole reading found it or as the user last
// allowed it. Such a value is never moved into the store: disabling a
// change puts the known good back.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "policy/Policy.h"
#include "places/Entries.h"
#include "logon/LogonPrograms.h"

namespace kb {

struct LogonValue {
    HKEY root;
    const wchar_t* rootName;  // "HKLM" or "HKCU"
    std::wstring keyPath;
    const wchar_t* name;
    REGSAM view;
    LogonValueForm form;

    // HKLM\...\Winlogon: the key, as the list's Location texts name keys.
    std::wstring Location() const { return std::wstring(rootName) + L"\\" + keyPath; }
};

// The values, the machine's first; on 64-bit Windows those a 32-bit program
// reads of its own (the command processor's, AppInit) are there in both
// views.
std::vector<LogonValue> LogonValuesFor(bool windows64);
const std::vector<LogonValue>& LogonValues();


// The value now; a key that is not there holds no value. Nothing at all
// when the key or the value is there but cannot be read: nobody knows what
// it holds.
std::optional<ValueState> ReadLogonValue(const LogonValue& value);

// Puts the state back: the bytes of their type, or no value where there was
// none. Raises when the registry refuses.
void PutBackLogonValue(const LogonValue& value, const ValueState& state);

// The known good of each value, by its place in LogonValues(); none for a
// value whose key could not be read (nothing to put back).
using KnownGood = std::vector<std::optional<ValueState>>;
KnownGood ReadKnownGood();

// The known good as the last run left it, kept as records (the machine's
// values below HKEY_LOCAL_MACHINE, which only administrators write; the
// user's below HKEY_CURRENT_USER); a value with no record keeps its
// reading. Which came from a record, by index.
KnownGood RestoreKnownGood(const KnownGood& read, std::vector<bool>& fromRecord);
// Keeps it: at the first check, and at the end of each check that changed
// it. False when a record that may be written was not.
bool KeepKnownGood(const KnownGood& knownGood);

// What became of one changed value.
struct LogonValueChange {
    enum class Kind {
        Decided,  // put back, allowed or left, by the policy or the user
        Refused,  // this process may not write it: nothing was asked or done
        Repaired,  // made Windows' own: allowed, whatever the policy
        // What it held before names a program that is not there: never put
        // back; the user was asked, and Disable put back Windows' own.
        MissingProgram,
        // Found as the watch started, not Windows' own: guarded as it is,
        // and said.
        NotWindowsOwn,
        // The put-back was decided but its write failed: nothing changed.
        NotPutBack,
    };
    std::size_t index;
    ValueState found, knownGood;
    Decision decision;
    bool asked;
    Kind kind = Kind::Decided;
    std::vector<std::wstring> missing;  // of MissingProgram: what is not there
    bool atStart = false;  // found at start: it changed while Keepboot was not running
    std::wstring why = {};  // of NotPutBack: what the write was doing
    DWORD code = 0;         // and Windows' code for why it failed
};

// How a value's state reads in a question or the history.
std::wstring TextOf(const ValueState& state);

// What a question about the value shows below it: every program the value
// found names, what it held before, and its place.
EntryDetails DetailsOf(const LogonValue& value, const ValueState& found, const ValueState& before);

// One check: each value that differs from its known good is put back,
// asked about or accepted, as the policy says; accepted, what it holds is
// its known good from now on. A value made Windows' own is a repair, never
// undone. A known good that names a program no longer there is never put
// back. A value that cannot be read, or put back, is met again next time;
// the others go on.
std::vector<LogonValueChange> CheckLogonValues(Policy policy, KnownGood& knownGood,
                                               const AskAboutValue& ask);

// Puts Windows' own value back, for the user: only while the value is
// still as read, and only when what Windows' own names is there.
enum class RestoreResult { Restored, Changed, OwnProgramMissing, Refused, Failed };
RestoreResult RestoreWindowsDefault(std::size_t index, const ValueState& asRead);

}  // namespace kb
