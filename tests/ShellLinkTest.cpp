#include "CoreHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "shelllink/ShellLink.h"

namespace kb::test {
namespace {

class ShellLinkTest : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
};

TEST_F(ShellLinkTest, EveryFieldWrittenReadsBack) {
    const ShellLinkData written = RichLink(L"tool");
    const std::wstring lnk = UserStartup() + L"\\Tool.lnk";
    WriteShellLink(lnk, written);
    ASSERT_TRUE(FileExists(lnk));
    ShellLinkData read;
    ReadShellLink(lnk, read);
    ShellLinkData expected = written;
    // Wine's reader does not take the show command from the file (it is
    // written, and Windows reads it); everything else must come back.
    if (read.ShowCmd == SW_SHOWNORMAL) expected.ShowCmd = SW_SHOWNORMAL;
    EXPECT_EQ(read, expected);

    WriteShellLink(lnk, LinkTo(written.Target));
    ReadShellLink(lnk, read);
    EXPECT_EQ(read.ShowCmd, SW_SHOWNORMAL) << "no show command of its own is the shell's default";
    EXPECT_EQ(read.Arguments + read.WorkingDirectory + read.Description, L"");
}

TEST_F(ShellLinkTest, WriteThatFailsSavesNothing) {
    const std::wstring lnk = TempRoot() + L"\\NoSuchFolder\\Tool.lnk";
    EXPECT_THROW(WriteShellLink(lnk, LinkTo(Target(L"tool"))), OleError);
    EXPECT_FALSE(FileExists(lnk));

    const std::wstring here = UserStartup() + L"\\Tool.lnk";
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::ShortcutProperty; });
    EXPECT_THROW(WriteShellLink(here, RichLink(L"tool")), OleError);
    EXPECT_FALSE(FileExists(here)) << "a shortcut missing a property is not saved at all";
}

TEST_F(ShellLinkTest, WhatIsNotAShortcutRaises) {
    const std::wstring folder = UserStartup();
    WriteFileBytes(folder + L"\\Note.lnk", "just some text, not a shortcut\r\n");
    Folder(L"Startup\\Old.lnk");

    for (const std::wstring name : {L"Note.lnk", L"Old.lnk", L"Missing.lnk"}) {
        ShellLinkData link;
        EXPECT_THROW(ReadShellLink(folder + L"\\" + name, link), OleError) << Narrow(name);
        EXPECT_EQ(link.Target, L"");
    }
}

TEST_F(ShellLinkTest, ReadingLeavesTheFileUntouched) {
    const std::wstring target = Target(L"tool");
    const std::wstring lnk = UserStartup() + L"\\Tool.lnk";
    WriteShellLink(lnk, LinkTo(target));
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
