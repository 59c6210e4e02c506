// Files and store entries this program did not make: shortcuts laid out
// byte by byte from the published Shell Link format, files of every kind
// in a Startup folder, and the store as other programs read it.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "CoreHarness.h"
#include "platform/Registry.h"
#include "reading/Inventory.h"
#include "store/Store.h"

namespace kb::test {
namespace {

// --- the Shell Link format -----------------------------------------------------

std::string Le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(std::uint32_t v) {
    return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16));
}
std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) bytes += Le16(static_cast<std::uint16_t>(c));
    return bytes;
}
// A GUID as it lies in a file: the first three fields little-endian.
std::string GuidBytes(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d) {
    std::string bytes = Le32(a) + Le16(b) + Le16(c);
    for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>((d >> shift) & 0xFF);
    return bytes;
}
std::string Counted(const std::wstring& text) {
    return Le16(static_cast<std::uint16_t>(text.size())) + Utf16(text);
}

enum : std::uint32_t {
    kHasIdList = 0x1,
    kHasName = 0x4,
    kHasRelativePath = 0x8,
    kHasWorkingDir = 0x10,
    kHasArguments = 0x20,
    kIsUnicode = 0x80,
    kHasDarwinId = 0x1000,
};

std::string Header(std::uint32_t flags) {
    return Le32(0x4C) + GuidBytes(0x00021401, 0, 0, 0xC000000000000046) + Le32(flags | kIsUnicode) +
           Le32(0) + std::string(24, '\0') + Le32(0) + Le32(0) + Le32(SW_SHOWNORMAL) + Le16(0) +
           std::string(10, '\0');
}

// The ID list of "Computer": one root item naming the folder's class.
std::string ComputerIdList() {
    const std::string item = Le16(20) + "\x1F\x50" +
                             GuidBytes(0x20D04FE0, 0x3AEA, 0x1069, 0xA2D808002B30309D);
    return Le16(static_cast<std::uint16_t>(item.size() + 2)) + item + Le16(0);
}

// A data block of fixed ANSI and Unicode text fields (environment, Darwin).
std::string TextBlock(std::uint32_t signature, const std::string& text) {
    std::string ansi = text, wide = Utf16(std::wstring(text.begin(), text.end()));
    ansi.resize(260, '\0');
    wide.resize(520, '\0');
    return Le32(0x314) + Le32(signature) + ansi + wide;
}

std::string KnownFolderBlock() {  // FOLDERID_ProgramFiles
    return Le32(0x1C) + Le32(0xA000000B) +
           GuidBytes(0x905E63B6, 0xC1BF, 0x494E, 0xB29C65B732D3D21A) + Le32(0);
}

const std::string kEnd = Le32(0);

// Shortcuts as Windows' own writers make them, which the shell here reads
// in part or not at all.
std::map<std::wstring, std::string> ForeignShortcuts() {
    return {
        {L"Item only.lnk", Header(kHasIdList) + ComputerIdList() + kEnd},
        {L"Advertised.lnk", Header(kHasDarwinId | kHasName) + Counted(L"Office tool") +
                                TextBlock(0xA0000006, "w_1^VX!!!!!!!!!MKKSkOffice>tool<c$Kd") +
                                kEnd},
        {L"Relative.lnk",
         Header(kHasIdList | kHasRelativePath | kHasWorkingDir | kHasArguments) +
             ComputerIdList() + Counted(L".\\tool.exe") + Counted(L"%ProgramFiles%\\Tool") +
             Counted(L"/tray") + TextBlock(0xA0000001, "%ProgramFiles%\\Tool\\tool.exe") +
             KnownFolderBlock() + kEnd},
    };
}

class ForeignData : public CoreTest {
protected:
    // Disables the listed file and enables it again; true when both moved.
    bool RoundTrip(const std::wstring& name) {
        if (DisableShortcut(Shortcut(name), Folders()) != MoveResult::Moved) return false;
        return EnableShortcut(StoredShortcut(name), Folders()) == MoveResult::Moved;
    }
};

// Whatever a file in a Startup folder is, it leaves and comes back as the
// very bytes it was, under its own name, with its own attributes, whether
// or not the other utility's backup folder exists.
TEST_F(ForeignData, EveryFileOfAStartupFolderComesBackByteForByte) {
    std::map<std::wstring, std::string> files = ForeignShortcuts();
    files[L"run.bat"] = "@echo off\r\nstart tool.exe\r\n";
    files[L"tool.exe"] = std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(70000, '\x7F');
    files[L"site.url"] = "[InternetShortcut]\r\nURL=https://example.invalid/\r\n";
    files[L"Loud.LNK"] = {};  // written by the shell below
    files[L"Locked.lnk"] = {};
    files[L"Long.lnk"] = {};
    ShellLinkData longLink = RichLink(L"long");
    longLink.Arguments = std::wstring(600, L'a') + L" end";
    longLink.Description = std::wstring(400, L'd');
    const DWORD locked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

    for (const bool withPss : {true, false}) {
        SCOPED_TRACE(withPss ? "with pss" : "without pss");
        if (withPss) Pss(); else RemoveTree(Windows() + L"\\pss");
        for (auto& [fileName, bytes] : files) {
            const std::wstring path = UserStartup() + L"\\" + fileName;
            if (fileName == L"Long.lnk")
                WriteShellLink(path, longLink);
            else if (bytes.empty())
                WriteShellLink(path, RichLink(fileName));
            else
                WriteFileBytes(path, bytes);
            bytes = ReadFileBytes(path);
        }
        ASSERT_TRUE(::SetFileAttributesW((UserStartup() + L"\\Locked.lnk").c_str(), locked));
        EXPECT_EQ(Shortcut(L"Long").link.value_or(ShellLinkData{}).Arguments, longLink.Arguments)
            << "no text cut to a buffer's size";

        for (const auto& [fileName, bytes] : files) {
            SCOPED_TRACE(Narrow(fileName));
            const std::wstring name = fileName.substr(0, fileName.rfind(L'.'));
            EXPECT_FALSE(Shortcut(name).command.empty()) << "the list shows what it starts";
            ASSERT_TRUE(RoundTrip(name));
            const std::wstring path = UserStartup() + L"\\" + fileName;
            EXPECT_EQ(ReadFileBytes(path), bytes);
            EXPECT_EQ(Live().Of<ShortcutEntry>().size(), files.size()) << "its own name, letter case and all";
        }
        EXPECT_EQ(::GetFileAttributesW((UserStartup() + L"\\Locked.lnk").c_str()) & locked, locked);
        EXPECT_TRUE(Stored().shortcuts.empty());
        ::SetFileAttributesW((UserStartup() + L"\\Locked.lnk").c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const auto& [fileName, bytes] : files) DeleteFileAt(UserStartup() + L"\\" + fileName);
    }
}

// --- the store's other readers ---------------------------------------------------

// How a program finds a startupreg entry to enable, and which name the
// value comes back under.
enum class Reader {
    ByItem,    // the subkey whose "item" is the name it was listed under
    BySubkey,  // the other utility: the subkey itself, named after the value
};

// Enables every startupreg entry as that reader would, one by one, each
// time reading the store anew as it does.
void EnableAllAs(Reader reader) {
    for (;;) {
        const OpenedKey store = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kStartupRegStore);
        const std::vector<std::wstring> subkeys = store ? store->SubkeyNames() : Names{};
        if (subkeys.empty()) return;
        const auto item = [&](const std::wstring& subkey) {
            return RegKey::OpenForReading(store->get(), subkey)->ReadString(L"item");
        };
        const std::wstring listed = reader == Reader::ByItem ? item(subkeys.front()) : subkeys.front();
        // The first subkey whose item (or name) it is: how such a reader finds it.
        std::wstring subkey;
        for (const std::wstring& s : subkeys)
            if ((reader == Reader::ByItem ? item(s) : s) == listed) {
                subkey = s;
                break;
            }
        const OpenedKey entry = RegKey::OpenForReading(store->get(), subkey);
        const HKEY root = entry->ReadString(L"hkey") == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        SetStringValue(root, entry->ReadString(L"key"), listed, entry->ReadString(L"command"));
        ASSERT_EQ(RegKey::DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kStartupRegStore) + L"\\" + subkey),
                  ERROR_SUCCESS);
    }
}

// Entries written here under every awkward name are enabled by a program
// that goes by "item" and by one that goes by the subkey's name, and not
// one command is lost either way.
TEST_F(ForeignData, EntriesWrittenHereLoseNothingWhateverReaderEnablesThem) {
    const std::wstring runOnce = kCv + L"RunOnce";
    const std::vector<std::pair<std::wstring, std::wstring>> values{
        {kRun, L"Foo"}, {runOnce, L"Foo"}, {kRun, L"Foo (2)"}, {kRun, L"a\\b"},
        {kRun, L"a^b"}, {kRun, L""},       {runOnce, L"(Default)"},
        {kRun, std::wstring(300, L'n')}};
    for (const Reader reader : {Reader::ByItem, Reader::BySubkey}) {
        SCOPED_TRACE(reader == Reader::ByItem ? "by item" : "by subkey");
        std::multiset<std::wstring> commands;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::wstring command = L"C:\\tools\\t" + std::to_wstring(i) + L".exe";
            SetStringValue(HKEY_CURRENT_USER, values[i].first, values[i].second, command);
            commands.insert(command);
        }
        for (const RunValueEntry& e : Live().Of<RunValueEntry>()) ASSERT_EQ(MoveResult::Moved, DisableRunValue(e));
        ASSERT_EQ(Stored().values.size(), values.size());
        for (const StoredRunEntry& e : Stored().values)
            EXPECT_TRUE(std::any_of(values.begin(), values.end(),
                                    [&](const auto& v) { return v.second == e.item; }))
                << "listed here under its real name: " << Narrow(e.item);

        EnableAllAs(reader);
        std::multiset<std::wstring> back;
        for (const RunValueEntry& e : Live().Of<RunValueEntry>()) back.insert(e.command);
        EXPECT_EQ(back, commands);
        for (const std::wstring& key : {kRun, runOnce}) RegKey::DeleteTree(HKEY_CURRENT_USER, key);
    }
}

// A value whose bytes go on past the text's NUL comes back with every
// byte. (One without its closing NUL would too, but Wine's registry adds
// the NUL when such a value is written, so it cannot be made here.)
TEST_F(ForeignData, ValueBytesBeyondItsTextComeBackExactly) {
    const std::string data("t\0o\0o\0l\0\0\0h\0i\0d\0\0\0", 18);
    SetRawValue(HKEY_CURRENT_USER, kRun, L"Odd", REG_EXPAND_SZ, data.data(),
                static_cast<DWORD>(data.size()));
    ASSERT_EQ(Value(L"Odd").command, L"tool");
    ASSERT_EQ(MoveResult::Moved, DisableRunValue(Value(L"Odd")));
    ASSERT_EQ(MoveResult::Moved, EnableRunValue(StoredValue(L"Odd")));
    const std::optional<RegValue> back = RegKey::OpenForReading(HKEY_CURRENT_USER, kRun)->TryQuery(L"Odd");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, DWORD{REG_EXPAND_SZ});
    EXPECT_EQ(std::string(back->data.begin(), back->data.end()), data);
}

}  // namespace
}  // namespace kb::test
