#pragma once
// Every test that touches the registry or the file system derives from
// Sandbox: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are redirected to fresh
// scratch keys, and each test gets its own temporary folder. Nothing a test
// does reaches the real startup keys, store keys or Startup folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ScratchRegistry.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "places/StartupPlaces.h"

namespace kb::test {

class Sandbox : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A folder below this test's temporary folder, created if missing.
    std::wstring Folder(const std::wstring& name);
    const std::wstring& TempRoot() const { return folder_->Path(); }
    // The test's own Startup folders and Windows folder (without pss).
    StartupFolders Folders();

    // A registry key that is a symbolic link to another key below the same
    // root, as a program may make one; gone at the end of the test.
    void MakeRegistryLink(HKEY root, const std::wstring& link, const std::wstring& target);
    // A folder link (see below), gone at the end of the test.
    bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
    // A task's definition written where the scheduler's definitions are
    // read from (a folder of the test's own, unless the test uses the
    // prefix's, which only the scheduler's tests do, one at a time), gone
    // with the folders made for it at the end of the test. Its file's path.
    std::wstring PlantTask(const std::wstring& taskPath, const std::string& bytes);

private:
    std::unique_ptr<ScratchRegistry> registry_;
    std::unique_ptr<ScratchFolder> folder_;
    std::vector<std::pair<HKEY, std::wstring>> registryLinks_;
    std::vector<std::wstring> folderLinks_;
    std::vector<std::pair<std::wstring, std::wstring>> plantedTasks_;  // the folder, the file
};

// Writes a registry value of any type directly, for setting up tests; view
// is 0 or one of KEY_WOW64_32KEY / KEY_WOW64_64KEY.
void SetRawValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, DWORD type,
                 const void* data, DWORD size, REGSAM view = 0);
void SetStringValue(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                    const std::wstring& text, DWORD type = REG_SZ, REGSAM view = 0);
// A service's key as an installer writes it, one value at a time, below
// the Services key the reading reads.
void WriteServiceKey(const std::wstring& name, DWORD type, DWORD start, const std::wstring& imagePath);
bool RawKeyExists(HKEY root, const std::wstring& keyPath, REGSAM view = 0);

// A registry value as it stands, read past every layer of the program.
struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::wstring text;  // the data as text, up to its first NUL
    bool operator==(const RawValue&) const = default;
};
RawValue ReadRawValue(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                      REGSAM view = 0);
// A string value as it stands: exists, of that type, with that text.
RawValue Text(const std::wstring& text, DWORD type = REG_SZ);

// A folder that is a link to another folder: Wine shows a symbolic link of
// the host as a reparse point, as Windows shows a junction. False where
// none can be made.
bool MakeFolderLinkAt(const std::wstring& link, const std::wstring& target);
// Removes the link itself, never what it leads to.
void RemoveFolderLink(const std::wstring& link);

void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The bytes of a file written as UTF-16 little-endian with its mark, as
// Windows' scheduler writes its definitions.
std::string Utf16File(const std::wstring& text);
std::string ReadFileBytes(const std::wstring& path);

std::string Narrow(const std::wstring& text);
void PrintTo(const RawValue& value, std::ostream* os);

}  // namespace kb::test
