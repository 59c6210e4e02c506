// The release's MSI under Wine: a silent install, the program started from
// where it was installed, an upgrade in place by a newer package, and an
// uninstall, with a disabled entry left in the store throughout. The test
// script builds both packages and names them in KEEPBOOT_MSI and
// KEEPBOOT_MSI_UPGRADE.
#include <windows.h>
#include <msi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "ProgramDriver.h"
#include "platform/CurrentUser.h"
#include "Sandbox.h"
#include "app/MainWindow.h"
#include "app/services/SelfStart.h"
#include "places/TaskManager.h"

namespace kb::test {
namespace {

constexpr wchar_t kUpgradeCode[] = L"{4B7E2C61-3F0A-4D8E-9C52-7A1D6E0B93F4}";
const std::wstring kProbe =
    L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Keepboot Package Probe";

// A path of the machine running Wine, as the Windows side sees it.
std::wstring FromHost(const char* path) {
    std::wstring windows = L"Z:";
    for (const char* c = path; *c; ++c) windows += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return windows;
}

std::wstring SpecialFolder(int id) {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, id, FALSE);
    return path;
}

// The installed Keepboot products' versions.
std::vector<std::wstring> InstalledVersions() {
    std::vector<std::wstring> versions;
    wchar_t product[39];
    for (DWORD i = 0; ::MsiEnumRelatedProductsW(kUpgradeCode, 0, i, product) == ERROR_SUCCESS; ++i) {
        wchar_t version[64] = {};
        DWORD size = 64;
        ::MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        versions.emplace_back(version);
    }
    return versions;
}

class Package : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("KEEPBOOT_THROWAWAY_PREFIX"))
            GTEST_SKIP() << "installs only into a throwaway Wine prefix";
        if (!std::getenv("KEEPBOOT_MSI") || !std::getenv("KEEPBOOT_MSI_UPGRADE"))
            GTEST_SKIP() << "no packages named (scripts/test builds them)";
        StoreProbe();
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProbe.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProbe.c_str());
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRun, kProbeItem);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserSwitches, kProbeItem);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kWineAppDefaults);
    }
    // An entry of the user's Run key, in the store as the System
    // Configuration utility lays it out.
    static void StoreProbe() {
        SetStringValue(HKEY_LOCAL_MACHINE, kProbe, L"item", kProbeItem);
        SetStringValue(HKEY_LOCAL_MACHINE, kProbe, L"command", L"C:\\probe.exe");
        SetStringValue(HKEY_LOCAL_MACHINE, kProbe, L"hkey", L"HKCU");
        SetStringValue(HKEY_LOCAL_MACHINE, kProbe, L"key", kUserRun);
    }
    static constexpr wchar_t kProbeItem[] = L"Keepboot Package Probe";
    static constexpr wchar_t kWineAppDefaults[] = L"Software\\Wine\\AppDefaults\\Keepboot.exe";
    static constexpr wchar_t kUserRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr wchar_t kUserSwitches[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    static bool StoreKept() {
        return ReadRawValue(HKEY_LOCAL_MACHINE, kProbe, L"command") == Text(L"C:\\probe.exe");
    }
};

TEST_F(Package, InstallsUpgradesInPlaceAndUninstallsHandingTheStoreBack) {
    const std::wstring folder = SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\Keepboot";
    const std::wstring installed = folder + L"\\Keepboot.exe";
    // Windows puts a per-machine package's shortcut in every user's Start
    // menu; Wine's installer in the installing user's.
    const std::wstring common = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Keepboot.lnk";
    const std::wstring own = SpecialFolder(CSIDL_PROGRAMS) + L"\\Keepboot.lnk";
    const auto shortcutThere = [&] { return FileExists(common) || FileExists(own); };
    const std::wstring msi = FromHost(std::getenv("KEEPBOOT_MSI"));
    const std::wstring upgrade = FromHost(std::getenv("KEEPBOOT_MSI_UPGRADE"));

    ASSERT_EQ(RunToEnd(L"msiexec /i \"" + msi + L"\" /qn"), 0);
    EXPECT_TRUE(FileExists(installed));
    EXPECT_TRUE(FileExists(folder + L"\\README.txt"));
    EXPECT_TRUE(FileExists(folder + L"\\USING.txt")) << "the guide the README points to";
    EXPECT_TRUE(FileExists(folder + L"\\LICENSE.txt"));
    EXPECT_TRUE(FileExists(folder + L"\\Keepboot.admx"));
    EXPECT_TRUE(FileExists(folder + L"\\en-US\\Keepboot.adml"));
    EXPECT_TRUE(shortcutThere()) << "in the Start menu";
    ASSERT_EQ(InstalledVersions().size(), 1u);
    EXPECT_TRUE(StoreKept());

    {
        KeepbootProcess program(installed, L"-start");
        const HWND window = program.WaitForMainWindow();
        ASSERT_NE(window, nullptr) << "the installed program starts";
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        DWORD code = 99;
        ASSERT_TRUE(program.WaitForExit(&code));
        EXPECT_EQ(code, 0u);
    }

    // The self-start as the box makes it: a logon task, this user's and
    // another user's.
    const std::wstring users[] = {CurrentUserSid(), L"S-1-5-21-1-2-3-1002"};
    for (const std::wstring& sid : users) {
        ASSERT_EQ(LogonTaskSelfStart(sid)->Set(true, installed), SelfStart::Result::Done);
        ASSERT_TRUE(LogonTaskSelfStart(sid)->Registered());
    }

    const std::vector<std::wstring> before = InstalledVersions();
    ASSERT_EQ(RunToEnd(L"msiexec /i \"" + upgrade + L"\" /qn"), 0);
    const std::vector<std::wstring> after = InstalledVersions();
    ASSERT_EQ(after.size(), 1u) << "the newer package replaced the older one";
    EXPECT_NE(after[0], before[0]);
    EXPECT_TRUE(FileExists(installed));
    EXPECT_TRUE(StoreKept());
    // Windows keeps the task and the store through an upgrade (the older version is
    // removed with UPGRADINGPRODUCTCODE set); Wine's installer removes it
    // like a plain uninstall, so the task is made again here.
    for (const std::wstring& sid : users)
        if (!LogonTaskSelfStart(sid)->Registered()) {
            ASSERT_EQ(LogonTaskSelfStart(sid)->Set(true, installed), SelfStart::Result::Done);
        }
    // So is the store's entry handed back to Windows by it: stored again.
    if (!StoreKept()) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserRun, kProbeItem);
        StoreProbe();
    }

    // The prefix is a Windows 7, whose Task Manager has no switches: the
    // installed program is shown a Windows 10 (Wine's setting for one
    // program), where they are handed back.
    SetStringValue(HKEY_CURRENT_USER, kWineAppDefaults, L"Version", L"win10");
    ASSERT_EQ(RunToEnd(L"msiexec /x \"" + upgrade + L"\" /qn"), 0);
    EXPECT_TRUE(InstalledVersions().empty());
    EXPECT_FALSE(FileExists(installed));
    EXPECT_FALSE(FileExists(folder + L"\\README.txt"));
    EXPECT_FALSE(FileExists(folder + L"\\USING.txt"));
    EXPECT_FALSE(FileExists(folder + L"\\en-US\\Keepboot.adml"));
    EXPECT_FALSE(shortcutThere());
    // What Keepboot disabled goes back to Windows' own switch, which Task
    // Manager lists and can enable; nothing of it is lost.
    EXPECT_FALSE(StoreKept()) << "handed back to Windows";
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kUserRun, kProbeItem), Text(L"C:\\probe.exe"));
    EXPECT_TRUE(TaskManagerSwitches(HKEY_CURRENT_USER, L"Run").Disabled(kProbeItem)) << "switched off";
    for (const std::wstring& sid : users)
        EXPECT_FALSE(LogonTaskSelfStart(sid)->Registered()) << "uninstalling removes every user's logon task";
}

}  // namespace
}  // namespace kb::test
