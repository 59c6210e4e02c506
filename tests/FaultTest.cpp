// Every change the store makes is made to fail in turn, one step at a
// time; after each failure the entry must still exist, whole, either live
// or in the store.
#include <iostream>

#include "FormHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "shelllink/ShellLink.h"
#include "startup/StartupPlaces.h"

namespace kb::test {
namespace {

const std::wstring kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kCommand = L"%ProgramFiles%\\Tool\\tool.exe -min";

class Faults : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        if (HasFatalFailure()) return;
        Folder(L"Windows");
        Folder(L"Windows\\pss");
        target_ = Folder(L"Program Files") + L"\\tool.exe";
        WriteFileBytes(target_, "MZ");
        MakeForm();
        shortcut_ = form->StartupDir + L"\\Foo.lnk";
    }
    void TearDown() override {
        SetFaultInjector({});
        FormTest::TearDown();
    }

    void ResetPlaces() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools");
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey.c_str(), L"Tool");
        ::DeleteFileW(shortcut_.c_str());
        ::DeleteFileW((Windows() + L"\\pss\\Foo.lnkStartup").c_str());
    }
    void LiveValue() {
        SetStringValue(HKEY_CURRENT_USER, kRunKey, L"Tool", kCommand, REG_EXPAND_SZ);
    }
    void LiveShortcut() { CreateShellLink(shortcut_, target_, L""); }

    bool RegistryEntryWhole() {
        UniqueKey key;
        wchar_t data[512] = {};
        DWORD size = sizeof data - sizeof(wchar_t), type = REG_NONE;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey.c_str(), 0, KEY_READ, key.put()) == 0 &&
            ::RegQueryValueExW(key.get(), L"Tool", nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &size) == 0 &&
            type == REG_EXPAND_SZ && kCommand == data)
            return true;
        form->RefrushButtonClick();
        const TextTable& t = form->DisabledRunTable;
        for (std::size_t i = 0; i < t.RowCount(); ++i)
            if (t.Cell(i, DisabledRunCol::Item) == L"Tool" &&
                t.Cell(i, DisabledRunCol::Command) == kCommand &&
                t.Cell(i, DisabledRunCol::HKey) == L"HKCU" &&
                t.Cell(i, DisabledRunCol::Key) == kRunKey) {
                UniqueKey stored;
                return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                       (std::wstring(kStartupRegStore) + L"\\Tool").c_str(), 0,
                                       KEY_READ, stored.put()) == 0 &&
                       ::RegQueryValueExW(stored.get(), L"KeepbootValueType", nullptr, nullptr,
                                          nullptr, nullptr) == 0;
            }
        return false;
    }

    bool FolderEntryWhole() {
        if (kb::FileExists(shortcut_)) {
            TShellLink link;
            try {
                ReadShellLink(shortcut_, link);
            } catch (const Error&) {
                return false;
            }
            return link.Target == target_;
        }
        form->RefrushButtonClick();
        const TextTable& t = form->DisabledFolderTable;
        for (std::size_t i = 0; i < t.RowCount(); ++i)
            if (t.Cell(i, DisabledFolderCol::Item) == L"Foo" &&
                t.Cell(i, DisabledFolderCol::Command) == TDisableForm::QuoteCommandLine(target_) &&
                t.Cell(i, DisabledFolderCol::Location) == L"Startup")
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

    void DisableValue() { form->DisableRunEntry(L"Tool", kCommand, L"HKCU\\" + kRunKey); }
    void DisableShortcut() { form->DisableFolderEntry(L"Foo", target_, L"Startup"); }
    void EnableFirstStoredShortcut() {
        form->RefrushButtonClick();
        const TextTable& t = form->DisabledFolderTable;
        ASSERT_EQ(t.RowCount(), 1u);
        form->EnableFolderEntry(t.Cell(0, DisabledFolderCol::Item),
                                t.Cell(0, DisabledFolderCol::StoreKeyPath),
                                t.Cell(0, DisabledFolderCol::Command),
                                t.Cell(0, DisabledFolderCol::Location),
                                t.Cell(0, DisabledFolderCol::Backup),
                                t.Cell(0, DisabledFolderCol::Path));
    }

    std::wstring target_, shortcut_;
};

TEST_F(Faults, DisablingARegistryEntryNeverLosesIt) {
    Sweep("DisableRunEntry", [&] { LiveValue(); }, [&] { DisableValue(); },
          [&] { return RegistryEntryWhole(); });
    EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kRunKey + L"\\Tool"));
    EXPECT_TRUE(RegistryEntryWhole());
}

TEST_F(Faults, EnablingARegistryEntryNeverLosesIt) {
    Sweep("EnableRunEntry",
          [&] {
              LiveValue();
              DisableValue();
          },
          [&] { form->EnableRunEntry(L"Tool", kCommand, L"HKCU", kRunKey); },
          [&] { return RegistryEntryWhole(); });
}

TEST_F(Faults, DisablingAShortcutNeverLosesIt) {
    Sweep("DisableFolderEntry", [&] { LiveShortcut(); }, [&] { DisableShortcut(); },
          [&] { return FolderEntryWhole(); });
    EXPECT_FALSE(kb::FileExists(shortcut_));
}

TEST_F(Faults, EnablingAShortcutNeverLosesIt) {
    Sweep("EnableFolderEntry",
          [&] {
              LiveShortcut();
              DisableShortcut();
          },
          [&] { EnableFirstStoredShortcut(); }, [&] { return FolderEntryWhole(); });
    EXPECT_TRUE(kb::FileExists(shortcut_));
}

}  // namespace
}  // namespace kb::test
