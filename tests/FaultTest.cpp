// Every change the store makes is made to fail in turn, one step at a
// time; after each failure the entry must still exist, whole, either live
// or in the store. A move of an item place is also cut short for good at
// each step, as by the end of the process, and made whole at the next start.
#include <algorithm>
#include <iostream>

#include "CoreHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "shelllink/ShellLink.h"
#include "store/Items.h"
#include "store/KeptItems.h"
#include "store/MoveJournal.h"
#include "store/Store.h"

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
            for (const wchar_t* name : {L"\\Foo.lnk", L"\\Foo (2).lnk"})
                for (const wchar_t* ending : {L"Startup", L".Startup"})
                    ::DeleteFileW((folder + name + ending).c_str());
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
                Folders().FolderOf(e.location) == Folders().userStartup && FileExists(e.backup) &&
                ReadFileBytes(e.backup) == bytes_)
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

    // The user's Startup folder holds no file but the entry's own: nothing
    // half made is left where Windows starts everything at logon.
    bool NothingElseInTheFolder() {
        WIN32_FIND_DATAW found{};
        const HANDLE listing = ::FindFirstFileW((UserStartup() + L"\\*").c_str(), &found);
        if (listing == INVALID_HANDLE_VALUE) return true;
        bool nothingElse = true;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L".." && name != L"Foo.lnk") {
                ADD_FAILURE() << "left in the Startup folder: " << Narrow(name);
                nothingElse = false;
            }
        } while (::FindNextFileW(listing, &found));
        ::FindClose(listing);
        return nothingElse;
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

// The stored entry is read before the faults: a store that cannot be
// listed is said and read as far as it can be, not raised.
TEST_F(Faults, EnablingARegistryEntryNeverLosesIt) {
    StoredRunEntry stored;
    Sweep("EnableRunValue",
          [&] {
              LiveValue();
              DisableValue();
              stored = StoredValue(L"Tool");
          },
          [&] { EnableRunValue(stored); }, [&] { return RegistryEntryWhole(); });
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
        StoredShortcutEntry stored;
        Sweep(backupFolder ? "EnableShortcut, from the copy in pss"
                           : "EnableShortcut, from the copy in Keepboot's own folder",
              [&] {
                  LiveShortcut();
                  DisableFoo();
                  stored = StoredShortcut(L"Foo");
              },
              [&] { EnableShortcut(stored, Folders()); },
              [&] { return FolderEntryWhole() && NothingElseInTheFolder(); });
        EXPECT_TRUE(FolderEntryWhole());
        EXPECT_TRUE(FileExists(shortcut_));
    }
}

// A file that takes the name while one comes back is another program's:
// never written over, and the entry stays stored.
TEST_F(Faults, AFileComingBackNeverOverwritesOneThatTookItsName) {
    LiveShortcut();
    DisableFoo();
    const StoredShortcutEntry stored = StoredShortcut(L"Foo");
    SetFaultInjector([&](FaultPoint point) {
        if (point == FaultPoint::FileRename) WriteFileBytes(shortcut_, "another program's");
        return false;
    });
    EXPECT_EQ(EnableShortcut(stored, Folders()), MoveResult::CannotMove);
    SetFaultInjector({});
    EXPECT_EQ(ReadFileBytes(shortcut_), "another program's");
    EXPECT_FALSE(Stored().shortcuts.empty()) << "still stored";
    EXPECT_TRUE(NothingElseInTheFolder());
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

namespace kb::test {
namespace {

// Every copy of an item-place entry of that name, wherever it is: live,
// aside, and each kept one.
std::vector<RegTree> CopiesOf(const ItemPlace& place, const std::wstring& name) {
    std::vector<RegTree> copies;
    for (const ItemSpot spot : {ItemSpot::Live, ItemSpot::Aside})
        if (auto tree = ReadTree(place.root, SpotKeyPath(place, name, true, spot), place.view))
            copies.push_back(std::move(*tree));
    for (const KeptRecord& record : ReadKeptRecords(place.root, place.view))
        if (record.name == name)
            if (auto tree = ReadTree(place.root, KeptEntryPath(record.number), place.view))
                copies.push_back(std::move(*tree));
    return copies;
}

class KilledMoves : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
    static const ItemPlace& PlaceOf(ItemPlace::Kind kind) {
        return *std::find_if(kb::ItemPlaces().begin(), kb::ItemPlaces().end(),
                             [&](const ItemPlace& p) { return p.kind == kind; });
    }
    // An entry of many values and a subkey, starting the program.
    static void Plant(const ItemPlace& place, const std::wstring& path, const std::wstring& program) {
        SetStringValue(place.root, path, place.kind == ItemPlace::Kind::Components ? L"StubPath" : L"1",
                       program, REG_EXPAND_SZ, place.view);
        for (int i = 0; i < 12; ++i)
            SetStringValue(place.root, path, L"Part" + std::to_wstring(i), program + L" part",
                           REG_SZ, place.view);
        const DWORD one = 1;
        SetRawValue(place.root, path + L"\\Depend", L"1", REG_DWORD, &one, sizeof one, place.view);
    }
    static AsideEntry At(const ItemPlace& place, ItemSpot spot) {
        std::vector<AsideEntry> items;
        std::vector<SkippedValue> skipped;
        ReadItems(place, spot, items, skipped);
        for (const AsideEntry& e : items)
            if (e.name == L"{X}") return e;
        ADD_FAILURE() << "no entry";
        return {};
    }
};

// A move killed at any of its steps (every change from then on fails, as
// when the process ends there), then a start: each entry whole exactly
// once, live or disabled; never two copies, never part of one live; the
// journal empty.
TEST_F(KilledMoves, AreMadeWholeAtTheNextStart) {
    struct Case {
        const char* what;
        ItemPlace::Kind kind;
        bool olderAside;   // another entry of the name is aside already
        bool enable;       // the entry is aside and is enabled
    };
    const Case cases[] = {
        {"a component disabled", ItemPlace::Kind::Components, false, false},
        {"a component disabled over an older one aside", ItemPlace::Kind::Components, true, false},
        {"a component enabled", ItemPlace::Kind::Components, false, true},
        {"a step kept", ItemPlace::Kind::Subkeys, false, false},
    };
    for (const Case& c : cases) {
        const ItemPlace& place = PlaceOf(c.kind);
        const std::wstring live = place.keyPath + L"\\{X}", aside = place.keyPath + L"\\AutorunsDisabled\\{X}";
        const auto setup = [&] {
            RegKey::DeleteTree(place.root, place.keyPath, place.view);
            RegKey::DeleteTree(place.root, kKeepbootKey, place.view);
            if (c.olderAside) Plant(place, aside, L"C:\\older.exe");
            Plant(place, c.enable ? aside : live, L"C:\\newer.exe");
        };
        setup();
        std::vector<RegTree> expected = CopiesOf(place, L"{X}");
        int points = 0, broken = 0;
        for (int k = 1; k < 400; ++k) {
            setup();
            const AsideEntry entry = At(place, c.enable ? ItemSpot::Aside : ItemSpot::Live);
            int calls = 0;
            // A process that ends stops changing things; what it had read
            // was read.
            SetFaultInjector([&](FaultPoint point) {
                return point != FaultPoint::RegistryReadValue && ++calls >= k;
            });
            MoveItem(entry);
            SetFaultInjector({});
            if (calls < k) break;
            ++points;
            FinishInterruptedMoves(place.root, place.view);
            std::vector<RegTree> copies = CopiesOf(place, L"{X}");
            const auto byCommand = [&](const RegTree& a, const RegTree& b) {
                return CommandOf(a, place.kind) < CommandOf(b, place.kind);
            };
            std::sort(copies.begin(), copies.end(), byCommand);
            std::sort(expected.begin(), expected.end(), byCommand);
            const bool journalEmpty = !RawKeyExists(place.root, kMovesKey + std::wstring(L"\\1"), place.view) &&
                                      !RawKeyExists(place.root, kMovesKey + std::wstring(L"\\2"), place.view);
            if (copies != expected || !journalEmpty) {
                ++broken;
                ADD_FAILURE() << c.what << ": killed at change " << k << ", " << copies.size()
                              << " copies after the start" << (journalEmpty ? "" : ", journal left");
            }
        }
        std::cout << "[ kill sweep ] " << c.what << ": " << points << " points, " << broken << " broken\n";
        EXPECT_GT(points, 5);
    }
}

}  // namespace
}  // namespace kb::test
