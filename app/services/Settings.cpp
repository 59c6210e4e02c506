#include "app/services/Settings.h"

#include <shlobj.h>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Faults.h"
#include "platform/IntText.h"
#include "app/Texts.h"

namespace kb {

namespace {

constexpr wchar_t kSection[] = L"disable";

std::wstring ReadProfileText(const std::wstring& file, const wchar_t* key) {
    std::wstring text(256, L'\0');
    for (;;) {
        const DWORD length = ::GetPrivateProfileStringW(kSection, key, L"", text.data(),
                                                        static_cast<DWORD>(text.size()),
                                                        file.c_str());
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);  // cut short: ask again with more room
    }
}

void WriteProfileText(const std::wstring& file, const wchar_t* key, const std::wstring& text) {
    const DWORD code = InjectFault(FaultPoint::SettingsWrite) ? ERROR_WRITE_FAULT
                       : WriteRefused(file)                     ? ERROR_ACCESS_DENIED
                       : ::WritePrivateProfileStringW(kSection, key, text.c_str(), file.c_str())
                           ? ERROR_SUCCESS
                           : ::GetLastError();
    if (code != ERROR_SUCCESS) throw Error(UiText(IDS_UNABLE_TO_WRITE, {file}), code);
}

}  // namespace

Settings ReadSettings(const std::wstring& file, const Settings& defaults) {
    const auto read = [&](const wchar_t* key, int fallback) {
        return StrToIntDef(ReadProfileText(file, key), fallback);
    };
    Settings s;
    s.startupPolicy = read(L"system", defaults.startupPolicy);
    s.startPagePolicy = read(L"ie", defaults.startPagePolicy);
    s.selfStart = read(L"startup", defaults.selfStart ? 1 : 0) != 0;
    s.intervalUnlocked = read(L"interval", defaults.intervalUnlocked ? 1 : 0) != 0;
    s.intervalSeconds = read(L"interval_second", defaults.intervalSeconds);
    return s;
}

void WriteSettings(const std::wstring& file, const Settings& s) {
    WriteProfileText(file, L"system", std::to_wstring(s.startupPolicy));
    WriteProfileText(file, L"ie", std::to_wstring(s.startPagePolicy));
    WriteProfileText(file, L"startup", s.selfStart ? L"1" : L"0");
    WriteProfileText(file, L"interval", s.intervalUnlocked ? L"1" : L"0");
    WriteProfileText(file, L"interval_second", std::to_wstring(s.intervalSeconds));
}

Policy PolicyOf(int itemIndex) noexcept {
    return itemIndex == 0 ? Policy::DisableSilently : itemIndex == 1 ? Policy::Ask : Policy::Allow;
}

UINT IntervalMilliseconds(int seconds) noexcept {
    const unsigned long long milliseconds = static_cast<unsigned long long>(seconds) * 1000u;
    return milliseconds > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM
                                             : static_cast<UINT>(milliseconds);
}

namespace {

// Whether this process may write the file (or make it in its folder),
// found without changing anything that is there.
bool MayWrite(const std::wstring& file) {
    if (WriteRefused(file)) return false;
    if (FileExists(file)) {
        const UniqueFile handle(::CreateFileW(file.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        // Locked by another program is no lack of rights.
        return handle || ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    const std::wstring probe = file + L".probe";
    const UniqueFile handle(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                          nullptr));
    return static_cast<bool>(handle);
}

std::wstring UserSettingsFile() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return {};
    return std::wstring(appData) + L"\\Keepboot\\Keepboot.ini";
}

}  // namespace

SettingsFiles ChooseSettingsFiles(const std::wstring& executable) {
    const std::wstring beside = SettingsFileFor(executable);
    if (MayWrite(beside)) return {beside, beside};
    const std::wstring own = UserSettingsFile();
    if (own.empty()) return {beside, beside};
    MakeFolder(own.substr(0, own.rfind(L'\\')));
    return {FileExists(own) ? own : beside, own};
}

std::wstring SettingsFileFor(const std::wstring& executable) {
    const std::size_t nameStart = executable.find_last_of(L"\\/") + 1;  // npos + 1 == 0
    const std::size_t dot = executable.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart) return executable + L".ini";
    return executable.substr(0, dot) + L".ini";
}

}  // namespace kb
