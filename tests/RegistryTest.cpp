
#include "Sandbox.h"

#include <sddl.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/Registry.h"

namespace kb::test {
namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryTest : public Sandbox {};

std::wstring ThrownMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.Message();
    }
    return L"(nothing raised)";
}

TEST_F(RegistryTest, WritesAndReadsTextAndListsNames) {
    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey(kRun, false)) << "a missing key is not created without create";
    ASSERT_TRUE(reg.OpenKey(L"\\" + kRun, true)) << "a leading backslash is dropped";
    reg.WriteString(L"Alpha", L"C:\\a.exe -min");
    reg.WriteString(L"beta", L"");
    reg.WriteString(L"", L"default value");
    reg.CloseKey();

    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRun));
    EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kRun)) << "the root decides where keys go";

    ASSERT_TRUE(reg.OpenKey(kRun, false));
    auto names = reg.GetValueNames();  // in the registry's own order
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"", L"Alpha", L"beta"}));
    EXPECT_EQ(reg.ReadString(L"Alpha"), L"C:\\a.exe -min");
    EXPECT_EQ(reg.ReadString(L"BETA"), L"") << "value names ignore letter case";
    EXPECT_EQ(reg.ReadString(L""), L"default value");
    EXPECT_EQ(reg.ReadString(L"missing"), L"");
    EXPECT_TRUE(reg.ValueExists(L"beta"));
    EXPECT_FALSE(reg.ValueExists(L"missing"));

    DWORD type = 0;
    UniqueKey raw;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun.c_str(), 0, KEY_READ, raw.put()), 0);
    DWORD size = 0;
    ::RegQueryValueExW(raw.get(), L"beta", nullptr, &type, nullptr, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof(wchar_t)) << "text is written with its terminating NUL";
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

    Registry reg;
    reg.SetRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kRun, false));
    EXPECT_EQ(reg.ReadString(L"long"), longText);
    EXPECT_EQ(reg.ReadString(L"noNul"), L"abc");
    EXPECT_EQ(reg.ReadString(L"embedded"), L"first");
    EXPECT_EQ(reg.ReadString(L"emptySz"), L"");
    EXPECT_EQ(reg.ReadString(L"expand"), L"%ProgramFiles%\\Tool\\tool.exe");
    EXPECT_EQ(reg.ReadString(L"emptyBinary"), L"") << "a value without data reads as empty";
    EXPECT_EQ(reg.ReadString(L"odd"), L"a");
}

TEST_F(RegistryTest, NonTextDataRaisesWithTheValueName) {
    const DWORD number = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Counter", REG_DWORD, &number, sizeof number);
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Blob", REG_BINARY, "xy", 2);
    const wchar_t multi[] = L"a\0b\0";
    SetRawValue(HKEY_LOCAL_MACHINE, kRun, L"Multi", REG_MULTI_SZ, multi, sizeof multi);

    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kRun, false));
    EXPECT_EQ(ThrownMessage([&] { reg.ReadString(L"Counter"); }),
              L"Invalid data type for 'Counter'");
    EXPECT_EQ(ThrownMessage([&] { reg.ReadString(L"Blob"); }), L"Invalid data type for 'Blob'");
    EXPECT_EQ(ThrownMessage([&] { reg.ReadString(L"Multi"); }), L"Invalid data type for 'Multi'");
}

TEST_F(RegistryTest, RefusedWriteRaisesWithTheValueName) {
    Registry reg;
    EXPECT_EQ(ThrownMessage([&] { reg.WriteString(L"Nowhere", L"x"); }),
              L"Failed to set data for 'Nowhere'")
        << "no key open";

    ASSERT_TRUE(reg.OpenKey(kRun, true));
    // A name longer than the registry allows is refused.
    EXPECT_EQ(ThrownMessage([&] { reg.WriteString(std::wstring(300000, L'n'), L"x"); })
                  .rfind(L"Failed to set data for '", 0),
              0u);
}

TEST_F(RegistryTest, SetRootClosesTheKeyAndKeyExistsLeavesItAlone) {
    Registry reg;
    reg.SetRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(L"Software\\A", true));
    ASSERT_TRUE(reg.OpenKey(L"Software\\B", true));
    reg.WriteString(L"v", L"in B");
    EXPECT_TRUE(reg.KeyExists(L"Software\\A"));
    EXPECT_TRUE(reg.KeyExists(L"\\Software\\A"));
    EXPECT_FALSE(reg.KeyExists(L"Software\\C"));
    EXPECT_EQ(reg.ReadString(L"v"), L"in B") << "KeyExists does not move the open key";

    EXPECT_FALSE(reg.OpenKey(L"Software\\Missing", false));
    EXPECT_EQ(reg.ReadString(L"v"), L"in B") << "a failed open keeps the key that was open";

    reg.SetRoot(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(reg.KeyExists(L"Software\\A"));
    EXPECT_EQ(reg.ReadString(L"v"), L"");
    EXPECT_TRUE(reg.GetValueNames().empty());
}

TEST_F(RegistryTest, DeletesValuesAndWholeTrees) {
    const std::wstring store = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One", L"item", L"One");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One\\Deeper\\Deepest", L"x", L"1");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\One\\Second", L"x", L"2");
    SetStringValue(HKEY_LOCAL_MACHINE, store + L"\\Two", L"item", L"Two");

    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(store, false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::wstring>{L"One", L"Two"}));
    EXPECT_TRUE(reg.DeleteKey(store + L"\\One"));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, store + L"\\One"));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, store + L"\\Two"));
    EXPECT_FALSE(reg.DeleteKey(store + L"\\One")) << "already gone";
    EXPECT_FALSE(reg.DeleteKey(L"")) << "never the root";

    ASSERT_TRUE(reg.OpenKey(store + L"\\Two", false));
    EXPECT_TRUE(reg.DeleteValue(L"item"));
    EXPECT_FALSE(reg.ValueExists(L"item"));
    EXPECT_FALSE(reg.DeleteValue(L"item"));
}

// A key the user may read but not write counts as absent, as keys under
// HKEY_LOCAL_MACHINE do for a user without rights there.
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

    Registry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey(L"ReadOnly", false));
    EXPECT_FALSE(reg.OpenKey(L"ReadOnly", true));
    EXPECT_TRUE(reg.KeyExists(L"ReadOnly")) << "reading is still allowed";

    // The owner may always rewrite the access rights, so the sandbox can go.
    UniqueKey owner;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"ReadOnly", 0, WRITE_DAC, owner.put()), 0);
    SECURITY_DESCRIPTOR open;
    ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    EXPECT_EQ(::RegSetKeySecurity(owner.get(), DACL_SECURITY_INFORMATION, &open), 0);
}

}  // namespace
}  // namespace kb::test
