#include "startup/LogonValues.h"

#include <cstring>

#include "platform/Error.h"
#include "platform/ShowableText.h"
#include "startup/StartupPlaces.h"

namespace kb {

namespace {

const wchar_t kWinlogon[] = L"Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kWindows[] = L"Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kCommandProcessor[] = L"Microsoft\\Command Processor";

}  // namespace

std::vector<LogonValue> LogonValuesFor(bool windows64) {
    const REGSAM view = windows64 ? KEY_WOW64_64KEY : 0;
    const auto software = [](const wchar_t* below) { return std::wstring(L"Software\\") + below; };
    std::vector<LogonValue> values;
    for (const wchar_t* name : {L"Shell", L"Userinit", L"Taskman", L"AppSetup"})
        values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", software(kWinlogon), name, view});
    values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot",
                      L"AlternateShell", view});
    // A 32-bit command prompt and 32-bit programs read their own copies.
    for (const std::wstring& below :
         windows64 ? std::vector<std::wstring>{L"", L"WOW6432Node\\"} : std::vector<std::wstring>{L""}) {
        values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\" + below + kCommandProcessor,
                          L"AutoRun", view});
        for (const wchar_t* name : {L"AppInit_DLLs", L"LoadAppInit_DLLs"})
            values.push_back({HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\" + below + kWindows, name, view});
    }
    values.push_back({HKEY_CURRENT_USER, L"HKCU", software(kWinlogon), L"Shell", 0});
    values.push_back({HKEY_CURRENT_USER, L"HKCU",
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", L"Shell", 0});
    values.push_back({HKEY_CURRENT_USER, L"HKCU", software(kCommandProcessor), L"AutoRun", 0});
    return values;
}

const std::vector<LogonValue>& LogonValues() {
    static const std::vector<LogonValue> values = LogonValuesFor(Is64BitWindows());
    return values;
}

std::optional<ValueState> ReadLogonValue(const LogonValue& value) {
    const OpenedKey key = RegKey::OpenForReading(value.root, value.keyPath, value.view);
    if (!key) return key.NotFound() ? std::optional<ValueState>(ValueState{}) : std::nullopt;
    return ValueState{key->Query(value.name)};
}

void PutBackLogonValue(const LogonValue& value, const ValueState& state) {
    OpenedKey key = state ? RegKey::Create(value.root, value.keyPath, value.view)
                          : RegKey::OpenForWriting(value.root, value.keyPath, value.view);
    if (!key) {
        if (!state && key.NotFound()) return;  // no key, no value: as it was
        throw Error(L"Unable to write to " + value.Location());
    }
    if (state)
        key->WriteBytes(value.name, state->type, state->data);
    else if (key->HasValue(value.name) && !key->DeleteValue(value.name))
        throw Error(L"Unable to write to " + value.Location());
}

KnownGood ReadKnownGood() {
    KnownGood known;
    for (const LogonValue& value : LogonValues()) known.push_back(ReadLogonValue(value));
    return known;
}

std::wstring TextOf(const ValueState& state) {
    if (!state) return L"(none)";
    if (state->type == REG_DWORD && state->data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, state->data.data(), sizeof number);
        return std::to_wstring(number);
    }
    return Showable(state->Text());
}

std::vector<LogonValueChange> CheckLogonValues(
    Policy policy, KnownGood& knownGood,
    const std::function<Decision(const std::wstring& question)>& ask) {
    std::vector<LogonValueChange> changes;
    const std::vector<LogonValue>& values = LogonValues();
    for (std::size_t i = 0; i < values.size() && i < knownGood.size(); ++i) {
        const std::optional<ValueState> live = ReadLogonValue(values[i]);
        // Where the reading fails, nobody knows of a change; a value first
        // read now is known from now on.
        if (!live) continue;
        if (!knownGood[i]) {
            knownGood[i] = *live;
            continue;
        }
        if (*live == *knownGood[i]) continue;
        if (policy == Policy::Allow) {
            knownGood[i] = *live;
            continue;
        }
        const ValueState before = *knownGood[i];
        // Nobody is asked about what cannot be put back (a standard user and
        // the machine's values): the caller tells it instead.
        if (const OpenedKey key = RegKey::OpenForWriting(values[i].root, values[i].keyPath,
                                                         values[i].view);
            !key && key.Refused()) {
            changes.push_back({i, *live, before, Decision::Leave, false, true});
            continue;
        }
        try {
            const Decision decision =
                policy == Policy::DisableSilently
                    ? Decision::Disable
                    // "disbale": the prompt's own text.
                    : ask(L"'" + std::wstring(values[i].name) + L"' (" + values[i].Location() +
                          L") will change to \"" + TextOf(*live) +
                          L"\", do you want to disbale it?");
            if (decision == Decision::Disable) PutBackLogonValue(values[i], before);
            if (decision == Decision::Allow) knownGood[i] = *live;
            changes.push_back({i, *live, before, decision, policy != Policy::DisableSilently});
        } catch (const Error&) {
            // Met again next time; the others go on.
        }
    }
    return changes;
}

}  // namespace kb
