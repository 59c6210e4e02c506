// The places whose entries are moved aside: each entry goes whole into its
// place's AutorunsDisabled subkey and comes back whole, and what the other
// lister moved aside is listed unchecked and enables.
#include <algorithm>

#include "CoreHarness.h"
#include "platform/Files.h"
#include "startup/Guard.h"
#include "startup/Items.h"

namespace kb::test {
namespace {

class ItemPlaces : public CoreTest {
protected:
    // The entry of that place and name, as the core reads it now.
    std::optional<AsideEntry> Find(const ItemPlace& place, const std::wstring& name) {
        const LiveEntries live = Live();
        const auto it = std::find_if(live.items.begin(), live.items.end(), [&](const AsideEntry& e) {
            return e.place.Location() == place.Location() && e.name == name;
        });
        if (it == live.items.end()) return std::nullopt;
        return *it;
    }
    // Plants an entry of the place's kind: a value, or a subkey with values
    // of several types and a subkey of its own.
    std::wstring Plant(const ItemPlace& place) {
        if (place.kind == ItemPlace::Kind::Values) {
            SetStringValue(place.root, place.keyPath, place.names.front(), L"C:\\planted.exe -x",
                           REG_EXPAND_SZ, place.view);
            return place.names.front();
        }
        const std::wstring sub = place.keyPath + L"\\{0001-planted}";
        SetStringValue(place.root, sub, place.kind == ItemPlace::Kind::Components ? L"StubPath" : L"1",
                       L"C:\\planted.exe /install", REG_EXPAND_SZ, place.view);
        const DWORD number = 7;
        SetRawValue(place.root, sub, L"Flags", REG_DWORD, &number, sizeof number, place.view);
        const BYTE bytes[] = {1, 0, 2, 0, 0};
        SetRawValue(place.root, sub + L"\\Depend", L"Blob", REG_BINARY, bytes, sizeof bytes, place.view);
        return L"{0001-planted}";
    }
};

TEST_F(ItemPlaces, EveryEntryGoesAsideWholeAndComesBackWhole) {
    for (const ItemPlace& place : kb::ItemPlaces()) {
        SCOPED_TRACE(Narrow(place.Location()));
        const std::wstring name = Plant(place);
        const bool isKey = place.kind != ItemPlace::Kind::Values;
        const std::wstring live = isKey ? place.keyPath + L"\\" + name : place.keyPath;
        const std::wstring aside = place.keyPath + L"\\AutorunsDisabled" + (isKey ? L"\\" + name : L"");
        const std::optional<RegTree> before = ReadTree(place.root, live, place.view);
        ASSERT_TRUE(before);

        const std::optional<AsideEntry> entry = Find(place, name);
        ASSERT_TRUE(entry);
        EXPECT_TRUE(entry->enabled);
        EXPECT_EQ(entry->command, L"C:\\planted.exe " + std::wstring(isKey ? L"/install" : L"-x"));
        ASSERT_EQ(MoveItem(*entry), MoveResult::Moved);
        if (isKey) {
            EXPECT_FALSE(RawKeyExists(place.root, live, place.view));
            EXPECT_EQ(ReadTree(place.root, aside, place.view), before) << "the whole tree, as it was";
        } else {
            EXPECT_FALSE(ReadRawValue(place.root, live, name, place.view).exists);
            EXPECT_EQ(ReadRawValue(place.root, aside, name, place.view),
                      (RawValue{true, REG_EXPAND_SZ, L"C:\\planted.exe -x"}));
        }

        const std::optional<AsideEntry> disabled = Find(place, name);
        ASSERT_TRUE(disabled);
        EXPECT_FALSE(disabled->enabled) << "listed unchecked";
        // Enabled by the user: known to the watch from then on.
        StartupGuard guard(Folders());
        guard.Reload();
        ASSERT_EQ(guard.Move(*disabled), MoveResult::Moved);
        guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                    [](const StartupEntry&) {});
        if (isKey)
            EXPECT_EQ(ReadTree(place.root, live, place.view), before);
        else
            EXPECT_EQ(ReadRawValue(place.root, live, name, place.view),
                      (RawValue{true, REG_EXPAND_SZ, L"C:\\planted.exe -x"}));
        EXPECT_FALSE(Find(place, name) && !Find(place, name)->enabled);
        RegKey::DeleteTree(place.root, place.keyPath, place.view);
    }
}

// What the other lister moved aside below a Run key comes back to the key
// with its type; a name taken meanwhile is never overwritten.
TEST_F(ItemPlaces, ValueMovedAsideBelowARunKeyIsListedUncheckedAndEnables) {
    SetStringValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Updater", L"%ProgramFiles%\\upd.exe",
                   REG_EXPAND_SZ);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Updater", L"other.exe");
    const auto userRun = std::find_if(RunKeyPlaces().begin(), RunKeyPlaces().end(), [](const RunKeyPlace& p) {
        return p.root == HKEY_CURRENT_USER && p.keyPath == kRun;
    });
    ASSERT_NE(userRun, RunKeyPlaces().end());
    const std::optional<AsideEntry> entry = Find(AsidePlaceOf(*userRun), L"Updater");
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->enabled);
    EXPECT_EQ(TextOf(*entry).location, L"HKCU\\" + kRun);
    EXPECT_EQ(MoveEntry(*entry, Folders()), MoveResult::CannotMove) << "the name is taken";
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"), (RawValue{true, REG_SZ, L"other.exe"}));

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Updater");
    StartupGuard guard(Folders());
    guard.Reload();
    ASSERT_EQ(guard.Move(*entry), MoveResult::Moved);
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"),
              (RawValue{true, REG_EXPAND_SZ, L"%ProgramFiles%\\upd.exe"}))
        << "enabled by the user, and known to the watch from then on";
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Updater").exists);
}

// The same in a Startup folder: a file moved aside into its subfolder is
// listed unchecked, starts nothing, and comes back byte for byte.
TEST_F(ItemPlaces, FileMovedAsideInAStartupFolderIsListedUncheckedAndComesBack) {
    const std::string bytes = "@echo off\r\nstart tool.exe\r\n";
    UserStartup();
    const std::wstring aside = Folder(L"Startup\\AutorunsDisabled");
    WriteFileBytes(aside + L"\\Tool.bat", bytes);
    const LiveEntries live = Live();
    ASSERT_EQ(live.shortcuts.size(), 1u);
    EXPECT_TRUE(live.shortcuts[0].aside);
    EXPECT_FALSE(TextOf(live.shortcuts[0]).enabled);
    EXPECT_EQ(TextOf(live.shortcuts[0]).location, L"Startup");

    StartupGuard guard(Folders());
    guard.Reload();
    ASSERT_EQ(guard.Move(live.shortcuts[0]), MoveResult::Moved);
    guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                [](const StartupEntry&) {});
    EXPECT_EQ(ReadFileBytes(UserStartup() + L"\\Tool.bat"), bytes);
    EXPECT_FALSE(FileExists(aside + L"\\Tool.bat"));
    ASSERT_EQ(Live().shortcuts.size(), 1u);
    EXPECT_TRUE(TextOf(Live().shortcuts[0]).enabled);
}

}  // namespace
}  // namespace kb::test
