#include "Sandbox.h"

#include <sddl.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "logon/LogonValues.h"
#include "startpage/StartPages.h"

namespace kb::test {
namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryTest : public Sandbox {};

std::wstring ThrownMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.Context();
    }
    return L"(nothing raised)";
}

// A failed write says what it was doing, and carries Windows' own code for
// why: here a key opened for reading only.
TEST_F(RegistryTest, AFailedWriteCarriesWindowsCode) {
    ASSERT_TRUE(RegKey::Create(HKEY_CURRENT_USER, kRun));
    OpenedKey readOnly = RegKey::OpenForReading(HKEY_CURRENT_USER, kRun);
    ASSERT_TRUE(readOnly);
    try {
        readOnly->WriteString(L"Alpha", L"a.exe");
        ADD_FAILURE() << "a write through a read-only handle raised nothing";
    } catch (const Error& e) {
        EXPECT_EQ(e.Context(), L"Failed to set data for 'Alpha'");
        EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST_F(RegistryTest, WritesAndReadsTextAndListsNames) {
    EXPECT_FALSE(RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kRun)) << "a missing key is not created by Open";
    {
        OpenedKey key = RegKey::Create(HKEY_LOCAL_MACHINE, L"\\" + kRun);
        ASSERT_TRUE(key) << "a leading backslash is dropped";
        key->WriteString(L"Alpha", L"C:\\a.exe -min");
        key->WriteString(L"beta", L"");
        key->WriteString(L"", L"default value");
        key->WriteString(L"expand", L"%TEMP%", REG_EXPAND_SZ);
    }
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRun));
    EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kRun)) << "the root decides where keys go";

    const OpenedKey key = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_TRUE(key);
    auto names = key->ValueNames();  // in the registry's own order
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"", L"Alpha", L"beta", L"expand"}));
    EXPECT_EQ(key->ReadString(L"Alpha"), L"C:\\a.exe -min");
    EXPECT_EQ(key->ReadString(L"BETA"), L"") << "value names ignore letter case";
    EXPECT_EQ(key->ReadString(L""), L"default value");
    EXPECT_EQ(key->ReadString(L"missing"), L"");
    EXPECT_TRUE(key->HasValue(L"beta"));
    EXPECT_FALSE(key->HasValue(L"missing"));
    EXPECT_FALSE(key->TryQuery(L"missing"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"expand"), Text(L"%TEMP%", REG_EXPAND_SZ));

    const std::optional<RegValue> beta = key->TryQuery(L"beta");
    ASSERT_TRUE(beta);
    EXPECT_EQ(beta->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(beta->data.size(), sizeof(wchar_t)) << "text is written with its terminating NUL";
}

TEST_F(RegistryTest, ReadsAwkwardStringData) {
    const std::wstring longText(5000, L'x');
    SetStringValue(HKEY_CURRENT_USER, kRun, L"long", longText);
    const wchar_t noNul[] = {L'a', L'b', L'c'};
    SetRawValue(HKEY_CURRENT_USER, kRun, L"noNul", REG_SZ, noNul, sizeof noNul);
    const wchar_t embedded[] = L"first\0second";
    SetRawValue(HKEY_CURRENT_USER, kRun, L"embedded", REG_SZ, embedded, sizeof embedded);
    SetRawValue(HKEY_CURRENT_USER, kRun, L"emptySz", REG_SZ, L"", 0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"expand", L"%ProgramFiles%\\Tool\\tool.exe",
                   REG_EXPAND_SZ);
    SetRawValue(HKEY_CURRENT_USER, kRun, L"emptyBinary", REG_BINARY, nullptr, 0);
    const char odd[] = {'a', 0, 'b'};  // an odd byte count: the half character is dropped
    SetRawValue(HKEY_CURRENT_USER, kRun, L"odd", REG_SZ, odd, sizeof odd);

    const OpenedKey key = RegKey::OpenForWriting(HKEY_CURRENT_USER, kRun);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString(L"long"), longText);
    EXPECT_EQ(key->ReadString(L"noNul"), L"abc");
    EXPECT_EQ(key->ReadString(L"embedded"), L"first");
    EXPECT_EQ(key->ReadString(L"emptySz"), L"");
    EXPECT_EQ(key->ReadString(L"expand"), L"%ProgramFiles%\\Tool\\tool.exe");
    EXPECT_EQ(key->ReadString(L"emptyBinary"), L"") << "a value without data reads as empty";
    EXPECT_EQ(key->ReadString(L"odd"), L"a");
}

TEST_F(RegistryTest, NonTextDataRaisesWithTheValueName) {
    const DWORD number = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Blob", REG_BINARY, "xy", 2);
    const wchar_t multi[] = L"a\0b\0";
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Multi", REG_MULTI_SZ, multi, sizeof multi);

    const OpenedKey key = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_TRUE(key);
    EXPECT_EQ(ThrownMessage([&] { key->ReadString(L"Counter"); }),
              L"Invalid data type for 'Counter'");
    EXPECT_EQ(ThrownMessage([&] { key->ReadString(L"Blob"); }), L"Invalid data type for 'Blob'");
    EXPECT_EQ(ThrownMessage([&] { key->ReadString(L"Multi"); }), L"Invalid data type for 'Multi'");
    EXPECT_FALSE(key->TryQuery(L"Counter")->IsText());
}

TEST_F(RegistryTest, RefusedWriteRaisesWithTheValueName) {
    OpenedKey key = RegKey::Create(HKEY_CURRENT_USER, kRun);
    ASSERT_TRUE(key);
    // A name longer than the registry allows is refused.
    EXPECT_EQ(ThrownMessage([&] { key->WriteString(std::wstring(300000, L'n'), L"x"); })
                  .rfind(L"Failed to set data for '", 0),
              0u);
}

TEST_F(RegistryTest, DeletesValuesAndWholeTrees) {
    const std::wstring store = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One", L"item", L"One");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One\\Deeper\\Deepest", L"x", L"1");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One\\Second", L"x", L"2");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\Two", L"item", L"Two");

    EXPECT_EQ(RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, store)->SubkeyNames(),
              (std::vector<std::wstring>{L"One", L"Two"}));
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, L"\\" + store + L"\\One"));
    EXPECT_EQ(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, store + L"\\One"), ERROR_SUCCESS);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, store + L"\\One"));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, store + L"\\Two"));
    EXPECT_EQ(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, store + L"\\One"), ERROR_FILE_NOT_FOUND)
        << "already gone";
    EXPECT_NE(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, L""), ERROR_SUCCESS) << "never the root";
    EXPECT_NE(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, L"\\"), ERROR_SUCCESS) << "never the root";

    OpenedKey two = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, store + L"\\Two");
    EXPECT_EQ(two->DeleteValue(L"item"), ERROR_SUCCESS);
    EXPECT_FALSE(two->HasValue(L"item"));
    EXPECT_EQ(two->DeleteValue(L"item"), ERROR_FILE_NOT_FOUND) << "already gone";
}

// "Not found" and "refused" are told apart, and the standard-user mode
// refuses what Windows refuses a standard user's process: writing below
// HKEY_LOCAL_MACHINE and into protected folders, never reading.
TEST_F(RegistryTest, MissingIsNotRefusedAndTheStandardUserMayOnlyRead) {
    const OpenedKey missing = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kRun);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(missing.NotFound());
    EXPECT_FALSE(missing.Refused());
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", L"tool.exe");

    const std::wstring guarded = Folder(L"Program Files\\Keepboot");
    SetStandardUserMode(true, {guarded});
    const unsigned long opensBefore = WriteOpens();
    const OpenedKey read = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_TRUE(read) << "reading the machine's keys is allowed";
    EXPECT_EQ(read->ReadString(L"Tool"), L"tool.exe");
    EXPECT_EQ(WriteOpens(), opensBefore) << "a reading asks for no write rights";
    for (const OpenedKey& refused :
         {RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kRun), RegKey::Create(HKEY_LOCAL_MACHINE, L"New")}) {
        EXPECT_FALSE(refused);
        EXPECT_TRUE(refused.Refused());
    }
    EXPECT_EQ(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kRun), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(RegKey::Create(HKEY_CURRENT_USER, L"Software")) << "the user's own keys";
    EXPECT_EQ(WriteOpens(), opensBefore + 4);
    // Asking whether a key could be made makes nothing.
    EXPECT_FALSE(RegKey::MayCreate(HKEY_LOCAL_MACHINE, L"Software\\Made\\Here"));
    EXPECT_TRUE(RegKey::MayCreate(HKEY_CURRENT_USER, L"Software\\Made\\Here"));
    EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, L"Software\\Made"));
    EXPECT_TRUE(WriteRefused(guarded + L"\\Keepboot.ini"));
    EXPECT_FALSE(WriteRefused(guarded + L" (2)\\Keepboot.ini")) << "only what is below the folder";
    WriteFileBytes(Folder(L"Mine") + L"\\a.txt", "a");
    // A file write says what it came to, refused or not there, never a bare false.
    EXPECT_TRUE(CopyFileTo(Folder(L"Mine") + L"\\a.txt", guarded + L"\\a.txt").Refused());
    EXPECT_TRUE(MakeFolder(guarded + L"\\Sub").Refused());
    EXPECT_TRUE(DeleteFileAt(guarded + L"\\Keepboot.ini").Refused());
    EXPECT_EQ(DeleteFileAt(Folder(L"Mine") + L"\\none.txt").Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(MakeFolder(Folder(L"Mine") + L"\\a\\b").Done()) << "with its missing parents";
    SetStandardUserMode(false);
    EXPECT_TRUE(RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kRun));
    EXPECT_TRUE(RegKey::MayCreate(HKEY_LOCAL_MACHINE, L"Software\\Made\\Here"));
    EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, L"Software\\Made"));
}

// A key the user may read but not write is refused for writing, as keys
// under HKEY_LOCAL_MACHINE are for a user without rights there.
TEST_F(RegistryTest, KeyWithoutWriteAccessDoesNotOpen) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;OICI;KR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueKey locked;
    const LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"ReadOnly", 0, nullptr, 0, KEY_READ,
                                      &attributes, locked.put(), nullptr);
    ::LocalFree(descriptor);
    ASSERT_EQ(rc, ERROR_SUCCESS);
    locked.reset();
    UniqueKey probe;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"ReadOnly", 0, KEY_ALL_ACCESS, probe.put()) ==
        ERROR_SUCCESS)
        GTEST_SKIP() << "this system does not enforce registry access rights";

    EXPECT_TRUE(RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, L"ReadOnly").Refused());
    EXPECT_FALSE(RegKey::Create(HKEY_LOCAL_MACHINE, L"ReadOnly"));
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, L"ReadOnly")) << "reading is still allowed";

    // The owner may always rewrite the access rights, so the sandbox can go.
    UniqueKey owner;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"ReadOnly", 0, WRITE_DAC, owner.put()), 0);
    SECURITY_DESCRIPTOR open;
    ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    EXPECT_EQ(::RegSetKeySecurity(owner.get(), DACL_SECURITY_INFORMATION, &open), 0);
}

}  // namespace
namespace {

// A value that is there but cannot be read is never taken for a missing
// one: the readers above the registry say "unreadable", and nothing is put
// back over it.
TEST_F(RegistryTest, AnUnreadableValueIsNotAMissingOne) {
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    SetStringValue(HKEY_LOCAL_MACHINE, winlogon, L"Shell", L"explorer.exe");
    SetStringValue(HKEY_CURRENT_USER, kStartPageKey, L"Start Page", L"http://home.example/");
    const OpenedKey key = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, winlogon);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->TryQuery(L"Missing")) << "not found is none";
    const std::size_t shell = 0;
    ASSERT_EQ(std::wstring(LogonValues()[shell].name), L"Shell");
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryReadValue; });
    ScopeExit reset([] { SetFaultInjector({}); });
    EXPECT_THROW(key->TryQuery(L"Shell"), Error);
    EXPECT_EQ(ReadLogonValue(LogonValues()[shell]), std::nullopt) << "unreadable, not deleted";
    for (std::size_t page = 0; page < kStartPageValues.size(); ++page) {
        if (kStartPageValues[page].root != HKEY_CURRENT_USER ||
            std::wstring(kStartPageValues[page].name) != L"Start Page")
            continue;
        EXPECT_EQ(ReadStartPage(page), std::nullopt) << "unreadable, not empty";
    }
}

}  // namespace
}  // namespace kb::test
