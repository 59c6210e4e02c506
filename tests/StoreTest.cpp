#include <algorithm>

#include "CoreHarness.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "startup/Store.h"

namespace kb::test {
namespace {

const std::wstring kRegStore = kStartupRegStore;
const std::wstring kFolderStore = kStartupFolderStore;

Names ValueNames(HKEY root, const std::wstring& key) {
    const std::optional<RegKey> k = RegKey::Open(root, key);
    Names names = k ? k->ValueNames() : Names{};
    std::sort(names.begin(), names.end());  // the registry keeps its own order
    return names;
}

class Store : public CoreTest {
protected:
    std::wstring ReadTarget(const std::wstring& shortcut) {
        ShellLinkData link;
        ReadShellLink(shortcut, link);
        return link.Target;
    }
    std::wstring StoreSubkey(const std::wstring& shortcut) {
        std::wstring name = shortcut;
        std::replace(name.begin(), name.end(), L'\\', L'^');
        return kFolderStore + L"\\" + name;
    }
};

TEST_F(Store, QuoteCommandLineWrapsOnlyUnquotedTextWithBlanks) {
    EXPECT_EQ(QuoteCommandLine(L"C:\\Program Files\\A\\a.exe"), L"\"C:\\Program Files\\A\\a.exe\"");
    EXPECT_EQ(QuoteCommandLine(L"\"C:\\Program Files\\A\\a.exe\" -min"),
              L"\"C:\\Program Files\\A\\a.exe\" -min");
    EXPECT_EQ(QuoteCommandLine(L"\"unbalanced x"), L"\"unbalanced x");
    EXPECT_EQ(QuoteCommandLine(L"C:\\WINDOWS\\a.exe"), L"C:\\WINDOWS\\a.exe");
    EXPECT_EQ(QuoteCommandLine(L"C:\\a.exe\t-x"), L"C:\\a.exe\t-x");
    EXPECT_EQ(QuoteCommandLine(L""), L"");
}

TEST_F(Store, RegistryEntriesOfEveryKeyGoAndComeBackUnchanged) {
    const std::wstring command = L"C:\\Program Files\\Tool\\tool.exe -min \"a b\"";
    const std::wstring sub = kRegStore + L"\\Tool";
    for (const RunKeyPlace& place : RunKeyPlaces()) {
        SCOPED_TRACE(Narrow(place.Location()));
        SetStringValue(place.root, place.keyPath, L"Tool", command);

        EXPECT_TRUE(DisableRunValue(Value(L"Tool", place.rootName)));
        EXPECT_EQ(ReadRawValue(place.root, place.keyPath, L"Tool"), RawValue{});
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command"), Text(command))
            << "a command line is stored as it stands";
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"hkey").text, place.rootName);
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"key").text, place.keyPath);

        EXPECT_TRUE(EnableRunValue(StoredValue(L"Tool")));
        EXPECT_EQ(ReadRawValue(place.root, place.keyPath, L"Tool"), Text(command));
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
        ::RegDeleteKeyValueW(place.root, place.keyPath.c_str(), L"Tool");
    }
}

TEST_F(Store, DisabledRegistryEntryHasTheSharedLayout) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunOnce", L"Foo", L"C:\\foo.exe");
    ASSERT_TRUE(DisableRunValue(Value(L"Foo")));
    const std::wstring sub = kRegStore + L"\\Foo";
    EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, sub),
              (Names{L"command", L"hkey", L"inimapping", L"item", L"key"}));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command"), Text(L"C:\\foo.exe"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"hkey"), Text(L"HKCU"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"inimapping"), Text(L"0"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"item"), Text(L"Foo"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"key"), Text(kCv + L"RunOnce"));
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, kCv + L"RunOnce").empty());
    EXPECT_EQ(StoredValue(L"Foo").Location(), L"HKCU\\" + kCv + L"RunOnce");
}

TEST_F(Store, ExpandableStringComesBackExpandable) {
    const std::wstring command = L"%ProgramFiles%\\Tool\\tool.exe";
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", command, REG_EXPAND_SZ);
    ASSERT_TRUE(DisableRunValue(Value(L"Tool", L"HKLM")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Tool", L"command"), Text(command))
        << "the other utility's values stay plain strings";
    ASSERT_TRUE(EnableRunValue(StoredValue(L"Tool")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Tool"), Text(command, REG_EXPAND_SZ));
}

TEST_F(Store, StoredRootNameIsReadInAnyCase) {
    StoreValueEntry(L"Foo", L"Foo", L"foo.exe", L"HKEY");
    EXPECT_FALSE(EnableRunValue(StoredValue(L"Foo")));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo")) << "unknown root: stays";
    StoreValueEntry(L"Foo", L"Foo", L"foo.exe", L"Hkcu");
    EXPECT_TRUE(EnableRunValue(StoredValue(L"Foo")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Foo").text, L"foo.exe");
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo"));
}

TEST_F(Store, EnableMakesARunKeyThatIsGone) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once", L"once.exe");
    ASSERT_TRUE(DisableRunValue(Value(L"Once")));
    ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, (kCv + L"RunServicesOnce").c_str()), 0);
    EXPECT_TRUE(EnableRunValue(StoredValue(L"Once")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once").text, L"once.exe");
}

TEST_F(Store, SecondEntryOfOneNameStaysLive) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Foo", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"foo", L"user.exe");
    StoreValueEntry(L"Bar", L"Bar", L"old bar.exe", L"HKLM");  // stored earlier by the other utility
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bar", L"new bar.exe");

    EXPECT_TRUE(DisableRunValue(Value(L"Foo", L"HKLM")));
    EXPECT_FALSE(DisableRunValue(Value(L"foo")));
    EXPECT_FALSE(DisableRunValue(Value(L"Bar")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo", L"command").text, L"machine.exe");
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"foo").text, L"user.exe");
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"command").text, L"old bar.exe");
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Bar").text, L"new bar.exe");

    // Enabling the stored one while another of its name is live keeps both.
    StoreValueEntry(L"Bar", L"Bar", L"old bar.exe", L"HKCU");
    EXPECT_FALSE(EnableRunValue(StoredValue(L"Bar")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Bar").text, L"new bar.exe");
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar"));
}

TEST_F(Store, EntriesTheStoreCannotHoldStayLive) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"", L"default.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"a\\b", L"slash.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Empty", L"");
    for (const RunValueEntry& entry : Live().values) EXPECT_FALSE(DisableRunValue(entry));
    EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, kRun).size(), 3u);
    EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kRegStore).empty());
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\a"));
}

TEST_F(Store, ValueChangedOrGoneSinceListedIsNotMoved) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"tool.exe");
    const RunValueEntry listed = Value(L"Tool");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"replaced.exe");
    EXPECT_FALSE(DisableRunValue(listed));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool").text, L"replaced.exe");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Tool");
    EXPECT_FALSE(DisableRunValue(listed));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Tool")) << "no ghost entry";
}

TEST_F(Store, ShortcutsOfBothFoldersGoAndComeBack) {
    for (const bool withBackupFolder : {true, false}) {
        for (const std::wstring location : {L"Startup", L"Common Startup"}) {
            SCOPED_TRACE(Narrow(location) + (withBackupFolder ? " with pss" : " without pss"));
            if (withBackupFolder) Pss(); else RemoveTree(Windows() + L"\\pss");
            const std::wstring folder = location == L"Startup" ? UserStartup() : CommonStartup();
            const std::wstring target = Target(L"My Tool");
            const std::wstring shortcut = folder + L"\\Foo.lnk";
            CreateShellLink(shortcut, target, L"");

            ASSERT_TRUE(DisableShortcut(Shortcut(L"Foo"), Folders()));
            EXPECT_FALSE(FileExists(shortcut));
            const std::wstring sub = StoreSubkey(shortcut);
            EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, sub),
                      (Names{L"backup", L"command", L"item", L"location", L"path"}));
            EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"item").text, L"Foo");
            EXPECT_EQ(Narrow(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command").text),
                      Narrow(L"\"" + target + L"\""));
            EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"location").text, location);
            EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"path").text, shortcut);
            const std::wstring backup = Windows() + L"\\pss\\Foo.lnk" + location;
            EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"backup").text,
                      withBackupFolder ? backup : L"");
            EXPECT_EQ(FileExists(backup), withBackupFolder);
            EXPECT_EQ(DirectoryExists(Windows() + L"\\pss"), withBackupFolder)
                << "the backup folder is never made";

            ASSERT_TRUE(EnableShortcut(StoredShortcut(L"Foo"), Folders()));
            ASSERT_TRUE(FileExists(shortcut));
            EXPECT_EQ(Narrow(ReadTarget(shortcut)), Narrow(target));
            ShellLinkData link;
            ReadShellLink(shortcut, link);
            EXPECT_EQ(Narrow(link.WorkingDirectory), Narrow(Folder(L"Program Files") + L"\\"))
                << "a rebuilt shortcut works in its target's folder";
            EXPECT_FALSE(FileExists(backup));
            EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
            DeleteFileAt(shortcut);
        }
    }
}

TEST_F(Store, LocationInAnyCaseAndTheBackupKeepsItsCase) {
    Pss();
    MakeShortcut(CommonStartup(), L"Foo");
    ShortcutEntry entry = Shortcut(L"Foo");
    entry.location = L"COMMON STARTUP";
    EXPECT_TRUE(DisableShortcut(entry, Folders()));
    EXPECT_FALSE(FileExists(CommonStartup() + L"\\Foo.lnk"));
    EXPECT_TRUE(FileExists(Windows() + L"\\pss\\Foo.lnkCOMMON STARTUP"));
    entry.location = L"Desktop";
    MakeShortcut(CommonStartup(), L"Foo");
    EXPECT_FALSE(DisableShortcut(entry, Folders()));
    EXPECT_EQ(Stored().shortcuts.size(), 1u);
}

TEST_F(Store, EnableLeavesAShortcutThatIsAlreadyBack) {
    Pss();
    const std::wstring shortcut = UserStartup() + L"\\Foo.lnk";
    const std::wstring other = Target(L"other");
    MakeShortcut(UserStartup(), L"Foo");
    ASSERT_TRUE(DisableShortcut(Shortcut(L"Foo"), Folders()));
    CreateShellLink(shortcut, other, L"");
    const StoredShortcutEntry stored = StoredShortcut(L"Foo");
    EnableShortcut(stored, Folders());
    EXPECT_EQ(Narrow(ReadTarget(shortcut)), Narrow(other));
    EXPECT_FALSE(FileExists(stored.backup));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, StoreSubkey(shortcut)));
}

TEST_F(Store, ShortcutsThatCouldNotBeRebuiltStay) {
    WriteFileBytes(UserStartup() + L"\\Note.lnk", "no shortcut");
    EXPECT_FALSE(DisableShortcut(Shortcut(L"Note"), Folders()));
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Note.lnk"));
    EXPECT_TRUE(Stored().shortcuts.empty());
}

TEST_F(Store, BackupNamedOutsideTheBackupFolderIsNotDeleted) {
    const std::wstring precious = Folder(L"Documents") + L"\\precious.txt";
    WriteFileBytes(precious, "keep me");
    const std::wstring sub = kFolderStore + L"\\C:^Foo.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Foo");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", Target(L"foo"));
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"location", L"Startup");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"backup", precious);
    EXPECT_TRUE(EnableShortcut(StoredShortcut(L"Foo"), Folders()));
    EXPECT_TRUE(FileExists(precious));
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Foo.lnk"));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
}

}  // namespace
}  // namespace kb::test
