#include "logon/LogonPrograms.h"

#include <algorithm>
#include <cstring>

#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/TextCompare.h"
#include "places/CommandLine.h"
#include "logon/LogonValues.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

std::wstring Trimmed(const std::wstring& text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Whether the value is read by a 64-bit program on 64-bit Windows (Winlogon,
// a 64-bit command prompt): its programs are in the 64-bit system folder,
// which this 32-bit program reaches as Sysnative.
bool ReadNatively(const LogonValue& value) {
    return Is64BitWindows() && value.view == KEY_WOW64_64KEY &&
           FoldCase(value.keyPath).find(L"WOW6432NODE") == std::wstring::npos;
}

// A path as this program reaches the file the value's reader would run.
std::wstring AsReached(const std::wstring& path, const LogonValue& value) {
    if (!ReadNatively(value)) return path;
    const std::wstring system32 = WindowsFolder() + L"\\System32\\";
    if (path.size() > system32.size() && EqualIgnoringCase(path.substr(0, system32.size()), system32) &&
        DirectoryExists(WindowsFolder() + L"\\Sysnative"))
        return WindowsFolder() + L"\\Sysnative\\" + path.substr(system32.size());
    return path;
}

// The system folder of the value's reader, as this program reaches it.
std::wstring SystemFolderFor(const LogonValue& value) {
    return ReadNatively(value) ? NativeSystemFolder() : SystemFolder();
}

// Where a bare name is looked for: the system and Windows folders, and for
// a command processor's command also its search path.
std::vector<std::wstring> SearchFolders(const LogonValue& value, bool withPath) {
    std::vector<std::wstring> folders{SystemFolderFor(value), WindowsFolder()};
    if (!withPath) return folders;
    const std::wstring path = ExpandedEnvironment(L"%PATH%");
    if (path == L"%PATH%") return folders;
    for (std::size_t start = 0; start <= path.size();) {
        const auto end = path.find(L';', start);
        if (const std::wstring folder = Trimmed(path.substr(start, end - start)); !folder.empty())
            folders.push_back(folder);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return folders;
}

// The file the name leads to, or empty when there is none.
std::wstring Resolved(const std::wstring& name, const LogonValue& value, bool library, bool withPath) {
    std::wstring path = ExpandedEnvironment(Trimmed(name));
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    if (path.empty()) return {};
    const auto slash = path.find_last_of(L"\\/");
    const auto dot = path.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    std::vector<std::wstring> extensions{L""};
    if (!hasExtension)
        for (const wchar_t* e : library ? std::vector<const wchar_t*>{L".dll"}
                                        : std::vector<const wchar_t*>{L".exe", L".com", L".bat", L".cmd"})
            extensions.push_back(e);
    std::vector<std::wstring> candidates;
    if (slash != std::wstring::npos || path.find(L':') != std::wstring::npos)
        candidates.push_back(AsReached(path, value));
    else
        for (const std::wstring& folder : SearchFolders(value, withPath)) candidates.push_back(folder + L"\\" + path);
    for (const std::wstring& candidate : candidates)
        for (const std::wstring& extension : extensions)
            if (FileExists(candidate + extension)) return FullPath(candidate + extension);
    return {};
}

// The parts of a text between separators, outside double quotes; blanks
// around each removed, empty ones dropped.
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separators) {
    std::vector<std::wstring> parts;
    std::wstring part;
    bool quoted = false;
    for (const wchar_t c : text + separators.substr(0, 1)) {
        if (c == L'"') quoted = !quoted;
        if (!quoted && separators.find(c) != std::wstring::npos) {
            if (!Trimmed(part).empty()) parts.push_back(Trimmed(part));
            part.clear();
            continue;
        }
        part += c;
    }
    return parts;
}

// The command processor's own commands: they name no file.
bool IsBuiltIn(const std::wstring& word) {
    static const wchar_t* const kBuiltIns[] = {
        L"assoc", L"break", L"call", L"cd", L"chcp", L"chdir", L"cls", L"color", L"copy", L"date",
        L"del", L"dir", L"dpath", L"echo", L"endlocal", L"erase", L"exit", L"for", L"ftype", L"goto",
        L"if", L"keys", L"md", L"mkdir", L"mklink", L"move", L"path", L"pause", L"popd", L"prompt",
        L"pushd", L"rd", L"rem", L"ren", L"rename", L"rmdir", L"set", L"setlocal", L"shift",
        L"start", L"time", L"title", L"type", L"ver", L"verify", L"vol"};
    return std::any_of(std::begin(kBuiltIns), std::end(kBuiltIns),
                       [&](const wchar_t* b) { return EqualIgnoringCase(word, b); });
}

// The program each command of a command processor's line starts.
std::vector<std::wstring> CommandProcessorPrograms(const std::wstring& line) {
    std::vector<std::wstring> programs;
    for (std::wstring command : Split(line, L"&|")) {
        while (!command.empty() && (command.front() == L'@' || command.front() == L'(' || command.front() == L' '))
            command.erase(0, 1);
        if (command.empty()) continue;
        if (command.front() != L'"') {
            // "echo.", "cd\": the command's own name runs into its argument.
            const std::wstring word = command.substr(0, command.find_first_of(L" \t/"));
            if (IsBuiltIn(word.substr(0, word.find_first_of(L".\\:;,=+")))) continue;
        }
        if (std::wstring program = SplitCommandLine(command).program; !program.empty())
            programs.push_back(std::move(program));
    }
    return programs;
}

std::wstring TextOf(const RegValue& value) {
    return value.IsText() ? value.Text() : std::wstring();
}

std::optional<DWORD> NumberOf(const ValueState& state) {
    DWORD number = 0;
    if (!state || state->type != REG_DWORD || state->data.size() != sizeof number) return std::nullopt;
    std::memcpy(&number, state->data.data(), sizeof number);
    return number;
}

bool IsLibraryValue(const LogonValue& value) {
    return value.form == LogonValueForm::Libraries;
}

RegValue Text(const std::wstring& text) {
    RegValue value{REG_SZ, {}};
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

RegValue Number(DWORD number) {
    RegValue value{REG_DWORD, std::vector<BYTE>(sizeof number)};
    std::memcpy(value.data.data(), &number, sizeof number);
    return value;
}

bool IsWindows8OrLater() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 2;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
}

bool Named(const LogonValue& value, const wchar_t* name) {
    return EqualIgnoringCase(value.name, name);
}

}  // namespace

std::vector<std::wstring> ProgramsNamedBy(const LogonValue& value, const ValueState& state) {
    if (!state || !state->IsText()) return {};
    const std::wstring text = TextOf(*state);
    switch (value.form) {
    case LogonValueForm::Commands: {
        std::vector<std::wstring> programs;
        for (const std::wstring& command : Split(text, L","))
            if (std::wstring program = SplitCommandLine(command).program; !program.empty())
                programs.push_back(std::move(program));
        return programs;
    }
    case LogonValueForm::CmdLine:
        return CommandProcessorPrograms(text);
    case LogonValueForm::Libraries:
        return Split(text, L" ,");
    case LogonValueForm::Number:
        break;
    }
    return {};
}

std::vector<std::wstring> MissingPrograms(const LogonValue& value, const ValueState& state) {
    std::vector<std::wstring> missing;
    for (const std::wstring& program : ProgramsNamedBy(value, state))
        if (Resolved(program, value, IsLibraryValue(value), value.form == LogonValueForm::CmdLine).empty())
            missing.push_back(program);
    return missing;
}

ValueState WindowsDefaultOf(const LogonValue& value) {
    const bool machineWinlogon =
        value.root == HKEY_LOCAL_MACHINE && FoldCase(value.keyPath).ends_with(L"\\WINLOGON");
    if (machineWinlogon && Named(value, L"Shell")) return Text(L"explorer.exe");
    if (machineWinlogon && Named(value, L"Userinit"))
        return Text(WindowsFolder() + L"\\system32\\userinit.exe,");
    if (Named(value, L"AlternateShell")) return Text(L"cmd.exe");
    if (Named(value, L"AppInit_DLLs")) return Text(L"");
    if (Named(value, L"LoadAppInit_DLLs")) return Number(0);
    // Windows 8 and later load only signed libraries unless told otherwise.
    if (Named(value, L"RequireSignedAppInit_DLLs") && IsWindows8OrLater()) return Number(1);
    return std::nullopt;
}

bool IsWindowsDefault(const LogonValue& value, const ValueState& state) {
    const ValueState own = WindowsDefaultOf(value);
    const bool empty = !state || (state->IsText() && Trimmed(TextOf(*state)).empty());
    if (value.form == LogonValueForm::Number) {
        if (!own) return !state;
        // A switch Windows leaves off by default may also be missing.
        return NumberOf(state) == NumberOf(own) || (!state && NumberOf(own) == 0u);
    }
    if (!own || TextOf(*own).empty()) return empty;
    if (empty || !state->IsText()) return false;
    if (EqualIgnoringCase(Trimmed(ExpandedEnvironment(TextOf(*state))), TextOf(*own))) return true;
    // The same one program, however its path is written, with no arguments.
    const std::vector<std::wstring> named = ProgramsNamedBy(value, state);
    const std::vector<std::wstring> ownNamed = ProgramsNamedBy(value, own);
    if (named.size() != 1 || ownNamed.size() != 1) return false;
    for (const std::wstring& command : Split(TextOf(*state), L","))
        if (!SplitCommandLine(command).arguments.empty()) return false;
    const std::wstring path = Resolved(named[0], value, false, false);
    return !path.empty() && EqualIgnoringCase(path, Resolved(ownNamed[0], value, false, false));
}

LogonDifference HowItDiffers(const LogonValue& value, const ValueState& state) {
    using Kind = LogonDifference::Kind;
    const ValueState own = WindowsDefaultOf(value);
    LogonDifference difference;
    if (value.form == LogonValueForm::Number) {
        if (NumberOf(state)) difference.number = static_cast<DWORD>(*NumberOf(state));
        difference.kind = own ? Kind::Number : Kind::NumberNotWindows;
        if (own) difference.ownNumber = static_cast<DWORD>(*NumberOf(own));
        return difference;
    }
    std::vector<std::wstring> ownPaths;
    for (const std::wstring& program : ProgramsNamedBy(value, own))
        ownPaths.push_back(Resolved(program, value, IsLibraryValue(value), false));
    for (const std::wstring& program : ProgramsNamedBy(value, state)) {
        const std::wstring path = Resolved(program, value, IsLibraryValue(value), value.form == LogonValueForm::CmdLine);
        if (path.empty() || std::none_of(ownPaths.begin(), ownPaths.end(), [&](const std::wstring& p) {
                return EqualIgnoringCase(p, path);
            }))
            difference.programs.push_back(program);
    }
    if (!difference.programs.empty()) {
        difference.kind = ownPaths.empty() ? Kind::Starts : Kind::StartsBesidesOwn;
        return difference;
    }
    if (state && state->IsText()) difference.text = TextOf(*state);
    if (!own || TextOf(*own).empty()) {
        difference.kind = Kind::Holds;
        return difference;
    }
    difference.kind = Kind::HoldsInsteadOfOwn;
    difference.ownText = TextOf(*own);
    return difference;
}

}  // namespace kb
