#include "Sandbox.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <vector>

#include "platform/Faults.h"
#include "startup/TaskManager.h"

namespace kb::test {

void Sandbox::SetUp() {
    registry_ = std::make_unique<ScratchRegistry>();
    ASSERT_TRUE(registry_->Holds()) << "the registry roots are not redirected; refusing to run";
    folder_ = std::make_unique<ScratchFolder>();
}

void Sandbox::TearDown() {
    // A test that stood in for another Windows leaves none behind.
    SetStandardUserMode(false);
    SetTaskManagerSwitchesAvailable(std::nullopt);
    folder_.reset();
    registry_.reset();
}

std::wstring Sandbox::Folder(const std::wstring& name) {
    return folder_->Sub(name);
}

StartupFolders Sandbox::Folders() {
    // The user store's backup folder is made by the store when it needs it.
    return {Folder(L"Common Startup"), Folder(L"Startup"), Folder(L"Windows"),
            TempRoot() + L"\\UserBackup", TempRoot() + L"\\MachineBackup"};
}

void SetRawValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, DWORD type,
                 const void* data, DWORD size, REGSAM view) {
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                               size),
              ERROR_SUCCESS);
}

void SetStringValue(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                    const std::wstring& text, DWORD type, REGSAM view) {
    SetRawValue(root, keyPath, name, type, text.c_str(),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), view);
}

bool RawKeyExists(HKEY root, const std::wstring& keyPath, REGSAM view) {
    UniqueKey key;
    return ::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

RawValue ReadRawValue(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                      REGSAM view) {
    UniqueKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        return {};
    DWORD type = REG_NONE, size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size);
    return {true, type, data.data()};
}

RawValue Text(const std::wstring& text, DWORD type) {
    return {true, type, text};
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Narrow(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

void PrintTo(const RawValue& value, std::ostream* os) {
    if (!value.exists) {
        *os << "(no value)";
        return;
    }
    *os << "{type " << value.type << ": " << Narrow(value.text) << "}";
}

}  // namespace kb::test
