#include "ScratchRegistry.h"

#include <atomic>

namespace kb::test {

namespace {

std::wstring UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()) +
           L"-" + std::to_wstring(counter++);
}

const wchar_t kScratchParent[] = L"Software\\Keepboot Test Sandbox";

}  // namespace

ScratchRegistry::ScratchRegistry() : path_(std::wstring(kScratchParent) + L"\\" + UniqueSuffix()) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\HKLM").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, machine_.put(), nullptr) != ERROR_SUCCESS ||
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\HKCU").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, user_.put(), nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.get()) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_CURRENT_USER, user_.get()) != ERROR_SUCCESS)
        return;

    // Believe it only when a key made through the root shows up in the scratch key.
    UniqueKey probe, seen;
    holds_ = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SandboxProbe", 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, probe.put(), nullptr) == ERROR_SUCCESS &&
             ::RegOpenKeyExW(machine_.get(), L"SandboxProbe", 0, KEY_READ, seen.put()) ==
                 ERROR_SUCCESS;
    probe.reset();
    seen.reset();
    ::RegDeleteKeyW(machine_.get(), L"SandboxProbe");
}

ScratchRegistry::~ScratchRegistry() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    machine_.reset();
    user_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    // The parent stays only while another test still uses it.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);
}

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"keepboot-test-" + UniqueSuffix();
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

std::wstring ScratchFolder::Sub(const std::wstring& name) const {
    const std::wstring path = path_ + L"\\" + name;
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace kb::test
