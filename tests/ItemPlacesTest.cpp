// The places whose entries are moved aside: each entry goes whole into its
// place's AutorunsDisabled subkey (a RunOnceEx step into Keepboot's own
// key, where RunOnceEx never looks) and comes back whole; a second entry of
// a taken name is disabled all the same; nothing foreign is listed, and no
// link is followed.
#include <algorithm>

#include "CoreHarness.h"
#include "platform/Files.h"
#include "guard/Guard.h"
#include "kinds/EntryMoves.h"
#include "places/ShortcutFiles.h"
#include "store/Items.h"
#include "store/KeptItems.h"
#include "store/MoveJournal.h"

namespace kb::test {
namespace {

const std::wstring kEnvironment = L"Environment";

class ItemPlaces : public CoreTest {
protected:
    // The entries of that place and name, as the core reads them now.
    std::vector<AsideEntry> FindAll(const ItemPlace& place, const std::wstring& name) {
        const LiveEntries live = Live();
        std::vector<AsideEntry> found;
        std::copy_if(live.Of<AsideEntry>().begin(), live.Of<AsideEntry>().end(), std::back_inserter(found),
                     [&](const AsideEntry& e) {
                         return e.place.Location() == place.Location() && e.name == name;
                     });
        return found;
    }
    std::optional<AsideEntry> Find(const ItemPlace& place, const std::wstring& name) {
        const std::vector<AsideEntry> found = FindAll(place, name);
        if (found.empty()) return std::nullopt;
        return found.front();
    }
    std::optional<AsideEntry> Find(const ItemPlace& place, const std::wstring& name, ItemSpot spot,
                                   const std::wstring& command = {}) {
        for (const AsideEntry& e : FindAll(place, name))
            if (e.spot == spot && (command.empty() || e.command == command)) return e;
        return std::nullopt;
    }
    // Plants an entry of the place's kind starting the program: a value, or
    // a subkey with values of several types and a subkey of its own.
    std::wstring Plant(const ItemPlace& place, const std::wstring& program = L"C:\\planted.exe") {
        if (place.kind == ItemPlace::Kind::Values) {
            SetStringValue(place.root, place.keyPath, place.names.front(), program + L" -x",
                           REG_EXPAND_SZ, place.view);
            return place.names.front();
        }
        const std::wstring sub = place.keyPath + L"\\{0001-planted}";
        SetStringValue(place.root, sub, place.kind == ItemPlace::Kind::Components ? L"StubPath" : L"1",
                       program + L" /install", REG_EXPAND_SZ, place.view);
        const DWORD number = 7;
        SetRawValue(place.root, sub, L"Flags", REG_DWORD, &number, sizeof number, place.view);
        const BYTE bytes[] = {1, 0, 2, 0, 0};
        SetRawValue(place.root, sub + L"\\Sub", L"Blob", REG_BINARY, bytes, sizeof bytes, place.view);
        return L"{0001-planted}";
    }
    // The entry as it stands at its live spot.
    std::optional<RegTree> LiveTree(const ItemPlace& place, const std::wstring& name) {
        if (place.kind != ItemPlace::Kind::Values) return ReadTree(place.root, place.keyPath + L"\\" + name, place.view);
        const RawValue value = ReadRawValue(place.root, place.keyPath, name, place.view);
        if (!value.exists) return std::nullopt;
        RegTree tree;
        tree.values.push_back({name, RegValue{value.type, {}}});
        tree.values.back().second.data.assign(reinterpret_cast<const BYTE*>(value.text.c_str()),
                                              reinterpret_cast<const BYTE*>(value.text.c_str() + value.text.size() + 1));
        return tree;
    }
    std::optional<RegTree> TreeAt(const AsideEntry& entry) {
        if (entry.isKey) return ReadTree(entry.place.root, SpotKeyPath(entry), entry.place.view);
        const OpenedKey key = RegKey::OpenForReading(entry.place.root, SpotKeyPath(entry), entry.place.view);
        if (!key || !key->TryQuery(entry.name)) return std::nullopt;
        RegTree tree;
        tree.values.push_back({entry.name, *key->TryQuery(entry.name)});
        return tree;
    }
    MoveResult EnableAndCheck(const StartupEntry& entry) {
        StartupGuard guard(Folders());
        guard.Reload();
        const MoveResult result = guard.Move(entry);
        guard.Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                    [](const StartupEntry&) {});
        return result;
    }
};

TEST_F(ItemPlaces, EveryEntryGoesAsideWholeAndComesBackWhole) {
    for (const ItemPlace& place : kb::ItemPlaces()) {
        SCOPED_TRACE(Narrow(place.Location()));
        const std::wstring name = Plant(place);
        const std::optional<RegTree> before = LiveTree(place, name);
        ASSERT_TRUE(before);

        const std::optional<AsideEntry> entry = Find(place, name);
        ASSERT_TRUE(entry);
        EXPECT_TRUE(entry->Enabled());
        const bool isKey = place.kind != ItemPlace::Kind::Values;
        EXPECT_EQ(entry->command, L"C:\\planted.exe " + std::wstring(isKey ? L"/install" : L"-x"));
        ASSERT_EQ(MoveItem(*entry), MoveResult::Moved);
        EXPECT_FALSE(LiveTree(place, name));

        // Where the other lister enables it from; a step where RunOnceEx,
        // which deletes every subkey it finds, never looks.
        const ItemSpot expected = place.KeepsAsideInPlace() ? ItemSpot::Aside : ItemSpot::Kept;
        const std::optional<AsideEntry> disabled = Find(place, name, expected);
        ASSERT_TRUE(disabled);
        EXPECT_FALSE(TextOf(*disabled).enabled) << "listed unchecked";
        EXPECT_EQ(TextOf(*disabled).location, place.Location()) << "under its own place";
        EXPECT_EQ(TreeAt(*disabled), before) << "the whole tree, as it was";
        if (!place.KeepsAsideInPlace()) {
            EXPECT_FALSE(RawKeyExists(place.root, place.keyPath + L"\\AutorunsDisabled", place.view));
        }

        ASSERT_EQ(EnableAndCheck(*disabled), MoveResult::Moved);
        EXPECT_EQ(LiveTree(place, name), before) << "back whole, and known to the watch from then on";
        EXPECT_EQ(FindAll(place, name).size(), 1u);
        EXPECT_FALSE(RawKeyExists(place.root, KeptRecordPath(1), place.view)) << "no kept record left";
        RegKey::DeleteTree(place.root, place.keyPath, place.view);
    }
}

// A name taken aside never keeps an entry live: the newest goes aside, the
// older is kept whole in Keepboot's own key, both are listed under their
// real name and place, and each comes back, never over the other.
TEST_F(ItemPlaces, ASecondEntryOfATakenNameIsDisabledAndBothComeBack) {
    for (const ItemPlace& place : kb::ItemPlaces()) {
        SCOPED_TRACE(Narrow(place.Location()));
        const std::wstring name = Plant(place, L"C:\\first.exe");
        const std::optional<RegTree> first = LiveTree(place, name);
        ASSERT_EQ(MoveItem(*Find(place, name, ItemSpot::Live)), MoveResult::Moved);
        Plant(place, L"C:\\second.exe");
        const std::optional<RegTree> second = LiveTree(place, name);
        const std::optional<AsideEntry> live = Find(place, name, ItemSpot::Live);
        ASSERT_TRUE(live);
        ASSERT_EQ(MoveItem(*live), MoveResult::Moved) << "the taken name keeps nothing live";
        EXPECT_FALSE(LiveTree(place, name));

        const std::vector<AsideEntry> disabled = FindAll(place, name);
        ASSERT_EQ(disabled.size(), 2u);
        const auto older = std::find_if(disabled.begin(), disabled.end(), [&](const AsideEntry& e) {
            return e.command.starts_with(L"C:\\first.exe");
        });
        const auto newer = std::find_if(disabled.begin(), disabled.end(), [&](const AsideEntry& e) {
            return e.command.starts_with(L"C:\\second.exe");
        });
        ASSERT_TRUE(older != disabled.end() && newer != disabled.end());
        EXPECT_EQ(newer->spot, place.KeepsAsideInPlace() ? ItemSpot::Aside : ItemSpot::Kept)
            << "the newest where the other lister enables it from";
        EXPECT_EQ(older->spot, ItemSpot::Kept);
        EXPECT_EQ(TreeAt(*older), first);
        EXPECT_EQ(TreeAt(*newer), second);

        ASSERT_EQ(EnableAndCheck(*older), MoveResult::Moved);
        EXPECT_EQ(LiveTree(place, name), first);
        EXPECT_EQ(MoveItem(*newer), MoveResult::NameTaken) << "never over the live one";
        EXPECT_EQ(LiveTree(place, name), first);
        // Disabled again, the first takes the aside name and the second is
        // kept: still both whole, and the second comes back.
        ASSERT_EQ(MoveItem(*Find(place, name, ItemSpot::Live)), MoveResult::Moved);
        const std::optional<AsideEntry> kept = Find(place, name, ItemSpot::Kept, newer->command);
        ASSERT_TRUE(kept);
        ASSERT_EQ(MoveItem(*kept), MoveResult::Moved);
        EXPECT_EQ(LiveTree(place, name), second);
        EXPECT_EQ(FindAll(place, name).size(), 2u);
        RegKey::DeleteTree(place.root, place.keyPath, place.view);
        RegKey::DeleteTree(place.root, kKeepbootKey, place.view);
    }
}

// Only what Windows would run from the place is an entry: a name below an
// aside or kept key that the place does not have (a variable of the user's
// environment), a component marked not installed, a step's title. A step's
// Depend subkey is part of what it starts.
TEST_F(ItemPlaces, OnlyWhatThePlaceRunsIsAnEntry) {
    SetStringValue(HKEY_CURRENT_USER, kEnvironment + L"\\AutorunsDisabled", L"windir",
                   L"C:\\evil.exe & ");
    SetStringValue(HKEY_CURRENT_USER, KeptRecordPath(5), L"Place", kEnvironment);
    SetStringValue(HKEY_CURRENT_USER, KeptRecordPath(5), L"Name", L"windir");
    SetStringValue(HKEY_CURRENT_USER, KeptRecordPath(5), L"Kind", L"value");
    SetStringValue(HKEY_CURRENT_USER, KeptEntryPath(5), L"windir", L"C:\\evil.exe & ");
    const std::wstring components = L"Software\\Microsoft\\Active Setup\\Installed Components";
    SetStringValue(HKEY_LOCAL_MACHINE, components + L"\\{Off}", L"StubPath", L"off.exe");
    const DWORD zero = 0;
    SetRawValue(HKEY_LOCAL_MACHINE, components + L"\\{Off}", L"IsInstalled", REG_DWORD, &zero, sizeof zero);
    const std::wstring steps = kCv + L"RunOnceEx";
    SetStringValue(HKEY_CURRENT_USER, steps + L"\\0001", L"", L"Installing the title");
    SetStringValue(HKEY_CURRENT_USER, steps + L"\\0002\\Depend", L"1", L"C:\\loaded.dll");
    SetStringValue(HKEY_CURRENT_USER, steps + L"\\0003", L"", L"Title");
    SetStringValue(HKEY_CURRENT_USER, steps + L"\\0003", L"1", L"run.exe");

    std::vector<std::wstring> found;
    for (const AsideEntry& e : Live().Of<AsideEntry>()) found.push_back(e.name + L"=" + e.command);
    EXPECT_EQ(found, (std::vector<std::wstring>{L"0002=C:\\loaded.dll", L"0003=run.exe"}));
}

// A link is never followed: an aside key that leads elsewhere is no place
// of entries, and no move goes through it.
TEST_F(ItemPlaces, AsideKeyThatIsALinkIsNeitherListedNorMovedInto) {
    const ItemPlace load = *std::find_if(kb::ItemPlaces().begin(), kb::ItemPlaces().end(),
                                         [](const ItemPlace& p) {
                                             return !p.names.empty() && p.Admits(L"Load");
                                         });
    SetStringValue(HKEY_CURRENT_USER, L"Software\\Elsewhere", L"Load", L"C:\\other.exe");
    MakeRegistryLink(HKEY_CURRENT_USER, load.keyPath + L"\\AutorunsDisabled", L"Software\\Elsewhere");
    SetStringValue(HKEY_CURRENT_USER, load.keyPath, L"Load", L"C:\\load.exe");
    const std::optional<AsideEntry> live = Find(load, L"Load", ItemSpot::Live);
    ASSERT_TRUE(live);
    EXPECT_FALSE(Find(load, L"Load", ItemSpot::Aside)) << "what the link leads to is no entry";
    EXPECT_TRUE(std::any_of(skipped.begin(), skipped.end(), [](const SkippedValue& v) {
        return v.unreadable && v.why == WhyUnreadable::KeyLink;
    })) << "and it is said";
    EXPECT_EQ(MoveItem(*live), MoveResult::Link);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, L"Software\\Elsewhere", L"Load").text, L"C:\\other.exe");
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, load.keyPath, L"Load").text, L"C:\\load.exe");
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
    EXPECT_FALSE(entry->Enabled());
    EXPECT_EQ(TextOf(*entry).location, L"HKCU\\" + kRun);
    EXPECT_EQ(MoveEntry(*entry, Folders()), MoveResult::NameTaken);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"), (RawValue{true, REG_SZ, L"other.exe"}));

    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Updater");
    ASSERT_EQ(EnableAndCheck(*entry), MoveResult::Moved);
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"),
              (RawValue{true, REG_EXPAND_SZ, L"%ProgramFiles%\\upd.exe"}))
        << "enabled by the user, and known to the watch from then on";
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Updater").exists);
}

// The same in a Startup folder: a file moved aside into its subfolder is
// listed unchecked, starts nothing, and comes back byte for byte; a
// subfolder that is a link to another folder is never taken from.
TEST_F(ItemPlaces, FileMovedAsideInAStartupFolderIsListedUncheckedAndComesBack) {
    const std::string bytes = "@echo off\r\nstart tool.exe\r\n";
    UserStartup();
    const std::wstring aside = Folder(L"Startup\\AutorunsDisabled");
    WriteFileBytes(aside + L"\\Tool.bat", bytes);
    const LiveEntries live = Live();
    ASSERT_EQ(live.Of<ShortcutEntry>().size(), 1u);
    EXPECT_TRUE(live.Of<ShortcutEntry>()[0].aside);
    EXPECT_FALSE(TextOf(live.Of<ShortcutEntry>()[0]).enabled);
    EXPECT_EQ(TextOf(live.Of<ShortcutEntry>()[0]).location, L"Startup");

    ASSERT_EQ(EnableAndCheck(live.Of<ShortcutEntry>()[0]), MoveResult::Moved);
    EXPECT_EQ(ReadFileBytes(UserStartup() + L"\\Tool.bat"), bytes);
    EXPECT_FALSE(FileExists(aside + L"\\Tool.bat"));
    ASSERT_EQ(Live().Of<ShortcutEntry>().size(), 1u);
    EXPECT_TRUE(TextOf(Live().Of<ShortcutEntry>()[0]).enabled);

    // The subfolder made a link to a folder of the user's.
    const std::wstring documents = Folder(L"Documents");
    WriteFileBytes(documents + L"\\notes.txt", "mine");
    RemoveTree(aside);
    ASSERT_TRUE(MakeFolderLink(aside, documents));
    for (const ShortcutEntry& entry : Live().Of<ShortcutEntry>()) EXPECT_FALSE(entry.aside) << Narrow(entry.path);
    ShortcutEntry planted = StartupFileEntry(L"Startup", aside + L"\\notes.txt", std::nullopt);
    planted.aside = true;
    EXPECT_EQ(MoveEntry(planted, Folders()), MoveResult::Link);
    EXPECT_TRUE(FileExists(documents + L"\\notes.txt"));
    EXPECT_FALSE(FileExists(UserStartup() + L"\\notes.txt"));
}

// Keys another program plants in Keepboot's own key hide no entry and block
// no move: a name is read at any length, a number a key has is never
// written into, and a key that is no record of Keepboot's is said.
TEST_F(ItemPlaces, NothingPlantedInKeepbootsOwnKeyHidesAnEntryOrBlocksAMove) {
    const struct {
        const char* what;
        std::wstring name;
        bool record;  // a whole record of a step, as Keepboot writes one
    } planted[] = {
        {"the highest nine-digit number, empty", L"999999999", false},
        {"the highest number there is, empty", L"4294967295", false},
        {"the highest number there is, a whole record", L"4294967295", true},
        {"more digits than any number", L"99999999999999999999", false},
        {"leading zeros", L"0001", false},
    };
    for (const ItemPlace& place : kb::ItemPlaces()) {
        if (place.KeepsAsideInPlace()) continue;
        for (const auto& plant : planted) {
            SCOPED_TRACE(Narrow(place.Location()) + ": " + plant.what);
            for (const wchar_t* own : {kKeptKey, kMovesKey}) {
                const std::wstring key = std::wstring(own) + L"\\" + plant.name;
                ASSERT_TRUE(RegKey::Create(place.root, key, place.view));
                if (!plant.record) continue;
                SetStringValue(place.root, key, L"Place", place.keyPath, REG_SZ, place.view);
                SetStringValue(place.root, key, L"Name", L"Planted", REG_SZ, place.view);
                SetStringValue(place.root, key, L"Kind", L"key", REG_SZ, place.view);
                SetStringValue(place.root, key + L"\\Entry", L"1", L"C:\\planted.exe", REG_SZ, place.view);
            }
            // Two steps of one name, each disabled after the other.
            std::vector<std::optional<RegTree>> steps;
            for (const wchar_t* program : {L"C:\\first.exe", L"C:\\second.exe"}) {
                SetStringValue(place.root, place.keyPath + L"\\Step", L"1", program, REG_SZ, place.view);
                steps.push_back(LiveTree(place, L"Step"));
                const std::optional<AsideEntry> live = Find(place, L"Step", ItemSpot::Live);
                ASSERT_TRUE(live);
                ASSERT_EQ(MoveItem(*live), MoveResult::Moved);
            }
            skipped.clear();
            const std::vector<AsideEntry> kept = FindAll(place, L"Step");
            ASSERT_EQ(kept.size(), 2u) << "both listed";
            const auto said = std::count_if(skipped.begin(), skipped.end(), [&](const SkippedValue& v) {
                return v.foreign && v.key.ends_with(L"\\" + plant.name);
            });
            EXPECT_EQ(said, plant.record ? 0 : 1) << "what is no record is said";
            for (const AsideEntry& entry : kept) {
                ASSERT_EQ(MoveItem(entry), MoveResult::Moved);
                EXPECT_EQ(LiveTree(place, L"Step"), steps[entry.command.find(L"first") != std::wstring::npos ? 0 : 1]);
                RegKey::DeleteTree(place.root, place.keyPath + L"\\Step", place.view);
            }
            RegKey::DeleteTree(place.root, kKeepbootKey, place.view);
        }
    }
}

}  // namespace
}  // namespace kb::test
