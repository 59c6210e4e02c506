#include "Sandbox.h"

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <ostream>
#include <vector>

#include "kinds/ServiceKeys.h"
#include "kinds/TaskFiles.h"
#include "platform/CurrentUser.h"
#include "platform/Faults.h"
#include "platform/SystemFunction.h"
#include "places/TaskManager.h"

namespace kb::test {

void Sandbox::SetUp() {
    registry_ = std::make_unique<ScratchRegistry>();
    ASSERT_TRUE(registry_->Holds()) << "the registry roots are not redirected; refusing to run";
    folder_ = std::make_unique<ScratchFolder>();
    // The scheduler's folder is the prefix's, which other tests would share.
    SetTasksFolderForTesting(Folder(L"Tasks"));
}

namespace {

using NtQueryKeyFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
using UnixNameFunction = char*(CDECL*)(const wchar_t*);

// The key's name as the kernel knows it (\REGISTRY\...), which a link names.
std::wstring KernelNameOf(HKEY root, const std::wstring& path) {
    UniqueKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
    const auto query = SystemFunction<NtQueryKeyFunction>(L"ntdll.dll", "NtQueryKey");
    std::vector<BYTE> buffer(4096);
    ULONG size = 0;
    constexpr int kKeyNameInformation = 3;
    if (!query || query(key.get(), kKeyNameInformation, buffer.data(),
                        static_cast<ULONG>(buffer.size()), &size) != 0)
        return {};
    const ULONG length = *reinterpret_cast<const ULONG*>(buffer.data());
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)),
                        length / sizeof(wchar_t));
}

// Starts a program of the host; false when it cannot be started. Wine
// tells neither when one ends nor its exit code: the caller looks for
// what it did.
bool StartHostCommand(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

bool WaitFor(const std::function<bool()>& done) {
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < 5000; ::Sleep(20))
        if (done()) return true;
    return done();
}

std::wstring HostPathOf(const std::wstring& path) {
    const auto unixName = SystemFunction<UnixNameFunction>(L"kernel32.dll", "wine_get_unix_file_name");
    if (!unixName) return {};
    char* name = unixName(path.c_str());
    if (!name) return {};
    const std::string narrow(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace

void Sandbox::MakeRegistryLink(HKEY root, const std::wstring& link, const std::wstring& target) {
    const std::wstring kernelName = KernelNameOf(root, target);
    ASSERT_FALSE(kernelName.empty()) << "no key to link to";
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(root, link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    registryLinks_.emplace_back(root, link);
    // The link's target is its name, without a closing NUL.
    ASSERT_EQ(::RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(kernelName.data()),
                               static_cast<DWORD>(kernelName.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

bool MakeFolderLinkAt(const std::wstring& link, const std::wstring& target) {
    const std::wstring from = HostPathOf(target), to = HostPathOf(link);
    if (from.empty() || to.empty()) return false;
    return StartHostCommand(L"Z:\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"") &&
           WaitFor([&] { return IsLink(link); });
}

void RemoveFolderLink(const std::wstring& link) {
    const std::wstring host = HostPathOf(link);
    if (!IsLink(link) || host.empty()) return;
    if (StartHostCommand(L"Z:\\bin\\rm -f \"" + host + L"\"")) WaitFor([&] { return !IsLink(link); });
}

bool Sandbox::MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    folderLinks_.push_back(link);
    return MakeFolderLinkAt(link, target);
}

void Sandbox::TearDown() {
    // A test that stood in for another Windows leaves none behind.
    SetStandardUserMode(false);
    SetTaskManagerSwitchesAvailable(std::nullopt);
    SetVistaOrLaterForTesting(std::nullopt);
    SetCurrentUserSidForTesting(std::nullopt);
    SetTasksFolderForTesting(std::nullopt);
    // Links go first, themselves: removing a tree through one would empty
    // what it leads to instead.
    for (const std::wstring& link : folderLinks_) RemoveFolderLink(link);
    for (const auto& [root, task] : plantedTasks_) {
        ::DeleteFileW((L"\\\\?\\" + task).c_str());
        // The folders made for it, while empty.
        for (std::wstring folder = task.substr(0, task.rfind(L'\\')); folder.size() > root.size();
             folder = folder.substr(0, folder.rfind(L'\\')))
            ::RemoveDirectoryW(folder.c_str());
    }
    const auto deleteKey = SystemFunction<NtDeleteKeyFunction>(L"ntdll.dll", "NtDeleteKey");
    for (const auto& [root, path] : registryLinks_) {
        UniqueKey key;
        if (deleteKey && ::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put()) ==
                             ERROR_SUCCESS)
            deleteKey(key.get());
    }
    folder_.reset();
    registry_.reset();
}

std::wstring Sandbox::Folder(const std::wstring& name) {
    return folder_->Sub(name);
}

std::wstring Sandbox::PlantTask(const std::wstring& taskPath, const std::string& bytes) {
    const std::wstring file = TasksFolder() + taskPath;
    MakeFolder(file.substr(0, file.rfind(L'\\')));
    // Letter for letter: a name may end in a dot or a space.
    const UniqueFile out(::CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(out && ::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    plantedTasks_.emplace_back(TasksFolder(), file);
    return file;
}

StartupFolders Sandbox::Folders() {
    // The user store's backup folder is made by the store when it needs it.
    // The machine's backup folder is Keepboot's own, made by the store in a
    // folder of everyone's, as %ProgramData% is.
    return {Folder(L"Common Startup"), Folder(L"Startup"), Folder(L"Windows"),
            TempRoot() + L"\\UserBackup", Folder(L"ProgramData") + L"\\Keepboot\\Backup"};
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

void WriteServiceKey(const std::wstring& name, DWORD type, DWORD start, const std::wstring& imagePath) {
    const ServicesKeyAt at = ServicesKey();
    const std::wstring key = at.path + L"\\" + name;
    SetRawValue(at.root, key, L"Type", REG_DWORD, &type, sizeof type);
    SetRawValue(at.root, key, L"Start", REG_DWORD, &start, sizeof start);
    if (!imagePath.empty()) SetStringValue(at.root, key, L"ImagePath", imagePath, REG_EXPAND_SZ);
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

std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (const wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
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
