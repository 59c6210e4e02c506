#include "Sandbox.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kb::test {

namespace {

std::wstring UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()) +
           L"-" + std::to_wstring(counter++);
}

}  // namespace

void Sandbox::SetUp() {
    scratchPath_ = L"Software\\Keepboot Test Sandbox\\" + UniqueSuffix();
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (scratchPath_ + L"\\HKLM").c_str(), 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, machine_.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (scratchPath_ + L"\\HKCU").c_str(), 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, user_.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.get()), ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, user_.get()), ERROR_SUCCESS);

    // Refuse to go on unless the redirection really holds.
    UniqueKey probe;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SandboxProbe", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, probe.put(), nullptr),
              ERROR_SUCCESS);
    probe.reset();
    UniqueKey seen;
    ASSERT_EQ(::RegOpenKeyExW(machine_.get(), L"SandboxProbe", 0, KEY_READ, seen.put()),
              ERROR_SUCCESS)
        << "HKEY_LOCAL_MACHINE is not redirected; refusing to run";
    seen.reset();
    ::RegDeleteKeyW(machine_.get(), L"SandboxProbe");

    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    tempRoot_ = std::wstring(temp) + L"keepboot-test-" + UniqueSuffix();
    ASSERT_TRUE(::CreateDirectoryW(tempRoot_.c_str(), nullptr));
}

void Sandbox::TearDown() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    machine_.reset();
    user_.reset();
    if (!scratchPath_.empty()) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, scratchPath_.c_str());
        // The parent stays only while another test still uses it.
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Keepboot Test Sandbox");
    }
    if (!tempRoot_.empty()) RemoveTree(tempRoot_);
}

std::wstring Sandbox::Folder(const std::wstring& name) {
    const std::wstring path = tempRoot_ + L"\\" + name;
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

void SetRawValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, DWORD type,
                 const void* data, DWORD size) {
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                               size),
              ERROR_SUCCESS);
}

void SetStringValue(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                    const std::wstring& text, DWORD type) {
    SetRawValue(root, keyPath, name, type, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RawKeyExists(HKEY root, const std::wstring& keyPath) {
    UniqueKey key;
    return ::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

std::string Narrow(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

}  // namespace kb::test
