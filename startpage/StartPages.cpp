#include "startpage/StartPages.h"

#include "platform/Error.h"
#include "platform/Registry.h"
#include "places/Records.h"

namespace kb {

const std::array<StartPageValue, kStartPageCount> kStartPageValues = {{
    {HKEY_LOCAL_MACHINE, L"Start Page", L"Internet Explorer Start Pages (Local Machine)"},
    {HKEY_CURRENT_USER, L"Start Page", L"Internet Explorer Start Pages (Current User)"},
    {HKEY_LOCAL_MACHINE, L"Default_Page_URL", L"Internet Explorer Default Page URL (Local Machine)"},
    {HKEY_CURRENT_USER, L"Default_Page_URL", L"Internet Explorer Default Page URL (Current User)"},
}};

std::optional<std::wstring> ReadStartPage(std::size_t index) {
    const StartPageValue& value = kStartPageValues.at(index);
    const OpenedKey key = RegKey::OpenForReading(value.root, kStartPageKey);
    if (!key) return std::nullopt;
    std::optional<RegValue> data;
    try {
        data = key->TryQuery(value.name);
    } catch (const Error&) {
        return std::nullopt;  // unreadable, not empty
    }
    if (!data) return std::wstring();
    if (!data->IsText()) return std::nullopt;
    return data->Text();
}

LONG WriteStartPage(std::size_t index, const std::wstring& text) {
    const StartPageValue& value = kStartPageValues.at(index);
    OpenedKey key = RegKey::OpenForWriting(value.root, kStartPageKey);
    if (!key) return key.Error();
    // An expandable value stays expandable.
    const std::optional<RegValue> now = key->TryQuery(value.name);
    key->WriteString(value.name, text, now && now->type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ);
    return ERROR_SUCCESS;
}

namespace {

constexpr wchar_t kPagesRecord[] = L"StartPages";
// Where earlier versions kept a copy of the machine's pages below the
// user's key, which the user's programs write: never read, and removed.
constexpr wchar_t kOldMachinePagesCopy[] = L"MachineStartPages";

RecordLines PageLines(const StartPageReferences& references, bool machine) {
    RecordLines lines;
    for (std::size_t i = 0; i < kStartPageCount; ++i)
        if ((kStartPageValues[i].root == HKEY_LOCAL_MACHINE) == machine)
            lines.push_back({kStartPageValues[i].name, references[i] ? L"defended" : L"not defended",
                             references[i].value_or(L"")});
    return lines;
}

bool TakePageLines(const RecordLines& lines, bool machine, StartPageReferences& references) {
    bool found = false;
    for (const std::vector<std::wstring>& f : lines)
        for (std::size_t i = 0; i < kStartPageCount; ++i)
            if (f.size() == 3 && (kStartPageValues[i].root == HKEY_LOCAL_MACHINE) == machine &&
                f[0] == kStartPageValues[i].name) {
                references[i] = f[1] == L"defended" ? std::optional<std::wstring>(f[2]) : std::nullopt;
                found = true;
            }
    return found;
}

}  // namespace

std::optional<StartPageReferences> RestoreDefended() {
    StartPageReferences references;
    bool anyFound = false;
    for (const bool machine : {true, false}) {
        // Each root's pages only from its own record: what the user's
        // programs could write never speaks for the machine's.
        RecordLines lines;
        const bool found =
            ReadRecord(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kPagesRecord, lines) == RecordState::Read &&
            TakePageLines(lines, machine, references);
        anyFound = anyFound || found;
        // Without a record, the root's pages are defended as they are now.
        if (!found)
            for (std::size_t i = 0; i < kStartPageCount; ++i)
                if ((kStartPageValues[i].root == HKEY_LOCAL_MACHINE) == machine) references[i] = ReadStartPage(i);
    }
    if (!anyFound) return std::nullopt;
    return references;
}

void KeepDefended(const StartPageReferences& references) {
    // Only an administrator writes the machine's record.
    WriteRecord(HKEY_LOCAL_MACHINE, kPagesRecord, PageLines(references, true));
    if (WriteRecord(HKEY_CURRENT_USER, kPagesRecord, PageLines(references, false)) == ERROR_SUCCESS)
        ForgetRecord(HKEY_CURRENT_USER, kOldMachinePagesCopy);
}

namespace {

bool MayWrite(const StartPageValue& value) {
    const OpenedKey key = RegKey::OpenForWriting(value.root, kStartPageKey);
    return key || !key.Refused();
}

std::wstring KeyOf(const StartPageValue& value) {
    return std::wstring(value.root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\") + kStartPageKey;
}

// An allowed value written back as it is: why that failed, or nothing.
std::optional<Error> WriteBack(std::size_t index, const std::wstring& text) {
    try {
        // The key did not open for writing: Windows' reason says why.
        if (const LONG opened = WriteStartPage(index, text); opened != ERROR_SUCCESS)
            return Error(KeyOf(kStartPageValues.at(index)), static_cast<DWORD>(opened));
        return std::nullopt;
    } catch (const Error& e) {
        return e;
    }
}

}  // namespace

std::vector<StartPageChange> CheckStartPages(Policy policy, const StartPageReferences& references,
                                             const AskAboutValue& ask) {
    std::vector<StartPageChange> changes;
    if (policy == Policy::Allow) return changes;
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        if (!references[i]) continue;
        // A value that cannot be read has not changed as far as anyone knows.
        const std::optional<std::wstring> live = ReadStartPage(i);
        if (!live || *live == *references[i]) continue;
        const StartPageValue& value = kStartPageValues[i];
        // Nobody is asked about what cannot be put back.
        if (!MayWrite(value)) {
            changes.push_back({i, *live, *references[i], Decision::Leave, false, true});
            continue;
        }
        try {
            const Decision decision =
                policy == Policy::DisableSilently
                    ? Decision::Disable
                    : ask({ValueQuestion::Kind::WillChange, value.caption, {}, *live},
                          EntryDetails{*live, {}, KeyOf(value), *references[i]});
            if (decision == Decision::Later) continue;  // changed still at the next check
            // Put back only when it was: a key that did not open is no put-back.
            if (decision == Decision::Disable && WriteStartPage(i, *references[i]) != ERROR_SUCCESS) {
                changes.push_back({i, *live, *references[i], decision, false, true});
                continue;
            }
            StartPageChange change{i, *live, *references[i], decision, policy != Policy::DisableSilently};
            if (decision == Decision::Allow) change.notWrittenBack = WriteBack(i, *live);
            changes.push_back(std::move(change));
        } catch (const Error&) {
            changes.push_back({i, *live, *references[i], Decision::Leave, false, true});
        }
    }
    return changes;
}

}  // namespace kb
