// Whole-program tests of the entries moved aside, written from a second
// process as an installer or an intruder would: a second entry of a taken
// name, entries written one value at a time, a link in place of the aside
// folder, a name the place does not have, and files only the literal path
// names. Each ends disabled whole and comes back whole from the list.
#include "ProgramFixtures.h"
#include "store/Items.h"

namespace kb::test {
namespace {

const std::wstring kWindowsKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::wstring kComponents = L"Software\\Microsoft\\Active Setup\\Installed Components";
const std::wstring kSteps = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";

class ProgramAside : public ProgramNotifications {
protected:
    void TearDown() override {
        ProgramNotifications::TearDown();
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kWindowsKey.c_str(), L"Load");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (kWindowsKey + L"\\AutorunsDisabled").c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Environment\\AutorunsDisabled");
        for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            ::RegDeleteTreeW(root, L"Software\\Keepboot");
            ::RegDeleteKeyW(root, L"Software\\Keepboot");
        }
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kComponents + L"\\{KB-A}").c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kComponents + L"\\AutorunsDisabled").c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, (kSteps + L"\\KB-0001").c_str());
        if (!link_.empty()) RemoveFolderLink(link_);
        if (!documents_.empty()) RemoveTree(documents_);
    }
    static std::wstring StartupFolder() {
        wchar_t folder[MAX_PATH] = {};
        ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE);
        return folder;
    }
    // Writes the values one at a time with the pauses an installer makes.
    static void WriteInParts(HKEY root, const std::wstring& key,
                             const std::vector<std::pair<std::wstring, std::wstring>>& values) {
        DWORD pause = 0;
        for (const auto& [name, text] : values) {
            ::Sleep(pause);
            pause = (pause + 23) % 51;
            SetStringValue(root, key, name, text);
        }
    }
    void ApplyWithRowsTicked(const KeepbootProcess& process, const std::function<bool(int)>& tick) {
        const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
        for (int row = 0; row < list.Count(); ++row)
            if (tick(row)) list.SetChecked(row, true);
        ::PostMessageW(FindDescendant(window_, IdListApply), BM_CLICK, 0, 0);
    }
    bool Reloaded(const KeepbootProcess& process, const std::function<bool(const RemoteListView&)>& shows) {
        const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
        ::PostMessageW(FindDescendant(window_, IdListReload), BM_CLICK, 0, 0);
        return WaitUntil([&] { return shows(list); });
    }

    std::wstring link_, documents_;
};

TEST_F(ProgramAside, TakenNamesAndEntriesWrittenInPartsEndWholeAndDisabled) {
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);
    const auto liveLoad = [] { return ReadText(HKEY_CURRENT_USER, kWindowsKey, L"Load"); };

    // The user's Load written twice: the second is disabled too.
    SetStringValue(HKEY_CURRENT_USER, kWindowsKey, L"Load", L"C:\\first.exe");
    ASSERT_TRUE(WaitUntil([&] { return liveLoad() == L"(none)"; }, kWellInsideAnInterval));
    SetStringValue(HKEY_CURRENT_USER, kWindowsKey, L"Load", L"C:\\second.exe");
    ASSERT_TRUE(WaitUntil([&] { return liveLoad() == L"(none)"; }, kWellInsideAnInterval))
        << "a taken name keeps nothing live";
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kWindowsKey + L"\\AutorunsDisabled", L"Load"), L"C:\\second.exe")
        << "the newest where the other lister enables it from";

    // A component and a step written one value at a time, as installers do.
    WriteInParts(HKEY_LOCAL_MACHINE, kComponents + L"\\{KB-A}",
                 {{L"StubPath", L"C:\\a.exe /user"}, {L"Version", L"1,0"}, {L"IsInstalled", L"1"},
                  {L"Locale", L"*"}});
    WriteInParts(HKEY_CURRENT_USER, kSteps + L"\\KB-0001",
                 {{L"", L"Installing"}, {L"1", L"C:\\one.exe"}, {L"2", L"C:\\two.exe"}});
    SetStringValue(HKEY_CURRENT_USER, kSteps + L"\\KB-0001\\Depend", L"1", L"C:\\hook.dll");
    ASSERT_TRUE(WaitUntil([&] {
        return !RawKeyExists(HKEY_LOCAL_MACHINE, kComponents + L"\\{KB-A}") &&
               !RawKeyExists(HKEY_CURRENT_USER, kSteps + L"\\KB-0001");
    }, kWellInsideAnInterval));
    const std::optional<RegTree> aside =
        ReadTree(HKEY_LOCAL_MACHINE, kComponents + L"\\AutorunsDisabled\\{KB-A}", 0);
    ASSERT_TRUE(aside);
    EXPECT_EQ(aside->values.size(), 4u) << "whole, in one place";
    EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, kSteps + L"\\AutorunsDisabled"))
        << "nothing below RunOnceEx, which deletes what it finds";

    // Each comes back from the list: the older Load, and the step.
    ASSERT_TRUE(Reloaded(process, [](const RemoteListView& list) { return list.Find(L"KB-0001") >= 0; }));
    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    ApplyWithRowsTicked(process, [&](int row) {
        return list.Text(row, 1) == L"C:\\first.exe" || list.Text(row, 0) == L"KB-0001";
    });
    EXPECT_TRUE(WaitUntil([&] {
        return liveLoad() == L"C:\\first.exe" && RawKeyExists(HKEY_CURRENT_USER, kSteps + L"\\KB-0001\\Depend");
    }));
    EXPECT_EQ(ReadTree(HKEY_CURRENT_USER, kSteps + L"\\KB-0001", 0)->values.size(), 3u);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kWindowsKey + L"\\AutorunsDisabled", L"Load"), L"C:\\second.exe");
    Quit(process, window_);
}

TEST_F(ProgramAside, NoLinkNoForeignNameAndEveryFileExplorerOpens) {
    // A variable of the user's environment below the aside key, and the
    // Startup folder's aside subfolder made a link to the user's documents.
    SetStringValue(HKEY_CURRENT_USER, L"Environment\\AutorunsDisabled", L"windir", L"C:\\evil.exe & ");
    const std::wstring folder = StartupFolder();
    documents_ = folder + L"\\..\\KB Documents";
    ::CreateDirectoryW(documents_.c_str(), nullptr);
    WriteFileBytes(documents_ + L"\\note.bat", "@echo mine\r\n");
    link_ = folder + L"\\AutorunsDisabled";
    ASSERT_TRUE(MakeFolderLinkAt(link_, documents_));
    KeepbootProcess& process = StartWatching();
    ASSERT_NE(window_, nullptr);

    // Files Explorer opens that the usual paths would miss.
    const std::map<std::wstring, std::string> files{{L"trail.bat.", "@echo trail\r\n"},
                                                    {L"desktop.ini", "[.ShellClassInfo]\r\n"}};
    for (const auto& [name, bytes] : files) {
        files_.push_back(folder + L"\\" + name);
        WriteFileBytes(L"\\\\?\\" + files_.back(), bytes);
    }
    ASSERT_TRUE(WaitUntil([&] {
        return std::none_of(files_.begin(), files_.end(), [](const std::wstring& f) { return FileExists(f); });
    }, kWellInsideAnInterval));

    ASSERT_TRUE(Reloaded(process, [](const RemoteListView& list) { return list.Find(L"trail.bat") >= 0; }));
    const RemoteListView list(FindDescendant(window_, IdStartupList), process.Process());
    EXPECT_LT(list.Find(L"windir"), 0) << "no entry of the place";
    EXPECT_LT(list.Find(L"note"), 0) << "what the link leads to is no entry";
    ApplyWithRowsTicked(process, [&](int row) {
        return list.Text(row, 0) == L"trail.bat" || list.Text(row, 0) == L"desktop";
    });
    // Back whole: a file seen before its copy is written through is not yet.
    const auto back = [&] {
        return std::all_of(files.begin(), files.end(), [&](const auto& file) {
            return ReadFileBytes(L"\\\\?\\" + folder + L"\\" + file.first) == file.second;
        });
    };
    EXPECT_TRUE(WaitUntil(back));
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + folder + L"\\" + name), bytes);
    Quit(process, window_);

    // Nor does the elevated instance take either, whatever it is told: a
    // command line that is not the running guard's request moves nothing.
    for (const std::wstring& arguments : {L"-move shortcut \"" + link_ + L"\\note.bat\"",
                                          std::wstring(L"-move item HKCU 0 Environment windir value aside")}) {
        EXPECT_EQ(RunToEnd(L"\"" + exe_ + L"\" " + arguments), 3);
    }
    EXPECT_TRUE(FileExists(documents_ + L"\\note.bat"));
    EXPECT_FALSE(FileExists(folder + L"\\note.bat"));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, L"Environment", L"windir"), L"(none)");
}

}  // namespace
}  // namespace kb::test
