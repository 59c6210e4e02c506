#include "FormHarness.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "startup/StartupPlaces.h"

namespace kb::test {
namespace {

const std::wstring kCv = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kRegStore = kStartupRegStore;
const std::wstring kFolderStore = kStartupFolderStore;

// A registry value as it stands: data and type.
struct RawValue {
    std::wstring data;
    DWORD type = REG_NONE;
    bool operator==(const RawValue&) const = default;
};

RawValue ReadRaw(HKEY root, const std::wstring& key, const std::wstring& name) {
    UniqueKey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return {};
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = REG_NONE;
    if (::RegQueryValueExW(k.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return {};
    return {buffer, type};
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key) {
    Registry reg;
    reg.SetRoot(root);
    auto names = reg.OpenKey(key, false) ? reg.GetValueNames() : std::vector<std::wstring>{};
    std::sort(names.begin(), names.end());  // the registry keeps its own order
    return names;
}

class Store : public FormTest {
protected:
    std::wstring Location(const RunKeyPlace& place) {
        return std::wstring(place.rootName) + L"\\" + place.keyPath;
    }
    std::wstring Pss() {
        Windows();
        return Folder(L"Windows\\pss");
    }
    std::wstring Target(const std::wstring& name) {
        const std::wstring path = Folder(L"Program Files") + L"\\" + name + L".exe";
        WriteFileBytes(path, "MZ");
        return path;
    }
    std::wstring ReadTarget(const std::wstring& shortcut) {
        TShellLink link;
        ReadShellLink(shortcut, link);
        return link.Target;
    }
    std::wstring StoreSubkey(const std::wstring& shortcut) {
        std::wstring name = shortcut;
        for (wchar_t& c : name)
            if (c == L'\\') c = L'^';
        return kFolderStore + L"\\" + name;
    }
};

TEST_F(Store, QuoteCommandLineWrapsOnlyUnquotedTextWithBlanks) {
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L"C:\\Program Files\\A\\a.exe"),
              L"\"C:\\Program Files\\A\\a.exe\"");
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L"\"C:\\Program Files\\A\\a.exe\" -min"),
              L"\"C:\\Program Files\\A\\a.exe\" -min");
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L"\"unbalanced x"), L"\"unbalanced x");
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L"C:\\WINDOWS\\a.exe"), L"C:\\WINDOWS\\a.exe");
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L"C:\\a.exe\t-x"), L"C:\\a.exe\t-x");
    EXPECT_EQ(TDisableForm::QuoteCommandLine(L""), L"");
}

TEST_F(Store, RegistryEntriesOfEveryKeyGoAndComeBackUnchanged) {
    const std::wstring command = L"C:\\Program Files\\Tool\\tool.exe -min \"a b\"";
    TDisableForm& f = MakeForm();
    for (const RunKeyPlace& place : kRunKeys) {
        SCOPED_TRACE(Narrow(Location(place)));
        SetStringValue(place.root, place.keyPath, L"Tool", command);
        const RawValue before = ReadRaw(place.root, place.keyPath, L"Tool");

        f.DisableRunEntry(L"Tool", command, Location(place));
        EXPECT_EQ(ReadRaw(place.root, place.keyPath, L"Tool"), RawValue{});
        const std::wstring sub = kRegStore + L"\\Tool";
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"command"), (RawValue{command, REG_SZ}))
            << "a command line is stored as it stands";
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"hkey").data, place.rootName);
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"key").data, place.keyPath);

        f.EnableRunEntry(L"Tool", command, place.rootName, place.keyPath);
        EXPECT_EQ(ReadRaw(place.root, place.keyPath, L"Tool"), before);
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
        ::RegDeleteKeyValueW(place.root, place.keyPath, L"Tool");
    }
}

TEST_F(Store, DisabledRegistryEntryHasTheSharedLayout) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunOnce", L"Foo", L"C:\\foo.exe");
    TDisableForm& f = MakeForm();
    f.DisableRunEntry(L"Foo", L"C:\\foo.exe", L"HKCU\\" + kCv + L"RunOnce");
    const std::wstring sub = kRegStore + L"\\Foo";
    EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, sub),
              (std::vector<std::wstring>{L"command", L"hkey", L"inimapping", L"item", L"key"}));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"command"), (RawValue{L"C:\\foo.exe", REG_SZ}));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"hkey"), (RawValue{L"HKCU", REG_SZ}));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"inimapping"), (RawValue{L"0", REG_SZ}));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"item"), (RawValue{L"Foo", REG_SZ}));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"key"), (RawValue{kCv + L"RunOnce", REG_SZ}));
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, kCv + L"RunOnce").empty());

    f.RefrushButtonClick();
    ASSERT_EQ(f.DisabledRunTable.RowCount(), 1u);
    EXPECT_EQ(ListRows(f.ListView).back(),
              (ListRow{L"Foo", L"C:\\foo.exe", L"HKCU\\" + kCv + L"RunOnce", false}));
}

TEST_F(Store, ExpandableStringComesBackExpandable) {
    const std::wstring command = L"%ProgramFiles%\\Tool\\tool.exe";
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Tool", command, REG_EXPAND_SZ);
    TDisableForm& f = MakeForm();
    ASSERT_EQ(f.RunTable.Cell(0, RunCol::Command), command);
    f.DisableRunEntry(L"Tool", command, f.RunTable.Cell(0, RunCol::Location));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kRegStore + L"\\Tool", L"command"),
              (RawValue{command, REG_SZ}))
        << "the other utility's values stay plain strings";
    f.EnableRunEntry(L"Tool", command, L"HKLM", kCv + L"Run");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Tool"),
              (RawValue{command, REG_EXPAND_SZ}));
}

TEST_F(Store, RootNamesAreExactOnDisableAndAnyCaseOnEnable) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Foo", L"foo.exe");
    TDisableForm& f = MakeForm();
    f.DisableRunEntry(L"Foo", L"foo.exe", L"hkcu\\" + kCv + L"Run");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"Run", L"Foo").data, L"foo.exe");
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo"));

    f.DisableRunEntry(L"Foo", L"foo.exe", L"HKCU\\" + kCv + L"Run");
    f.EnableRunEntry(L"Foo", L"foo.exe", L"HKEY", kCv + L"Run");
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo")) << "unknown root: stays";
    f.EnableRunEntry(L"Foo", L"foo.exe", L"Hkcu", kCv + L"Run");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"Run", L"Foo").data, L"foo.exe");
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo"));
}

TEST_F(Store, EnableMakesARunKeyThatIsGone) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once", L"once.exe");
    TDisableForm& f = MakeForm();
    f.DisableRunEntry(L"Once", L"once.exe", L"HKCU\\" + kCv + L"RunServicesOnce");
    ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, (kCv + L"RunServicesOnce").c_str()), 0);
    f.EnableRunEntry(L"Once", L"once.exe", L"HKCU", kCv + L"RunServicesOnce");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"RunServicesOnce", L"Once").data, L"once.exe");
}

TEST_F(Store, SecondEntryOfOneNameStaysLive) {
    SetStringValue(HKEY_LOCAL_MACHINE, kCv + L"Run", L"Foo", L"machine.exe");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"foo", L"user.exe");
    // Stored earlier by the other utility.
    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"item", L"Bar");
    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"command", L"old bar.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"hkey", L"HKLM");
    SetStringValue(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"key", kCv + L"Run");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Bar", L"new bar.exe");
    TDisableForm& f = MakeForm();

    f.DisableRunEntry(L"Foo", L"machine.exe", L"HKLM\\" + kCv + L"Run");
    f.DisableRunEntry(L"foo", L"user.exe", L"HKCU\\" + kCv + L"Run");
    f.DisableRunEntry(L"Bar", L"new bar.exe", L"HKCU\\" + kCv + L"Run");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kRegStore + L"\\Foo", L"command").data, L"machine.exe");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"Run", L"foo").data, L"user.exe");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar", L"command").data, L"old bar.exe");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"Run", L"Bar").data, L"new bar.exe");

    // Enabling the stored one while another of its name is live keeps both.
    f.EnableRunEntry(L"Bar", L"old bar.exe", L"HKCU", kCv + L"Run");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kCv + L"Run", L"Bar").data, L"new bar.exe");
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\Bar"));
}

TEST_F(Store, EntriesTheStoreCannotHoldStayLive) {
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"", L"default.exe");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"a\\b", L"slash.exe");
    SetStringValue(HKEY_CURRENT_USER, kCv + L"Run", L"Empty", L"");
    TDisableForm& f = MakeForm();
    const std::wstring location = L"HKCU\\" + kCv + L"Run";
    f.DisableRunEntry(L"", L"default.exe", location);
    f.DisableRunEntry(L"a\\b", L"slash.exe", location);
    f.DisableRunEntry(L"Empty", L"", location);
    EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, kCv + L"Run").size(), 3u);
    EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kRegStore).empty());
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRegStore + L"\\a"));
}

TEST_F(Store, ShortcutsOfBothFoldersGoAndComeBack) {
    for (const bool withBackupFolder : {true, false}) {
        for (const std::wstring location : {L"Startup", L"Common Startup"}) {
            SCOPED_TRACE(Narrow(location) + (withBackupFolder ? " with pss" : " without pss"));
            if (withBackupFolder) Pss(); else RemoveTree(Windows() + L"\\pss");
            TDisableForm& f = MakeForm();
            const std::wstring folder = location == L"Startup" ? f.StartupDir : f.CommonStartupDir;
            const std::wstring target = Target(L"My Tool");
            const std::wstring shortcut = folder + L"\\Foo.lnk";
            CreateShellLink(shortcut, target, L"");
            f.RefrushButtonClick();
            ASSERT_EQ(f.FolderTable.RowCount(), 1u);

            f.DisableFolderEntry(L"Foo", f.FolderTable.Cell(0, FolderCol::Target), location);
            EXPECT_FALSE(FileExists(shortcut));
            const std::wstring sub = StoreSubkey(shortcut);
            EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, sub),
                      (std::vector<std::wstring>{L"backup", L"command", L"item", L"location",
                                                 L"path"}));
            EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"item").data, L"Foo");
            EXPECT_EQ(Narrow(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"command").data),
                      Narrow(L"\"" + target + L"\""));
            EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"location").data, location);
            EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"path").data, shortcut);
            const std::wstring backup = Windows() + L"\\pss\\Foo.lnk" + location;
            EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, sub, L"backup").data,
                      withBackupFolder ? backup : L"");
            EXPECT_EQ(FileExists(backup), withBackupFolder);
            EXPECT_EQ(kb::DirectoryExists(Windows() + L"\\pss"), withBackupFolder)
                << "the backup folder is never made";

            f.RefrushButtonClick();
            ASSERT_EQ(f.DisabledFolderTable.RowCount(), 1u);
            f.EnableFolderEntry(L"Foo", f.DisabledFolderTable.Cell(0, DisabledFolderCol::StoreKeyPath),
                                f.DisabledFolderTable.Cell(0, DisabledFolderCol::Command), location,
                                f.DisabledFolderTable.Cell(0, DisabledFolderCol::Backup),
                                f.DisabledFolderTable.Cell(0, DisabledFolderCol::Path));
            ASSERT_TRUE(FileExists(shortcut));
            EXPECT_EQ(Narrow(ReadTarget(shortcut)), Narrow(target));
            TShellLink link;
            ReadShellLink(shortcut, link);
            EXPECT_EQ(Narrow(link.WorkingDirectory), Narrow(Folder(L"Program Files") + L"\\"))
                << "a rebuilt shortcut works in its target's folder";
            EXPECT_FALSE(FileExists(backup));
            EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
            DeleteFileAt(shortcut);
            form.reset();
        }
    }
}

TEST_F(Store, LocationInAnyCaseAndTheBackupKeepsItsCase) {
    Pss();
    TDisableForm& f = MakeForm();
    const std::wstring shortcut = f.CommonStartupDir + L"\\Foo.lnk";
    CreateShellLink(shortcut, Target(L"foo"), L"");
    f.DisableFolderEntry(L"Foo", Target(L"foo"), L"COMMON STARTUP");
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_TRUE(FileExists(Windows() + L"\\pss\\Foo.lnkCOMMON STARTUP"));
    f.DisableFolderEntry(L"Foo", Target(L"foo"), L"Desktop");
    EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, kFolderStore).size(), 0u);
}

TEST_F(Store, EnableLeavesAShortcutThatIsAlreadyBack) {
    Pss();
    TDisableForm& f = MakeForm();
    const std::wstring shortcut = f.StartupDir + L"\\Foo.lnk";
    const std::wstring first = Target(L"first"), other = Target(L"other");
    CreateShellLink(shortcut, first, L"");
    f.DisableFolderEntry(L"Foo", first, L"Startup");
    CreateShellLink(shortcut, other, L"");
    f.RefrushButtonClick();
    ASSERT_EQ(f.DisabledFolderTable.RowCount(), 1u);
    const std::wstring backup = f.DisabledFolderTable.Cell(0, DisabledFolderCol::Backup);
    f.EnableFolderEntry(L"Foo", f.DisabledFolderTable.Cell(0, DisabledFolderCol::StoreKeyPath),
                        first, L"Startup", backup, shortcut);
    EXPECT_EQ(Narrow(ReadTarget(shortcut)), Narrow(other));
    EXPECT_FALSE(FileExists(backup));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, StoreSubkey(shortcut)));
}

TEST_F(Store, ShortcutsThatCouldNotBeRebuiltStay) {
    TDisableForm& f = MakeForm();
    WriteFileBytes(f.StartupDir + L"\\Note.lnk", "no shortcut");
    f.RefrushButtonClick();
    ASSERT_EQ(f.FolderTable.Cell(0, FolderCol::Target), L"");
    f.DisableFolderEntry(L"Note", L"", L"Startup");
    EXPECT_TRUE(FileExists(f.StartupDir + L"\\Note.lnk"));
    EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kFolderStore).empty());
}

TEST_F(Store, BackupNamedOutsideTheBackupFolderIsNotDeleted) {
    TDisableForm& f = MakeForm();
    const std::wstring precious = Folder(L"Documents") + L"\\precious.txt";
    WriteFileBytes(precious, "keep me");
    const std::wstring sub = kFolderStore + L"\\C:^Foo.lnk";
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"item", L"Foo");
    SetStringValue(HKEY_LOCAL_MACHINE, sub, L"command", Target(L"foo"));
    f.EnableFolderEntry(L"Foo", sub, Target(L"foo"), L"Startup", precious, L"");
    EXPECT_TRUE(FileExists(precious));
    EXPECT_TRUE(FileExists(f.StartupDir + L"\\Foo.lnk"));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, sub));
}

}  // namespace
}  // namespace kb::test
