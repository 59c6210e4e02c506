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

// Test processes run side by side and each removes the shared parent when it
// ends; a key being made below it while that happens is made on a deleted key.
// Making it again finds the parent anew.
LSTATUS CreateScratchKey(const std::wstring& path, UniqueKey& key) {
    LSTATUS status = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 20; ++attempt) {
        status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, key.put(), nullptr);
        if (status == ERROR_SUCCESS) return status;
    }
    return status;
}

}  // namespace

ScratchRegistry::ScratchRegistry() : path_(std::wstring(kScratchParent) + L"\\" + UniqueSuffix()) {
    if (CreateScratchKey(path_ + L"\\HKLM", machine_) != ERROR_SUCCESS ||
        CreateScratchKey(path_ + L"\\HKCU", user_) != ERROR_SUCCESS ||
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
