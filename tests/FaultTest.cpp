// Every change the store makes is made to fail in turn, one step at a
// time; after each failure the entry must still exist, whole, either live
// or in the store.
#include <iostream>

#include "CoreHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "shelllink/ShellLink.h"
#include "startup/Store.h"

namespace kb::test {
namespace {

const std::wstring kCommand = L"%ProgramFiles%\\Tool\\tool.exe -min";

class Faults : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (HasFatalFailure()) return;
        Pss();
        link_ = AsRead(RichLink(L"tool"));
        shortcut_ = UserStartup() + L"\\Foo.lnk";
    }
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }

    void ResetPlaces() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Tool");
        ::DeleteFileW(shortcut_.c_str());
        for (const std::wstring& folder : {Windows() + L"\\pss", Folders().machineBackup}) {
            ::DeleteFileW((folder + L"\\Foo.lnkStartup").c_str());
            ::DeleteFileW((folder + L"\\Foo (2).lnkStartup").c_str());
        }
    }
    // The value as read before the faults begin: a key that fails to list
    // is no longer one that reads empty.
    void LiveValue() {
        SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", kCommand, REG_EXPAND_SZ);
        tool_ = Value(L"Tool");
    }
    void LiveShortcut() {
        WriteShellLink(shortcut_, link_);
        bytes_ = ReadFileBytes(shortcut_);
    }

    bool RegistryEntryWhole() {
        if (ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool") == Text(kCommand, REG_EXPAND_SZ))
            return true;
        for (const StoredRunEntry& e : Stored().values)
            if (e.item == L"Tool" && e.command == kCommand && e.hkey == L"HKCU" && e.key == kRun)
                return ReadRawValue(HKEY_LOCAL_MACHINE,
                                    std::wstring(kStartupRegStore) + L"\\" + e.subkey,
                                    L"KeepbootValueType")
                    .exists;
        return false;
    }

    // Live as the very bytes it was, or stored with a copy of them.
    bool FolderEntryWhole() {
        if (FileExists(shortcut_)) return ReadFileBytes(shortcut_) == bytes_;
        for (const StoredShortcutEntry& e : Stored().shortcuts)
            if (e.item == L"Foo" && e.command == QuoteCommandLine(link_.Target) &&
                e.location == L"Startup" && FileExists(e.backup) && ReadFileBytes(e.backup) == bytes_)
                return true;
        return false;
    }

    // Fails the k-th change for k = 1, 2, ... until the operation makes
    // fewer changes than k; checks the entry after each failure.
    void Sweep(const char* operation, const std::function<void()>& setup,
               const std::function<void()>& act, const std::function<bool()>& whole) {
        int points = 0, lost = 0;
        for (int k = 1; k < 100; ++k) {
            ResetPlaces();
            setup();
            int calls = 0;
            bool fired = false;
            SetFaultInjector([&](FaultPoint) { return !fired && ++calls == k && (fired = true); });
            try {
                act();
            } catch (const Error&) {
                // A refused write ends the operation; the entry must survive it.
            }
            SetFaultInjector({});
            if (!fired) break;
            ++points;
            if (!whole()) {
                ++lost;
                ADD_FAILURE() << operation << ": entry lost when change " << k << " failed";
            }
        }
        std::cout << "[ fault sweep ] " << operation << ": " << points << " fault points tried, "
                  << lost << " entries lost\n";
        EXPECT_GT(points, 0);
        EXPECT_EQ(lost, 0);
        // And without faults the operation does its work.
        ResetPlaces();
        setup();
        act();
    }

    void DisableValue() { DisableRunValue(tool_); }
    void DisableFoo() { DisableShortcut(Shortcut(L"Foo"), Folders()); }

    ShellLinkData link_;
    std::string bytes_;  // the shortcut file as written
    std::wstring shortcut_;
    RunValueEntry tool_;
};

TEST_F(Faults, DisablingARegistryEntryNeverLosesIt) {
    Sweep("DisableRunValue", [&] { LiveValue(); }, [&] { DisableValue(); },
          [&] { return RegistryEntryWhole(); });
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool").exists) << "it left the Run key";
    EXPECT_TRUE(RegistryEntryWhole());
}

TEST_F(Faults, EnablingARegistryEntryNeverLosesIt) {
    Sweep("EnableRunValue",
          [&] {
              LiveValue();
              DisableValue();
          },
          [&] { EnableRunValue(StoredValue(L"Tool")); }, [&] { return RegistryEntryWhole(); });
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool"), Text(kCommand, REG_EXPAND_SZ));
}

TEST_F(Faults, DisablingAShortcutNeverLosesIt) {
    Sweep("DisableShortcut", [&] { LiveShortcut(); }, [&] { DisableFoo(); },
          [&] { return FolderEntryWhole(); });
    EXPECT_FALSE(FileExists(shortcut_));
}

TEST_F(Faults, EnablingAShortcutNeverLosesIt) {
    for (const bool backupFolder : {true, false}) {
        if (!backupFolder) RemoveTree(Windows() + L"\\pss");
        Sweep(backupFolder ? "EnableShortcut, from the copy in pss"
                           : "EnableShortcut, from the copy in Keepboot's own folder",
              [&] {
                  LiveShortcut();
                  DisableFoo();
              },
              [&] { EnableShortcut(StoredShortcut(L"Foo"), Folders()); },
              [&] { return FolderEntryWhole(); });
        EXPECT_TRUE(FolderEntryWhole());
        EXPECT_TRUE(FileExists(shortcut_));
    }
}

// A twin: another entry of the same name is stored already, so the store
// chooses a free subkey and a free backup name; every step of that fails
// in turn too.
TEST_F(Faults, DisablingATwinNeverLosesIt) {
    Sweep("DisableRunValue, name taken",
          [&] {
              StoreValueEntry(L"Tool", L"Tool", L"C:\\older.exe");
              LiveValue();
          },
          [&] { DisableValue(); }, [&] { return RegistryEntryWhole(); });
    EXPECT_EQ(StoredValue(L"Tool").command, L"C:\\older.exe");
    Sweep("DisableShortcut, name taken",
          [&] {
              WriteShellLink(shortcut_, RichLink(L"older"));
              DisableFoo();
              LiveShortcut();
          },
          [&] { DisableFoo(); }, [&] { return FolderEntryWhole(); });
    EXPECT_EQ(Stored().shortcuts.size(), 2u);
}

}  // namespace
}  // namespace kb::test
