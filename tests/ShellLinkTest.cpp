#include "Sandbox.h"
#include "platform/Error.h"
#include "shelllink/ShellLink.h"

namespace kb::test {
namespace {

class ShellLinkTest : public Sandbox {
protected:
    // A real file to point at: the shell may look for the target.
    std::wstring MakeTarget(const std::wstring& folder, const std::wstring& name) {
        const std::wstring path = Folder(folder) + L"\\" + name;
        WriteFileBytes(path, "MZ");
        return path;
    }
};

TEST_F(ShellLinkTest, WrittenShortcutReadsBack) {
    const std::wstring target = MakeTarget(L"Tools", L"tool.exe");
    const std::wstring lnk = Folder(L"Startup") + L"\\Tool.lnk";
    CreateShellLink(lnk, target, L"");
    ASSERT_TRUE(FileExists(lnk));

    ShellLinkData link;
    ReadShellLink(lnk, link);
    EXPECT_EQ(Narrow(link.Target), Narrow(target));
    EXPECT_EQ(Narrow(link.WorkingDirectory), Narrow(TempRoot() + L"\\Tools\\"))
        << "the target's folder, with its trailing backslash";
    EXPECT_EQ(link.Arguments, L"");
    EXPECT_EQ(link.Description, L"");
}

TEST_F(ShellLinkTest, GivenWorkingDirectoryIsKept) {
    const std::wstring target = MakeTarget(L"Tools", L"tool.exe");
    const std::wstring lnk = Folder(L"Startup") + L"\\Tool.lnk";
    const std::wstring work = Folder(L"Work");
    CreateShellLink(lnk, target, work);
    ShellLinkData link;
    ReadShellLink(lnk, link);
    EXPECT_EQ(Narrow(link.WorkingDirectory), Narrow(work));
}

TEST_F(ShellLinkTest, TargetWithoutFolderGetsNoWorkingDirectory) {
    const std::wstring lnk = Folder(L"Startup") + L"\\Bare.lnk";
    CreateShellLink(lnk, L"notepad.exe", L"");
    ASSERT_TRUE(FileExists(lnk));
    ShellLinkData link;
    ReadShellLink(lnk, link);
    EXPECT_EQ(link.WorkingDirectory, L"");
}

TEST_F(ShellLinkTest, ShortcutIntoMissingFolderLeavesNothingAndRaisesNothing) {
    const std::wstring target = MakeTarget(L"Tools", L"tool.exe");
    const std::wstring lnk = TempRoot() + L"\\NoSuchFolder\\Tool.lnk";
    EXPECT_NO_THROW(CreateShellLink(lnk, target, L""));
    EXPECT_FALSE(FileExists(lnk));
    EXPECT_FALSE(kb::DirectoryExists(TempRoot() + L"\\NoSuchFolder"));
}

TEST_F(ShellLinkTest, WhatIsNotAShortcutRaises) {
    const std::wstring folder = Folder(L"Startup");
    WriteFileBytes(folder + L"\\Note.lnk", "just some text, not a shortcut\r\n");
    Folder(L"Startup\\Old.lnk");

    for (const std::wstring name : {L"Note.lnk", L"Old.lnk", L"Missing.lnk"}) {
        ShellLinkData link;
        EXPECT_THROW(ReadShellLink(folder + L"\\" + name, link), OleError) << Narrow(name);
        EXPECT_EQ(link.Target, L"");
    }
}

TEST_F(ShellLinkTest, ReadingLeavesTheFileUntouched) {
    const std::wstring target = MakeTarget(L"Tools", L"tool.exe");
    const std::wstring lnk = Folder(L"Startup") + L"\\Tool.lnk";
    CreateShellLink(lnk, target, L"");
    // The target moves away, which would tempt a resolve to update the link.
    ASSERT_TRUE(::DeleteFileW(target.c_str()));

    const std::string before = ReadFileBytes(lnk);
    WIN32_FILE_ATTRIBUTE_DATA attrBefore{}, attrAfter{};
    ASSERT_TRUE(::GetFileAttributesExW(lnk.c_str(), GetFileExInfoStandard, &attrBefore));

    ShellLinkData link;
    try {
        ReadShellLink(lnk, link);
    } catch (const OleError&) {
        // A missing target may fail the silent resolve; the file must stay as it was.
    }
    ASSERT_TRUE(::GetFileAttributesExW(lnk.c_str(), GetFileExInfoStandard, &attrAfter));
    EXPECT_EQ(ReadFileBytes(lnk), before);
    EXPECT_EQ(::CompareFileTime(&attrBefore.ftLastWriteTime, &attrAfter.ftLastWriteTime), 0);
}

}  // namespace
}  // namespace kb::test
