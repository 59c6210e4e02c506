#include "startup/StartupPlaces.h"

#include <shlobj.h>

#include "platform/Handle.h"

namespace kb {

namespace {

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

// A shell special folder's path; empty when the shell cannot name it.
std::wstring SpecialFolderPath(int folderId) {
    UniqueCoMemory idList;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId,
                                            reinterpret_cast<LPITEMIDLIST*>(idList.put()))))
        return {};
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList.get()), path)) return {};
    return path;
}

}  // namespace

const std::vector<RunKeyPlace>& RunKeyPlaces() {
    static const std::vector<RunKeyPlace> places = [] {
        const std::wstring cv = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
        return std::vector<RunKeyPlace>{
            {HKEY_LOCAL_MACHINE, L"HKLM", cv + L"Run"},
            {HKEY_LOCAL_MACHINE, L"HKLM", cv + L"RunOnce"},
            {HKEY_LOCAL_MACHINE, L"HKLM", cv + L"RunServices"},
            {HKEY_LOCAL_MACHINE, L"HKLM", cv + L"RunServicesOnce"},
            {HKEY_CURRENT_USER, L"HKCU", cv + L"Run"},
            {HKEY_CURRENT_USER, L"HKCU", cv + L"RunOnce"},
            {HKEY_CURRENT_USER, L"HKCU", cv + L"RunServicesOnce"},
        };
    }();
    return places;
}

const std::wstring& StartupFolders::FolderOf(const std::wstring& location) const {
    static const std::wstring none;
    const std::wstring kind = AsciiLower(location);
    if (kind == L"common startup") return commonStartup;
    if (kind == L"startup") return userStartup;
    return none;
}

std::wstring StartupFolders::BackupFolder() const {
    return windows.empty() ? std::wstring() : windows + L"\\pss";
}

StartupFolders FindStartupFolders() {
    return {SpecialFolderPath(CSIDL_COMMON_STARTUP), SpecialFolderPath(CSIDL_STARTUP),
            SpecialFolderPath(CSIDL_WINDOWS)};
}

}  // namespace kb
