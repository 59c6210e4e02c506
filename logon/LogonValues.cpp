#include "logon/LogonValues.h"

#include <cstring>

#include "platform/Error.h"
#include "platform/TextCompare.h"
#include "places/Entries.h"
#include "places/Records.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

const wchar_t kWinlogon[] = L"Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kWindows[] = L"Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kCommandProcessor[] = L"Microsoft\\Command Processor";

}  // namespace

std::vector<LogonValue> LogonValuesFor(bool windows64) {
    using Form = LogonValueForm;
    const REGSAM view = windows64 ? KEY_WOW64_64KEY : 0;
    const auto software = [](const wchar_t* below) { return std::wstring(L"Software\\") + below; };
    std::vector<LogonValue> values;
    // Each a list of command lines Winlogon runs (Shell and Userinit may
    // name several, separated by commas).
    for (const wchar_t* name : {L"Shell", L"Userinit", L"Taskman", L"AppSetup"})
        values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", software(kWinlogon), name, view, Form::Commands});
    values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot",
                      L"AlternateShell", view, Form::Commands});
    // A 32-bit command prompt and 32-bit programs read their own copies.
    for (const std::wstring& below :
         windows64 ? std::vector<std::wstring>{L"", L"WOW6432Node\\"} : std::vector<std::wstring>{L""}) {
        values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\" + below + kCommandProcessor,
                          L"AutoRun", view, Form::CmdLine});
        values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\" + below + kWindows, L"AppInit_DLLs",
                          view, Form::Libraries});
        // Whether they load at all, and whether only signed ones do.
        for (const wchar_t* name : {L"LoadAppInit_DLLs", L"RequireSignedAppInit_DLLs"})
            values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\" + below + kWindows, name, view,
                              Form::Number});
    }
    values.push_back({HKEY_CURRENT_USER, L"HKCU", software(kWinlogon), L"Shell", 0, Form::Commands});
    values.push_back({HKEY_CURRENT_USER, L"HKCU",
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", L"Shell", 0,
                      Form::Commands});
    values.push_back({HKEY_CURRENT_USER, L"HKCU", software(kCommandProcessor), L"AutoRun", 0, Form::CmdLine});
    return values;
}

const std::vector<LogonValue>& LogonValues() {
    static const std::vector<LogonValue> values = LogonValuesFor(Is64BitWindows());
    return values;
}

std::optional<ValueState> ReadLogonValue(const LogonValue& value) {
    const OpenedKey key = RegKey::OpenForReading(value.root, value.keyPath, value.view);
    if (!key) return key.NotFound() ? std::optional<ValueState>(ValueState{}) : std::nullopt;
    try {
        return ValueState{key->TryQuery(value.name)};
    } catch (const Error&) {
        return std::nullopt;  // unreadable is not gone: nothing is put back for it
    }
}

void PutBackLogonValue(const LogonValue& value, const ValueState& state) {
    OpenedKey key = state ? RegKey::Create(value.root, value.keyPath, value.view)
                          : RegKey::OpenForWriting(value.root, value.keyPath, value.view);
    if (!key) {
        if (!state && key.NotFound()) return;  // no key, no value: as it was
        throw Error(L"Unable to write to " + value.Location(), static_cast<DWORD>(key.Error()));
    }
    if (state)
        key->WriteBytes(value.name, state->type, state->data);
    else if (key->HasValue(value.name))
        if (const LONG deleted = key->DeleteValue(value.name); deleted != ERROR_SUCCESS)
            throw Error(L"Unable to write to " + value.Location(), static_cast<DWORD>(deleted));
}

KnownGood ReadKnownGood() {
    KnownGood known;
    for (const LogonValue& value : LogonValues()) known.push_back(ReadLogonValue(value));
    return known;
}

namespace {

constexpr wchar_t kLogonRecord[] = L"LogonValues";
// Where earlier versions kept a copy of the machine's values below the
// user's key, which the user's programs write: never read, and removed.
constexpr wchar_t kOldMachineLogonCopy[] = L"MachineLogonValues";

RecordLines LogonLines(const KnownGood& knownGood, bool machine) {
    RecordLines lines;
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size() && i < knownGood.size(); ++i) {
        if ((values[i].root == HKEY_LOCAL_MACHINE) != machine || !knownGood[i]) continue;
        const ValueState& state = *knownGood[i];
        lines.push_back({values[i].Location(), values[i].name, state ? FieldOf(state->type, state->data) : L"none"});
    }
    return lines;
}

void TakeLines(const RecordLines& lines, bool machine, KnownGood& knownGood, std::vector<bool>& fromRecord) {
    const std::vector<LogonValue>& values = LogonValues();
    for (const std::vector<std::wstring>& f : lines) {
        if (f.size() != 3) continue;
        for (std::size_t i = 0; i < values.size() && i < knownGood.size(); ++i) {
            // A record speaks only for the values of its own root.
            if ((values[i].root == HKEY_LOCAL_MACHINE) != machine) continue;
            if (!EqualIgnoringCase(values[i].Location(), f[0]) || !EqualIgnoringCase(values[i].name, f[1])) continue;
            RegValue value;
            if (f[2] == L"none")
                knownGood[i] = ValueState{};
            else if (ParseField(f[2], value.type, value.data))
                knownGood[i] = ValueState{std::move(value)};
            else
                continue;
            fromRecord[i] = true;
        }
    }
}

}  // namespace

KnownGood RestoreKnownGood(const KnownGood& read, std::vector<bool>& fromRecord) {
    KnownGood knownGood = read;
    fromRecord.assign(knownGood.size(), false);
    for (const bool machine : {true, false}) {
        // The machine's values only from the record only administrators
        // write: a known good is written back, so what the user's programs
        // could write must never reach the machine's values.
        RecordLines lines;
        if (ReadRecord(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kLogonRecord, lines) == RecordState::Read)
            TakeLines(lines, machine, knownGood, fromRecord);
    }
    return knownGood;
}

bool KeepKnownGood(const KnownGood& knownGood) {
    // Only an administrator writes the machine's record: refused, it is no failure.
    const LONG machine = WriteRecord(HKEY_LOCAL_MACHINE, kLogonRecord, LogonLines(knownGood, true));
    if (WriteRecord(HKEY_CURRENT_USER, kLogonRecord, LogonLines(knownGood, false)) != ERROR_SUCCESS) return false;
    ForgetRecord(HKEY_CURRENT_USER, kOldMachineLogonCopy);
    return machine == ERROR_SUCCESS || machine == ERROR_ACCESS_DENIED;
}

std::wstring TextOf(const ValueState& state) {
    if (!state) return L"(none)";
    if (state->type == REG_DWORD && state->data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, state->data.data(), sizeof number);
        return std::to_wstring(number);
    }
    return state->Text();
}

EntryDetails DetailsOf(const LogonValue& value, const ValueState& found, const ValueState& before) {
    EntryDetails details;
    // Every program it names, not only the first.
    for (const std::wstring& program : ProgramsNamedBy(value, found))
        details.program += (details.program.empty() ? L"" : L"; ") + program;
    if (details.program.empty() && value.form != LogonValueForm::Number) details.program = TextOf(found);
    details.from = value.Location();
    details.before = TextOf(before);
    return details;
}

namespace {

ValueQuestion QuestionAbout(const LogonValue& value, const ValueState& found,
                            ValueQuestion::Kind kind = ValueQuestion::Kind::WillChange) {
    return {kind, value.name, value.Location(), TextOf(found)};
}

bool MayWrite(const LogonValue& value) {
    const OpenedKey key = RegKey::OpenForWriting(value.root, value.keyPath, value.view);
    return key || !key.Refused();
}

// A change from a value that names a program no longer there: the user is
// asked, and Disable puts Windows' own back where that names nothing missing.
std::optional<LogonValueChange> AskAboutMissing(std::size_t i, const ValueState& live, const ValueState& before,
                                 std::vector<std::wstring> missing, KnownGood& knownGood, const AskAboutValue& ask) {
    const LogonValue& value = LogonValues().at(i);
    const ValueState own = WindowsDefaultOf(value);
    const bool ownUsable = MissingPrograms(value, own).empty();
    EntryDetails details = DetailsOf(value, live, before);
    details.missing = missing;
    const Decision decision = ask(QuestionAbout(value, live, ownUsable ? ValueQuestion::Kind::OwnBackOrKeep : ValueQuestion::Kind::KeepOrLeave),
                                  details);
    if (decision == Decision::Later) return std::nullopt;
    if (decision == Decision::Disable && ownUsable) {
        PutBackLogonValue(value, own);
        knownGood[i] = own;
    }
    if (decision == Decision::Allow) knownGood[i] = live;
    // Disable with nothing to put back leaves it as it is.
    const Decision done = decision == Decision::Disable && !ownUsable ? Decision::Leave : decision;
    return LogonValueChange{i, live, before, done, true, LogonValueChange::Kind::MissingProgram, std::move(missing)};
}

}  // namespace

std::vector<LogonValueChange> CheckLogonValues(Policy policy, KnownGood& knownGood,
                                               const AskAboutValue& ask) {
    using Kind = LogonValueChange::Kind;
    std::vector<LogonValueChange> changes;
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size() && i < knownGood.size(); ++i) {
        const LogonValue& value = values[i];
        const std::optional<ValueState> live = ReadLogonValue(value);
        // Where the reading fails, nobody knows of a change; a value first
        // read now is known from now on.
        if (!live) continue;
        if (!knownGood[i]) {
            knownGood[i] = *live;
            continue;
        }
        if (*live == *knownGood[i]) continue;
        const ValueState before = *knownGood[i];
        // A repair to Windows' own is never undone, under any policy.
        if (IsWindowsDefault(value, *live)) {
            knownGood[i] = *live;
            changes.push_back({i, *live, before, Decision::Allow, false, Kind::Repaired, {}});
            continue;
        }
        if (policy == Policy::Allow) {
            knownGood[i] = *live;
            continue;
        }
        // Nobody is asked about what cannot be put back (a standard user and
        // the machine's values): the caller tells it instead.
        if (!MayWrite(value)) {
            changes.push_back({i, *live, before, Decision::Leave, false, Kind::Refused, {}});
            continue;
        }
        try {
            // What names a program no longer there is never put back: the
            // user decides, whatever the policy.
            if (std::vector<std::wstring> missing = MissingPrograms(value, before); !missing.empty()) {
                if (auto change = AskAboutMissing(i, *live, before, std::move(missing), knownGood, ask))
                    changes.push_back(std::move(*change));
                continue;
            }
            const Decision decision = policy == Policy::DisableSilently
                                          ? Decision::Disable
                                          : ask(QuestionAbout(value, *live), DetailsOf(value, *live, before));
            if (decision == Decision::Later) continue;  // changed still at the next check
            if (decision == Decision::Disable) PutBackLogonValue(value, before);
            if (decision == Decision::Allow) knownGood[i] = *live;
            changes.push_back({i, *live, before, decision, policy != Policy::DisableSilently, Kind::Decided, {}});
        } catch (const Error& e) {
            // Said, and met again next time; the others go on.
            changes.push_back({i, *live, before, Decision::Leave, false, Kind::NotPutBack, {}, false, e.Context(), e.Code()});
        }
    }
    return changes;
}

RestoreResult RestoreWindowsDefault(std::size_t index, const ValueState& asRead) {
    const LogonValue& value = LogonValues().at(index);
    const std::optional<ValueState> live = ReadLogonValue(value);
    if (!live || *live != asRead) return RestoreResult::Changed;
    const ValueState own = WindowsDefaultOf(value);
    if (!MissingPrograms(value, own).empty()) return RestoreResult::OwnProgramMissing;
    if (!MayWrite(value)) return RestoreResult::Refused;
    try {
        PutBackLogonValue(value, own);
    } catch (const Error&) {
        return RestoreResult::Failed;
    }
    return RestoreResult::Restored;
}

}  // namespace kb
