#include <algorithm>
#include <functional>

#include "CoreHarness.h"
#include "platform/CurrentUser.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "store/OwnFolder.h"
#include "kinds/EntryMoves.h"
#include "store/Store.h"

namespace kb::test {
namespace {

const std::wstring kRegStore = kStartupRegStore;
const std::wstring kFolderStore = kStartupFolderStore;

Names ValueNames(HKEY root, const std::wstring& key) {
    const OpenedKey k = RegKey::OpenForWriting(root, key);
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
    ShellLinkData ReadLink(const std::wstring& shortcut) {
        ShellLinkData link;
        ReadShellLink(shortcut, link);
        return link;
    }
    // Disables the value of that name and enables it again, through whatever
    // subkey the store chose; true when it came back exactly.
    bool RoundTrip(const std::wstring& name, const std::wstring& rootName) {
        const RunValueEntry before = Value(name, rootName);
        if (DisableRunValue(before) != MoveResult::Moved) return false;
        for (const StoredRunEntry& e : Stored().values)
            if (e.item == name && e.hkey == rootName && e.command == before.command)
                return EnableRunValue(e) == MoveResult::Moved &&
                       ReadRawValue(before.place.root, before.place.keyPath, name) ==
                           Text(before.command, before.type);
        return false;
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

        EXPECT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool", place.rootName)));
        EXPECT_EQ(ReadRawValue(place.root, place.keyPath, L"Tool"), RawValue{});
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command"), Text(command))
            << "a command line is stored as it stands";
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"hkey").text, place.rootName);
        EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"key").text, place.keyPath);

        EXPECT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Tool")));
        EXPECT_EQ(ReadRawValue(place.root, place.keyPath, L"Tool"), Text(command));
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
        ::RegDeleteKeyValueW(place.root, place.keyPath.c_str(), L"Tool");
    }
}

TEST_F(Store, DisabledRegistryEntryHasTheSharedLayout) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunOnce", L"Foo", L"C:\\foo.exe");
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Foo")));
    const std::wstring sub = kRegStore + L"\\Foo";
    EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, sub),
              (Names{L"DAY", L"HOUR", L"KeepbootCommand", L"KeepbootUser", L"MINUTE", L"MONTH",
                     L"SECOND", L"YEAR", L"command", L"hkey", L"inimapping", L"item", L"key"}));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command"), Text(L"C:\\foo.exe"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"hkey"), Text(L"HKCU"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"inimapping"), Text(L"0"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"item"), Text(L"Foo"));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"key"), Text(kCv + L"RunOnce"));
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, kCv + L"RunOnce").empty());
    EXPECT_EQ(StoredValue(L"Foo").Location(), L"HKCU\\" + kCv + L"RunOnce");
}

// The marker survives a disable run twice (a pass run again after it failed
// to remove the live value) and applies only to the command it was written
// for.
TEST_F(Store, ExpandableStringComesBackExpandableAndOnlyIt) {
    const std::wstring command = L"%ProgramFiles%\\Tool\\tool.exe";
    const std::wstring sub = kRegStore + L"\\Tool";
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", command, REG_EXPAND_SZ);
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool", L"HKLM")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command"), Text(command))
        << "the other utility's values stay plain strings";
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", command, REG_EXPAND_SZ);
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool", L"HKLM")));
    EXPECT_EQ(Stored().values.size(), 1u) << "the same entry, stored once";
    ASSERT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Tool")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Tool"), Text(command, REG_EXPAND_SZ));

    // Stored expandable, then the other utility rewrites the subkey's command.
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool", L"HKLM")));
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", L"C:\\other.exe");
    EXPECT_FALSE(StoredValue(L"Tool").expandable);
    ASSERT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Tool")));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Tool"), Text(L"C:\\other.exe"));
}

TEST_F(Store, StoredRootNameIsReadInAnyCase) {
    StoreValueEntry(L"Foo", L"Foo", L"foo.exe", L"HKEY");
    EXPECT_EQ(MoveResult::CannotMove, EnableRunValue(StoredValue(L"Foo")));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo")) << "unknown root: stays";
    StoreValueEntry(L"Foo", L"Foo", L"foo.exe", L"Hkcu");
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Foo")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Foo").text, L"foo.exe");
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo"));
}

TEST_F(Store, EnableMakesARunKeyThatIsGone) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once", L"once.exe");
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Once")));
    ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, (kCv + L"RunServicesOnce").c_str()), 0);
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Once")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once").text, L"once.exe");
}

// Names the natural subkey cannot hold are stored under free ones, and each
// comes back exactly where it was: an intruder cannot pick a name that
// walks past the guard.
TEST_F(Store, EveryValueCanBeDisabledAndComesBackExactly) {
    StoreValueEntry(L"Bar", L"Bar", L"old bar.exe", L"HKLM");  // stored earlier by the other utility
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bar", L"new bar.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Twin", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"twin", L"user.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"a\\b", L"slash.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"", L"default.exe");
    const std::wstring longName(300, L'L');
    SetStringValue(HKEY_CURRENT_USER, kRun, longName, L"long.exe");

    EXPECT_TRUE(RoundTrip(L"Bar", L"HKCU"));
    EXPECT_EQ(StoredValue(L"Bar").command, L"old bar.exe") << "the other entry is untouched";
    EXPECT_TRUE(RoundTrip(L"Twin", L"HKLM"));
    for (const std::wstring& name : {std::wstring(L"twin"), std::wstring(L"a\\b"), std::wstring(),
                                     longName}) {
        SCOPED_TRACE(Narrow(name.substr(0, 10)));
        EXPECT_TRUE(RoundTrip(name, L"HKCU"));
    }
    // All stored at once, each in its own subkey.
    for (const RunValueEntry& entry : Live().Of<RunValueEntry>())
        EXPECT_EQ(DisableRunValue(entry), MoveResult::Moved) << Narrow(entry.name.substr(0, 10));
    EXPECT_EQ(Stored().values.size(), 7u);
    EXPECT_TRUE(Live().Of<RunValueEntry>().empty());
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\a")) << "no nested key";
}

TEST_F(Store, LiveValueOfAStoredNameIsKeptBesideIt) {
    StoreValueEntry(L"Bar", L"Bar", L"old bar.exe");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Bar", L"new bar.exe");
    EXPECT_EQ(MoveResult::CannotMove, EnableRunValue(StoredValue(L"Bar")));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Bar").text, L"new bar.exe");
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar"));
}

// Two subkeys of one item (the second written here under a free name, tied
// to its command): enabling one touches only the subkey it was listed from.
TEST_F(Store, EnableWorksOnTheSubkeyItWasListedFrom) {
    StoreValueEntry(L"Dup", L"Dup", L"first.exe");
    StoreValueEntry(L"Other", L"Dup", L"second.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Other", L"KeepbootCommand", L"second.exe");
    StoredRunEntry second;
    for (const StoredRunEntry& e : Stored().values)
        if (e.subkey == L"Other") second = e;
    ASSERT_EQ(second.command, L"second.exe");
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(second));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Dup").text, L"second.exe");
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Other"));
    EXPECT_EQ(StoredValue(L"Dup").command, L"first.exe");

    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Dup", L"command", L"changed.exe");
    StoredRunEntry stale = StoredValue(L"Dup");
    stale.command = L"first.exe";
    EXPECT_EQ(MoveResult::Changed, EnableRunValue(stale)) << "listed before the subkey changed";
}

// The other utility names the subkey after the Run value and keeps the
// program's base name in "item": its entry comes back under the value's
// own name, with its command exactly as stored.
TEST_F(Store, OtherUtilitysEntryComesBackUnderItsSubkeysName) {
    const std::wstring command = L"\"C:\\Program Files\\Sound\\sndhlp.exe\" /tray";
    StoreValueEntry(L"Sound Helper", L"sndhlp", command, L"HKLM");
    const StoredRunEntry entry = StoredValue(L"Sound Helper");
    EXPECT_EQ(TextOf(entry).item, L"Sound Helper") << "listed as Windows started it";
    EXPECT_EQ(MoveResult::Moved, EnableRunValue(entry));
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Sound Helper"), Text(command));
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"sndhlp").exists);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Sound Helper"));
}

TEST_F(Store, EmptyCommandStaysLive) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Empty", L"");
    EXPECT_EQ(MoveResult::CannotMove, DisableRunValue(Value(L"Empty")));
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Empty").exists);
    EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kRegStore).empty());
}

TEST_F(Store, ValueChangedOrGoneSinceListedIsNotMoved) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"tool.exe");
    const RunValueEntry listed = Value(L"Tool");
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"replaced.exe");
    EXPECT_EQ(MoveResult::Changed, DisableRunValue(listed));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool").text, L"replaced.exe");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Tool");
    EXPECT_EQ(MoveResult::Changed, DisableRunValue(listed));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Tool")) << "no ghost entry";
}

// Every part of a shortcut comes back: from the backup copy where there is
// one, from the store's own values where not.
// Every file comes back as the very bytes it was, with or without pss:
// without it the copy goes into Keepboot's own backup folder.
// Explorer starts a file whose name ends in a dot or a blank like any
// other; the system's usual paths would name another file.
TEST_F(Store, FilesNamedWithATrailingDotOrBlankGoAndComeBackWhole) {
    Pss();
    for (const std::wstring name : {L"trail.bat.", L"space.bat "}) {
        SCOPED_TRACE(Narrow(name));
        const std::wstring file = UserStartup() + L"\\" + name;
        const std::string bytes = "@echo off\r\nstart hidden.exe\r\n";
        WriteFileBytes(L"\\\\?\\" + file, bytes);
        const LiveEntries live = Live();
        const auto entry = std::find_if(live.Of<ShortcutEntry>().begin(), live.Of<ShortcutEntry>().end(),
                                        [&](const ShortcutEntry& e) { return e.fileName == name; });
        ASSERT_NE(entry, live.Of<ShortcutEntry>().end());
        ASSERT_EQ(DisableShortcut(*entry, Folders()), MoveResult::Moved);
        EXPECT_FALSE(FileExists(file));
        const std::vector<StoredShortcutEntry> stored = Stored().shortcuts;
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].fileName, name);
        ASSERT_EQ(EnableShortcut(stored[0], Folders()), MoveResult::Moved);
        EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + file), bytes) << "the very file, under its very name";
        EXPECT_TRUE(Stored().shortcuts.empty());
        DeleteFileAt(file);
    }
}

// The copies of the machine's files go only into a folder of Keepboot's
// own: one another user made first in the folder of everyone's, or a link
// there, is not used, and that is said; the file stays where it is.
TEST_F(Store, TheMachinesCopiesGoOnlyIntoAFolderOfKeepbootsOwn) {
    const std::wstring keepboot = Folder(L"ProgramData") + L"\\Keepboot";
    const std::wstring file = CommonStartup() + L"\\Tool.bat";
    const auto disable = [&] {
        WriteFileBytes(file, "@echo tool\r\n");
        return DisableShortcut(Shortcut(L"Tool"), Folders());
    };
    ASSERT_EQ(disable(), MoveResult::Moved) << "made as its own";
    EXPECT_EQ(StoredShortcut(L"Tool").backup.rfind(Folders().machineBackup + L"\\Tool.bat", 0), 0u);
    EXPECT_FALSE(TakeOwnFolderRefusal());
    ASSERT_EQ(EnableShortcut(StoredShortcut(L"Tool"), Folders()), MoveResult::Moved);
    ASSERT_EQ(disable(), MoveResult::Moved) << "and known as such after";
    ASSERT_EQ(EnableShortcut(StoredShortcut(L"Tool"), Folders()), MoveResult::Moved);

    RemoveTree(keepboot);
    Folder(L"ProgramData\\Keepboot");  // made first by someone else
    EXPECT_EQ(disable(), MoveResult::CannotMove);
    EXPECT_TRUE(FileExists(file)) << "it stays where it is";
    std::optional<OwnFolderRefusal> why = TakeOwnFolderRefusal();
    ASSERT_TRUE(why);
    EXPECT_EQ(why->why, OwnFolderRefusal::Why::SomeoneElses);
    EXPECT_FALSE(TakeOwnFolderRefusal()) << "said once";

    RemoveTree(keepboot);
    ASSERT_TRUE(MakeFolderLink(keepboot, Folder(L"Elsewhere")));
    EXPECT_EQ(disable(), MoveResult::CannotMove);
    ASSERT_TRUE(why = TakeOwnFolderRefusal());
    EXPECT_EQ(why->why, OwnFolderRefusal::Why::Link);
    EXPECT_FALSE(DirectoryExists(Folder(L"Elsewhere") + L"\\Backup")) << "nothing made through it";
}

// In the form the running Windows's own utility writes and reads: XP's
// names the folder and ends the backup's name with it; Vista's and later
// give the folder's path and the backup's ending apart.
TEST_F(Store, ShortcutsComeBackByteForByteInEitherWindowsForm) {
    for (const bool later : {false, true}) {
        SetVistaOrLaterForTesting(later);
        for (const bool withBackupFolder : {true, false}) {
            for (const std::wstring location : {L"Startup", L"Common Startup"}) {
                SCOPED_TRACE(Narrow(location) + (withBackupFolder ? " with pss" : " without pss") +
                             (later ? ", Vista's form" : ", XP's form"));
                if (withBackupFolder) Pss(); else RemoveTree(Windows() + L"\\pss");
                const std::wstring folder = location == L"Startup" ? UserStartup() : CommonStartup();
                const std::wstring shortcut = folder + L"\\Foo.lnk";
                WriteShellLink(shortcut, RichLink(L"My Tool"));
                const std::string bytes = ReadFileBytes(shortcut);

                ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Foo"), Folders()));
                EXPECT_FALSE(FileExists(shortcut));
                const std::wstring sub = StoreSubkey(shortcut);
                EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"item").text, L"Foo");
                EXPECT_EQ(Narrow(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"command").text),
                          Narrow(L"\"" + Folder(L"Program Files") + L"\\My Tool.exe\""));
                EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"location").text,
                          later ? folder : location);
                EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"path").text, shortcut);
                const std::wstring ending = !later                   ? location
                                            : location == L"Startup" ? L".Startup"
                                                                     : L".CommonStartup";
                EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"backupExtension"),
                          later ? Text(ending) : RawValue{});
                const std::wstring backup =
                    (withBackupFolder ? Windows() + L"\\pss" : Folders().machineBackup) + L"\\Foo.lnk" +
                    ending;
                EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, sub, L"backup").text, backup);
                EXPECT_EQ(ReadFileBytes(backup), bytes);
                EXPECT_EQ(DirectoryExists(Windows() + L"\\pss"), withBackupFolder)
                    << "pss is never made";
                const StoredShortcutEntry stored = StoredShortcut(L"Foo");
                EXPECT_EQ(TextOf(stored).location, location) << "listed by the folder's name";

                ASSERT_EQ(MoveResult::Moved, EnableShortcut(stored, Folders()));
                EXPECT_EQ(ReadFileBytes(shortcut), bytes);
                EXPECT_FALSE(FileExists(backup));
                EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
                DeleteFileAt(shortcut);
            }
        }
    }
}

// The store is the machine's, but a user's own places are theirs: what was
// disabled from one user's Run key or Startup folder is listed to another
// user as not theirs and stays stored, and goes back to its own user; the
// machine's places belong to everyone.
TEST_F(Store, AUsersEntryGoesBackOnlyToThatUser) {
    const std::wstring alice = L"S-1-5-21-1000-2000-3000-1001", bob = L"S-1-5-21-1000-2000-3000-1002";
    Pss();
    struct Case {
        const char* what;
        std::function<void()> makeAndDisable;
        std::function<StartupEntry()> stored;
        std::function<bool()> live;
        bool usersOwn;
    } cases[] = {
        {"a value of the user's Run key",
         [&] {
             SetStringValue(HKEY_CURRENT_USER, kRun, L"Tool", L"C:\\tool.exe");
             ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool")));
         },
         [&] { return StartupEntry{StoredValue(L"Tool")}; },
         [&] { return !ReadRawValue(HKEY_CURRENT_USER, kRun, L"Tool").text.empty(); }, true},
        {"a file of the user's Startup folder",
         [&] {
             MakeShortcut(UserStartup(), L"Tool");
             ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Tool"), Folders()));
         },
         [&] { return StartupEntry{StoredShortcut(L"Tool")}; },
         [&] { return FileExists(UserStartup() + L"\\Tool.lnk"); }, true},
        {"a value of the machine's Run key",
         [&] {
             SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Tool", L"C:\\tool.exe");
             ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Tool", L"HKLM")));
         },
         [&] { return StartupEntry{StoredValue(L"Tool")}; },
         [&] { return !ReadRawValue(HKEY_LOCAL_MACHINE, kRun, L"Tool").text.empty(); }, false},
    };
    for (const bool later : {false, true}) {
        SetVistaOrLaterForTesting(later);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (later ? ", Vista's form" : ", XP's form"));
            SetCurrentUserSidForTesting(alice);
            c.makeAndDisable();
            SetCurrentUserSidForTesting(bob);
            const StartupEntry theirs = c.stored();
            EXPECT_EQ(TextOf(theirs).note == EntryText::Note::AnotherUsers, c.usersOwn);
            if (c.usersOwn) {
                EXPECT_EQ(MoveEntry(theirs, Folders()), MoveResult::AnotherUsers);
                EXPECT_FALSE(c.live()) << "nothing went into this user's place";
                SetCurrentUserSidForTesting(alice);
            }
            ASSERT_EQ(MoveEntry(c.stored(), Folders()), MoveResult::Moved);
            EXPECT_TRUE(c.live());
            EXPECT_TRUE(Stored().values.empty() && Stored().shortcuts.empty());
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"Tool");
            ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"Tool");
            DeleteFileAt(UserStartup() + L"\\Tool.lnk");
        }
    }
}

TEST_F(Store, EntryOfTheOtherUtilityIsRebuiltFromItsCommand) {
    const std::wstring target = Target(L"tool");
    const std::wstring sub = kFolderStore + L"\\C:^Tool.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Tool");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", L"\"" + target + L"\"");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"location", L"Startup");
    const std::wstring bare = kFolderStore + L"\\C:^Bare.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, bare, L"item", L"Bare");
    SetStringValue(HKEY_LOCAL_MACHINE, bare, L"command", L"C:\\bare.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, bare, L"location", L"Startup");
    SetStringValue(HKEY_LOCAL_MACHINE, bare, L"KeepbootArguments", L"-x");  // but no tie

    ASSERT_EQ(MoveResult::Moved, EnableShortcut(StoredShortcut(L"Tool"), Folders()));
    const ShellLinkData link = ReadLink(UserStartup() + L"\\Tool.lnk");
    EXPECT_EQ(Narrow(link.Target), Narrow(target));
    EXPECT_EQ(Narrow(link.WorkingDirectory), Narrow(Folder(L"Program Files") + L"\\"))
        << "a rebuilt shortcut works in its target's folder";
    EXPECT_FALSE(StoredShortcut(L"Bare").saved) << "our values without their tie do not apply";
}

TEST_F(Store, LocationInAnyCaseAndTheBackupKeepsItsCase) {
    SetVistaOrLaterForTesting(false);  // XP's form, which ends the backup's name with it
    Pss();
    MakeShortcut(CommonStartup(), L"Foo");
    ShortcutEntry entry = Shortcut(L"Foo");
    entry.location = L"COMMON STARTUP";
    EXPECT_EQ(MoveResult::Moved, DisableShortcut(entry, Folders()));
    EXPECT_FALSE(FileExists(CommonStartup() + L"\\Foo.lnk"));
    EXPECT_TRUE(FileExists(Windows() + L"\\pss\\Foo.lnkCOMMON STARTUP"));
    entry.location = L"Desktop";
    MakeShortcut(CommonStartup(), L"Foo");
    EXPECT_EQ(MoveResult::CannotMove, DisableShortcut(entry, Folders()));
    EXPECT_EQ(Stored().shortcuts.size(), 1u);
}

TEST_F(Store, SameShortcutAlreadyBackOnlyDropsTheStoreEntry) {
    Pss();
    const std::wstring shortcut = UserStartup() + L"\\Foo.lnk";
    WriteShellLink(shortcut, RichLink(L"foo"));
    const std::string bytes = ReadFileBytes(shortcut);
    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Foo"), Folders()));
    // An installer puts the very same file back. (A shortcut written again
    // is not always the same bytes: it holds its target's times, and
    // RichLink writes the target anew.)
    WriteFileBytes(shortcut, bytes);
    const StoredShortcutEntry stored = StoredShortcut(L"Foo");
    EXPECT_EQ(MoveResult::Moved, EnableShortcut(stored, Folders()));
    EXPECT_FALSE(FileExists(stored.backup));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, StoreSubkey(shortcut)));
}

// Another shortcut of the name is live: both are kept, as on the registry
// side, and disabling the newcomer too keeps both in the store.
TEST_F(Store, TwinShortcutsAreBothKept) {
    Pss();
    const std::wstring shortcut = UserStartup() + L"\\Foo.lnk";
    const ShellLinkData first = AsRead(RichLink(L"first"));
    WriteShellLink(shortcut, first);
    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Foo"), Folders()));
    const StoredShortcutEntry stored = StoredShortcut(L"Foo");
    const ShellLinkData other = AsRead(RichLink(L"other"));
    WriteShellLink(shortcut, other);
    EXPECT_EQ(MoveResult::CannotMove, EnableShortcut(stored, Folders()));
    EXPECT_EQ(ReadLink(shortcut), other);
    EXPECT_TRUE(FileExists(stored.backup));

    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"Foo"), Folders()));
    const StoredEntries both = Stored();
    ASSERT_EQ(both.shortcuts.size(), 2u);
    EXPECT_NE(both.shortcuts[0].backup, both.shortcuts[1].backup);
    std::vector<ShellLinkData> back;
    for (const StoredShortcutEntry& e : both.shortcuts) {
        ASSERT_EQ(MoveResult::Moved, EnableShortcut(e, Folders()));
        back.push_back(ReadLink(shortcut));
        DeleteFileAt(shortcut);
    }
    EXPECT_TRUE(back == (std::vector{first, other}) || back == (std::vector{other, first}));
}

TEST_F(Store, ShortcutNamedJustLnkGoesAndComesBack) {
    const ShellLinkData link = AsRead(RichLink(L"nameless"));
    WriteShellLink(UserStartup() + L"\\.lnk", link);
    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L""), Folders()));
    const StoredShortcutEntry stored = StoredShortcut(L"");
    EXPECT_EQ(stored.item, L"") << "listed again, empty item and all";
    EXPECT_EQ(MoveResult::Moved, EnableShortcut(stored, Folders()));
    EXPECT_EQ(ReadLink(UserStartup() + L"\\.lnk"), link);
}

TEST_F(Store, StoredItemWithAFolderPartIsListedButNeverWritten) {
    for (const std::wstring item : {L"..\\Escaped", L"sub/Escaped", L"..", L"C:Escaped"}) {
        const std::wstring sub = kFolderStore + L"\\Bad";
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", item);
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", Target(L"bad"));
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"location", L"Startup");
        EXPECT_EQ(MoveResult::CannotMove, EnableShortcut(StoredShortcut(item), Folders()));
        EXPECT_FALSE(FileExists(TempRoot() + L"\\Escaped.lnk")) << Narrow(item);
        EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
    }
}

// A file its writer still holds open is not whole yet: it is taken once
// the writer is done, never copied half-written.
TEST_F(Store, FileStillBeingWrittenIsTakenOnlyOnceDone) {
    const std::wstring file = UserStartup() + L"\\setup.cmd";
    WriteFileBytes(file, "@echo off\r\n");
    UniqueFile writer(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(MoveResult::Changed, DisableShortcut(Shortcut(L"setup"), Folders()));
    EXPECT_TRUE(Stored().shortcuts.empty());
    writer.reset();
    EXPECT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"setup"), Folders()));
    EXPECT_FALSE(FileExists(file));
}

// A copy whose bytes changed in its folder (Keepboot's own folder made
// first by someone else) is never put into a Startup folder.
TEST_F(Store, CopyChangedInItsFolderIsNotPutBack) {
    WriteFileBytes(CommonStartup() + L"\\tidy.cmd", "@del %TEMP%\\*.tmp\r\n");
    ASSERT_EQ(MoveResult::Moved, DisableShortcut(Shortcut(L"tidy"), Folders()));
    const StoredShortcutEntry stored = StoredShortcut(L"tidy");
    WriteFileBytes(stored.backup, "@net user eve /add\r\n");
    EXPECT_EQ(MoveResult::CannotMove, EnableShortcut(stored, Folders()));
    EXPECT_FALSE(FileExists(CommonStartup() + L"\\tidy.cmd"));
    EXPECT_EQ(Stored().shortcuts.size(), 1u) << "still stored";
}

TEST_F(Store, ShortcutChangedSinceListedIsNotMoved) {
    MakeShortcut(UserStartup(), L"Foo");
    const ShortcutEntry listed = Shortcut(L"Foo");
    const ShellLinkData replaced = AsRead(RichLink(L"replaced"));
    WriteShellLink(UserStartup() + L"\\Foo.lnk", replaced);
    EXPECT_EQ(MoveResult::Changed, DisableShortcut(listed, Folders()));
    EXPECT_EQ(ReadLink(UserStartup() + L"\\Foo.lnk"), replaced);
    EXPECT_TRUE(Stored().shortcuts.empty());
}

// Without a copy of its bytes a file is not moved: the store alone could
// not give it back as it was.
TEST_F(Store, FileThatCannotBeKeptWholeStays) {
    StartupFolders folders = Folders();
    WriteFileBytes(TempRoot() + L"\\blocker", "a file where the folder would be");
    folders.machineBackup = TempRoot() + L"\\blocker\\Backup";
    MakeShortcut(UserStartup(), L"Foo");
    EXPECT_EQ(MoveResult::CannotMove, DisableShortcut(Shortcut(L"Foo"), folders));
    EXPECT_TRUE(FileExists(UserStartup() + L"\\Foo.lnk"));
    EXPECT_TRUE(Stored().shortcuts.empty());
}

// Only a file directly inside the backup folder is ever deleted, whatever
// the stored "backup" value says.
TEST_F(Store, BackupNamedOutsideTheBackupFolderIsNotDeleted) {
    const std::wstring pss = Pss();
    const std::wstring precious = Windows() + L"\\precious.txt";
    for (const std::wstring& backup :
         {Folder(L"Documents") + L"\\precious.txt", pss + L"\\..\\precious.txt",
          pss + L"/../precious.txt", pss + L"\\sub\\..\\..\\precious.txt", pss + L"x\\..\\precious.txt"}) {
        SCOPED_TRACE(Narrow(backup));
        WriteFileBytes(precious, "keep me");
        WriteFileBytes(Folder(L"Documents") + L"\\precious.txt", "keep me");
        const std::wstring sub = kFolderStore + L"\\C:^Foo.lnk";
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Foo");
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", Target(L"foo"));
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"location", L"Startup");
        SetStringValue(HKEY_LOCAL_MACHINE, sub, L"backup", backup);
        EXPECT_EQ(MoveResult::Moved, EnableShortcut(StoredShortcut(L"Foo"), Folders()));
        EXPECT_TRUE(FileExists(precious));
        EXPECT_TRUE(FileExists(Folder(L"Documents") + L"\\precious.txt"));
        EXPECT_TRUE(FileExists(UserStartup() + L"\\Foo.lnk"));
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
        DeleteFileAt(UserStartup() + L"\\Foo.lnk");
    }
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// Names that differ only in "\" against "^" (which a subkey name cannot
// tell apart) all get a subkey of their own: no fixed limit leaves one live.
TEST_F(Store, EveryBackslashAndCaretVariantIsDisabled) {
    for (int pattern = 0; pattern < 105; ++pattern) {
        std::wstring name = L"v";
        for (int bit = 0; bit < 7; ++bit) name += (pattern >> bit & 1) ? L"\\x" : L"^x";
        SetStringValue(HKEY_CURRENT_USER, kRun, name, L"tool.exe");
        ASSERT_EQ(DisableRunValue(Value(name)), MoveResult::Moved) << pattern;
    }
    EXPECT_TRUE(Live().Of<RunValueEntry>().empty());
    EXPECT_EQ(Stored().values.size(), 105u);
}

// A store entry that names a key Keepboot does not guard (forged, or from
// another tool) is listed, says where it would go, and is never written.
TEST_F(Store, EntryNamingAnUnguardedKeyIsListedAndNotEnabled) {
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    StoreValueEntry(L"Shell", L"Shell", L"explorer.exe,C:\\evil\\x.exe", L"HKCU", winlogon);
    const StoredRunEntry entry = StoredValue(L"Shell");
    EXPECT_EQ(TextOf(entry).location, L"HKCU\\" + winlogon);
    EXPECT_EQ(TextOf(entry).note, EntryText::Note::StaysStored);
    EXPECT_EQ(EnableRunValue(entry), MoveResult::CannotMove);
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, winlogon, L"Shell").exists);
    EXPECT_EQ(NamesOf(Stored().values), Names{L"Shell"});
}

}  // namespace
}  // namespace kb::test
