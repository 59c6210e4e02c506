// Task definitions as the schedulers leave them on disk, read through the
// system's XML parser: Windows' own (UTF-16), Wine's (UTF-8 with a comment),
// Microsoft's published example, and what is no definition at all.
#include <gtest/gtest.h>

#include <string>

#include <algorithm>

#include "Sandbox.h"
#include "TaskXml.h"
#include "platform/Handle.h"
#include "kinds/TaskDefinition.h"
#include "kinds/TaskFiles.h"
#include "platform/Xml.h"

namespace kb::test {
namespace {

const std::wstring kWindowsUpdater =
    L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    L"  <RegistrationInfo><Author>Vendor</Author><URI>\\Vendor\\Updater</URI></RegistrationInfo>\r\n"
    L"  <Triggers>\r\n"
    L"    <LogonTrigger><Enabled>true</Enabled></LogonTrigger>\r\n"
    L"    <CalendarTrigger><StartBoundary>2026-01-01T10:00:00</StartBoundary>"
    L"<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>\r\n"
    L"  </Triggers>\r\n"
    L"  <Principals><Principal id=\"Author\"><UserId>S-1-5-18</UserId>"
    L"<RunLevel>HighestAvailable</RunLevel></Principal></Principals>\r\n"
    L"  <Settings><Enabled>true</Enabled><Hidden>false</Hidden></Settings>\r\n"
    L"  <Actions Context=\"Author\"><Exec><Command>\"C:\\Program Files\\Vendor\\update.exe\"</Command>"
    L"<Arguments>/silent &amp; /c</Arguments></Exec></Actions>\r\n"
    L"</Task>\r\n";

// Microsoft's "Logon Trigger Example (XML)": a comment before the root,
// and a trigger's Enabled after its EndBoundary.
const char kPublishedLogonExample[] =
    "<?xml version=\"1.0\" ?>\n"
    "<!--\nThis sample schedules a task to start notepad.exe when a user logs on.\n-->\n"
    "<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
    "    <RegistrationInfo>\n"
    "        <Date>2005-10-11T13:21:17-08:00</Date>\n"
    "        <Author>AuthorName</Author>\n"
    "        <Version>1.0.0</Version>\n"
    "        <Description>Starts Notepad when a specified user logs on.</Description>\n"
    "    </RegistrationInfo>\n"
    "    <Triggers>\n"
    "        <LogonTrigger>\n"
    "            <StartBoundary>2005-10-11T13:21:17-08:00</StartBoundary>\n"
    "            <EndBoundary>2006-01-01T00:00:00-08:00</EndBoundary>\n"
    "            <Enabled>true</Enabled>\n"
    "            <UserId>DOMAIN_NAME\\UserName</UserId>\n"
    "        </LogonTrigger>\n"
    "    </Triggers>\n"
    "    <Principals>\n"
    "        <Principal>\n"
    "            <UserId>DOMAIN_NAME\\UserName</UserId>\n"
    "            <LogonType>InteractiveToken</LogonType>\n"
    "        </Principal>\n"
    "    </Principals>\n"
    "    <Settings>\n"
    "        <Enabled>true</Enabled>\n"
    "        <AllowStartOnDemand>true</AllowStartOnDemand>\n"
    "        <AllowHardTerminate>true</AllowHardTerminate>\n"
    "    </Settings>\n"
    "    <Actions>\n"
    "        <Exec>\n"
    "            <Command>notepad.exe</Command>\n"
    "        </Exec>\n"
    "    </Actions>\n"
    "</Task>\n";

// As Wine's scheduler writes one: UTF-8 with its mark, its own comment, no
// declaration; and a settings block without Enabled, which Windows takes
// as enabled.
const char kWineWritten[] =
    "\xEF\xBB\xBF<!-- Task definition created by Wine -->\n"
    "<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
    "<Triggers><BootTrigger/><EventTrigger><Enabled>false</Enabled></EventTrigger></Triggers>"
    "<Principals><Principal id=\"Runs\"><GroupId>S-1-5-32-545</GroupId><LogonType>InteractiveToken</LogonType>"
    "</Principal></Principals>"
    "<Settings><Hidden>true</Hidden></Settings>"
    "<Actions Context=\"Runs\"><ComHandler><ClassId>{01234567-89AB-CDEF-0123-456789ABCDEF}</ClassId>"
    "<Data>run</Data></ComHandler></Actions>"
    "</Task>";

TEST(TaskDefinitions, EachAsItsSchedulerLeftItOnDisk) {
    using Kind = TaskDefinition::Action::Kind;
    struct Case {
        const char* name;
        std::string bytes;
        TaskDefinition expected;
        bool startsByItself;
    };
    const Case cases[] = {
        {"Windows' own, UTF-16",
         Utf16File(kWindowsUpdater),
         {.author = L"Vendor",
          .uri = L"\\Vendor\\Updater",
          .triggers = {{L"LogonTrigger", true}, {L"CalendarTrigger", true}},
          .actions = {{.kind = Kind::Exec,
                       .command = L"\"C:\\Program Files\\Vendor\\update.exe\"",
                       .arguments = L"/silent & /c"}},
          .userId = L"S-1-5-18",
          .highestRights = true},
         true},
        {"Microsoft's published example",
         kPublishedLogonExample,
         {.author = L"AuthorName",
          .description = L"Starts Notepad when a specified user logs on.",
          .triggers = {{L"LogonTrigger", true}},
          .actions = {{.kind = Kind::Exec, .command = L"notepad.exe"}},
          .userId = L"DOMAIN_NAME\\UserName",
          .logonType = L"InteractiveToken"},
         true},
        {"Wine's, hidden, a COM handler, a group's",
         kWineWritten,
         {.hidden = true,
          .triggers = {{L"BootTrigger", true}, {L"EventTrigger", false}},
          .actions = {{.kind = Kind::ComHandler, .classId = L"{01234567-89AB-CDEF-0123-456789ABCDEF}", .data = L"run"}},
          .groupId = L"S-1-5-32-545",
          .logonType = L"InteractiveToken"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TaskDefinition> read = ParseTaskDefinition(XmlTextOf(c.bytes));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, c.expected);
        EXPECT_EQ(read->StartsByItself(), c.startsByItself);
    }
}

// What keeps a definition from starting anything by itself, each alone;
// and what is no definition at all.
TEST(TaskDefinitions, WhatStartsNothingAndWhatIsNoDefinition) {
    const std::wstring head = L"<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">";
    const std::wstring exec = L"<Actions><Exec><Command>a.exe</Command></Exec></Actions>";
    const std::wstring logon = L"<Triggers><LogonTrigger/></Triggers>";
    struct Case {
        const char* name;
        std::wstring xml;
    };
    const Case startsNothing[] = {
        {"disabled", head + logon + exec + L"<Settings><Enabled>false</Enabled></Settings></Task>"},
        {"its only trigger off", head + L"<Triggers><TimeTrigger><Enabled>0</Enabled></TimeTrigger></Triggers>" + exec +
                                     L"</Task>"},
        {"started only on demand", head + exec + L"</Task>"},
        {"a message, no program", head + logon + L"<Actions><ShowMessage><Title>t</Title></ShowMessage></Actions></Task>"},
    };
    for (const Case& c : startsNothing) {
        SCOPED_TRACE(c.name);
        const std::optional<TaskDefinition> read = ParseTaskDefinition(c.xml);
        ASSERT_TRUE(read.has_value());
        EXPECT_FALSE(read->StartsByItself());
    }
    EXPECT_TRUE(ParseTaskDefinition(head + logon + exec + L"</Task>")->StartsByItself()) << "the same, whole";
    const Case none[] = {
        {"not well-formed", head + logon + exec},
        {"another namespace", L"<Task xmlns=\"urn:other\">" + logon + exec + L"</Task>"},
        {"no namespace", L"<Task>" + logon + exec + L"</Task>"},
        {"another root", L"<Job xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"/>"},
        // Nothing is taken from elsewhere, nor made up by a declaration.
        {"a document type", L"<!DOCTYPE Task [<!ENTITY x SYSTEM \"file:///C:/windows/win.ini\">]>" + head +
                                L"<RegistrationInfo><Description>&x;</Description></RegistrationInfo></Task>"},
    };
    for (const Case& c : none) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ParseTaskDefinition(c.xml).has_value());
    }
}

// The scheduler's folder as a tree of files: every file a task by its path,
// hidden ones too; what is not read is a task all the same; no link leads
// the reading elsewhere.
class TaskFiles : public Sandbox {};

TEST_F(TaskFiles, EveryFileBelowTheFolderIsATaskAndNoLinkIsFollowed) {
    const std::wstring root = Folder(L"Tasks");
    Folder(L"Tasks\\Vendor");
    WriteFileBytes(root + L"\\Vendor\\Updater", Utf16File(kWindowsUpdater));
    WriteFileBytes(root + L"\\Hidden", kWineWritten);
    ASSERT_TRUE(::SetFileAttributesW((root + L"\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
    WriteFileBytes(root + L"\\Junk", "not a definition");
    WriteFileBytes(root + L"\\Huge", std::string((1 << 20) + 1, ' '));
    const std::wstring elsewhere = Folder(L"Elsewhere");
    WriteFileBytes(elsewhere + L"\\Planted", Utf16File(kWindowsUpdater));
    ASSERT_TRUE(MakeFolderLink(root + L"\\Linked", elsewhere));

    TaskFolderReading reading = ReadTaskFiles(root);
    std::sort(reading.tasks.begin(), reading.tasks.end(),
              [](const TaskFile& a, const TaskFile& b) { return a.path < b.path; });
    std::vector<std::tuple<std::wstring, bool, DWORD>> seen;
    for (const TaskFile& task : reading.tasks) seen.emplace_back(task.path, task.definition.has_value(), task.error);
    const std::vector<std::tuple<std::wstring, bool, DWORD>> expected{
        {L"\\Hidden", true, ERROR_SUCCESS},
        {L"\\Huge", false, static_cast<DWORD>(ERROR_FILE_TOO_LARGE)},
        {L"\\Junk", false, ERROR_SUCCESS},
        {L"\\Vendor\\Updater", true, ERROR_SUCCESS},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(reading.tasks[0].definition->hidden);
    EXPECT_EQ(reading.tasks[3].definition->uri, L"\\Vendor\\Updater");
    const std::vector<std::pair<std::wstring, DWORD>> unlisted{{L"\\Linked", static_cast<DWORD>(ERROR_CANT_ACCESS_FILE)}};
    EXPECT_EQ(reading.unlisted, unlisted) << "the link is said, and nothing behind it is a task";
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// What a task's file holds is read at every check, and parsed again only
// when its bytes changed: a definition swapped for another of the same
// size, its times set back, is read as it is now.
TEST_F(TaskFiles, ADefinitionSwappedUnderTheSameSizeAndTimesIsReadAsItIsNow) {
    const std::wstring root = Folder(L"Tasks"), file = root + L"\\Updater";
    const auto plant = [&](const wchar_t* program) {
        WriteFileBytes(file, Utf16File(TaskXml(program)));
        const UniqueFile handle(::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                                              nullptr));
        const FILETIME fixed{0x12345678, 0x01D00000};
        ASSERT_TRUE(::SetFileTime(handle.get(), &fixed, nullptr, &fixed));
    };
    const auto commandNow = [&] {
        const TaskFolderReading read = ReadTaskFiles(root);
        return read.tasks.size() == 1 && read.tasks[0].definition ? read.tasks[0].definition->actions.at(0).command
                                                                  : std::wstring();
    };
    plant(L"C:\\a.exe");
    EXPECT_EQ(commandNow(), L"C:\\a.exe");
    EXPECT_EQ(commandNow(), L"C:\\a.exe") << "unchanged, the same";
    plant(L"C:\\b.exe");
    EXPECT_EQ(commandNow(), L"C:\\b.exe");
}

}  // namespace
}  // namespace kb::test
