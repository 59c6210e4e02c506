// Scheduled tasks as guarded places, through the prefix's own scheduler: a new task is switched off where it
// is, as the scheduler switches it off, listed, and switched on again
// exactly; which tasks are new; and that only what Keepboot switched off
// comes back. The definitions are written into the prefix's own folder, as
// Windows' scheduler leaves them, and Wine's scheduler serves them.
#include <algorithm>
#include <optional>

#include "CoreHarness.h"
#include "TaskXml.h"
#include "guard/Guard.h"
#include "kinds/TaskFiles.h"
#include "kinds/TaskSwitch.h"
#include "platform/Files.h"
#include "platform/TaskScheduler.h"
#include "platform/Xml.h"

namespace kb::test {
namespace {

const std::wstring kUpdater = L"C:\\Vendor\\update.exe";

class TaskPlaces : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        // The prefix's own folder, which its scheduler serves: these tests
        // run one at a time, with nothing else.
        SetTasksFolderForTesting(std::nullopt);
        // The scheduler's client connects to this computer by its name,
        // which Windows reads from the machine's key the sandbox stands in for.
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        ::GetEnvironmentVariableW(L"COMPUTERNAME", name, MAX_COMPUTERNAME_LENGTH + 1);
        SetStringValue(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
                       L"ComputerName", name);
        guard_.emplace(Folders());
        guard_->Reload();
    }
    // What is there now is known (a first start), and later checks act.
    void Learn() { Check(); }
    void Check() {
        guard_->Check(Policy::DisableSilently, [](const StartupEntry&) { return Decision::Disable; },
                      [](const StartupEntry&) {});
    }
    std::optional<TaskEntry> Listed(const std::wstring& path) {
        for (const TaskEntry& e : guard_->Listed().live.Of<TaskEntry>())
            if (e.path == path) return e;
        return std::nullopt;
    }
    static std::optional<TaskDefinition> DefinitionIn(const std::wstring& file) {
        return ParseTaskDefinition(XmlTextOf(ReadFileBytes(file)));
    }
    static TaskDefinition Switched(TaskDefinition definition, bool enabled) {
        definition.enabled = enabled;
        return definition;
    }
    std::optional<StartupGuard> guard_;
};

TEST_F(TaskPlaces, ANewTaskIsSwitchedOffListedAndBackExactAndARewrittenActionIsNew) {
    Learn();
    const std::wstring text = TaskXml(kUpdater, L"/silent");
    const std::wstring file = PlantTask(L"\\Vendor\\Updater", Utf16File(text));
    const std::optional<TaskDefinition> before = DefinitionIn(file);
    ASSERT_TRUE(before && before->enabled);

    Check();
    EXPECT_EQ(DefinitionIn(file), Switched(*before, false)) << "off where it is, nothing else changed";
    EXPECT_EQ(TaskEnabled(L"\\Vendor\\Updater").value_or(false), false) << "the scheduler's own answer";
    std::wstring after = XmlTextOf(ReadFileBytes(file));
    const std::wstring off = L"<Enabled>false</Enabled>";
    ASSERT_NE(after.find(off), std::wstring::npos);
    EXPECT_EQ(after.erase(after.find(off), off.size()), XmlTextOf(Utf16File(text))) << "no other byte touched";

    Check();  // as the watch does, woken by the switch itself
    const std::optional<TaskEntry> listed = Listed(L"\\Vendor\\Updater");
    ASSERT_TRUE(listed);
    EXPECT_FALSE(ScheduledTasks::TextOf(*listed).enabled);
    EXPECT_EQ(listed->command, kUpdater + L" /silent");

    ASSERT_EQ(guard_->Move(*listed), MoveResult::Moved);
    EXPECT_EQ(DefinitionIn(file), before) << "on again, exactly";
    Check();
    EXPECT_EQ(DefinitionIn(file), before) << "enabled from the list, it is known";

    // Its action rewritten, it is a new entry.
    PlantTask(L"\\Vendor\\Updater", Utf16File(TaskXml(L"C:\\Elsewhere\\other.exe")));
    Check();
    EXPECT_FALSE(DefinitionIn(file)->enabled);
}

// Which tasks are new: one that starts something by itself, wherever it
// hides; not one that waits to be asked, nor Keepboot's own.
TEST_F(TaskPlaces, WhatStartsByItselfIsNewWhereverItHides) {
    const std::wstring someoneElsesOff = PlantTask(
        L"\\Vendor\\SwitchedOff", Utf16File(TaskXml(kUpdater, L"", kLogonTrigger, L"<Enabled>false</Enabled>")));
    Learn();
    const struct {
        const wchar_t* path;
        std::wstring text;
        bool switchedOff;
    } cases[] = {
        {L"\\Microsoft\\Windows\\Maintenance\\Helper", TaskXml(L"C:\\Users\\Public\\h.exe"), true},
        {L"\\Vendor\\AtBoot", TaskXml(kUpdater, L"", L"<BootTrigger/>"), true},
        {L"\\Vendor\\Daily",
         TaskXml(kUpdater, L"", L"<CalendarTrigger><StartBoundary>2026-01-01T10:00:00</StartBoundary>"
                                L"<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>"),
         true},
        {L"\\Keepboot (S-1-5-21-1-1-1-1001)", TaskXml(L"C:\\Users\\Public\\evil.exe"), true},
        {L"\\Keepboot (S-1-5-18)", TaskXml(RunningProgramPath(), L"-start"), false},
        // Keepboot's own name and program, but not as Keepboot makes it.
        {L"\\Keepboot (S-1-5-21-1-1-1-1002)", TaskXml(RunningProgramPath(), L"-start"), true},
        {L"\\Keepboot", TaskXml(RunningProgramPath(), L"-start -other"), true},
        {L"\\Vendor\\OnDemand", TaskXml(kUpdater, L"", L""), false},
        {L"\\Vendor\\TriggerOff", TaskXml(kUpdater, L"", L"<LogonTrigger><Enabled>false</Enabled></LogonTrigger>"),
         false},
    };
    std::vector<std::wstring> files;
    for (const auto& c : cases) files.push_back(PlantTask(c.path, Utf16File(c.text)));
    // Someone else switches on a task that was off: that is new too.
    PlantTask(L"\\Vendor\\SwitchedOff", Utf16File(TaskXml(kUpdater)));
    Check();
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(Narrow(cases[i].path));
        EXPECT_EQ(DefinitionIn(files[i])->enabled, !cases[i].switchedOff);
    }
    EXPECT_FALSE(DefinitionIn(someoneElsesOff)->enabled);
    EXPECT_FALSE(Listed(L"\\Keepboot (S-1-5-18)")) << "Keepboot's own is no entry";
    EXPECT_TRUE(Listed(L"\\Vendor\\OnDemand"));
}

// A file that holds no definition Keepboot can read is said, never passed
// over: junk, a document type (whose entities could swell it to gigabytes
// before any check), a name that would open another file.
TEST_F(TaskPlaces, WhatCannotBeReadIsSaid) {
    const std::wstring laughs =
        L"<?xml version=\"1.0\"?><!DOCTYPE Task [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        L"<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><Task><RegistrationInfo><Description>&c;</Description>"
        L"</RegistrationInfo></Task>";
    const std::wstring junk = PlantTask(L"\\Vendor\\Junk", "not a definition");
    const std::wstring entities = PlantTask(L"\\Vendor\\Entities", Utf16File(laughs));
    const std::wstring dotted = PlantTask(L"\\Vendor\\Dotted.", Utf16File(TaskXml(kUpdater)));
    Learn();
    const std::vector<SkippedValue> unreadable = guard_->UnreadablePlaces();
    for (const std::wstring& file : {junk, entities}) {
        SCOPED_TRACE(Narrow(file));
        EXPECT_TRUE(std::any_of(unreadable.begin(), unreadable.end(),
                                [&](const SkippedValue& v) { return v.key == file && v.code == ERROR_INVALID_DATA; }));
    }
    EXPECT_TRUE(std::any_of(unreadable.begin(), unreadable.end(),
                            [&](const SkippedValue& v) { return v.key == dotted && v.code == ERROR_INVALID_NAME; }));
}

// Enable acts only on what Keepboot switched off, and only while the
// definition is as Keepboot left it.
TEST_F(TaskPlaces, OnlyWhatKeepbootSwitchedOffComesBack) {
    const std::wstring windowsOff = PlantTask(
        L"\\Microsoft\\Windows\\Defrag\\Off", Utf16File(TaskXml(kUpdater, L"", kLogonTrigger, L"<Enabled>false</Enabled>")));
    Learn();
    const std::string bytes = ReadFileBytes(windowsOff);
    EXPECT_EQ(guard_->Move(*Listed(L"\\Microsoft\\Windows\\Defrag\\Off")), MoveResult::CannotMove);
    EXPECT_EQ(ReadFileBytes(windowsOff), bytes);

    const std::wstring file = PlantTask(L"\\Vendor\\Updater", Utf16File(TaskXml(kUpdater)));
    Check();
    ASSERT_FALSE(DefinitionIn(file)->enabled);
    // Rewritten while off: what would come back is not what Keepboot switched off.
    WriteFileBytes(file, Utf16File(TaskXml(L"C:\\Elsewhere\\other.exe", L"", kLogonTrigger,
                                           L"<Enabled>false</Enabled>")));
    Check();
    const std::string rewritten = ReadFileBytes(file);
    EXPECT_EQ(guard_->Move(*Listed(L"\\Vendor\\Updater")), MoveResult::CannotMove);
    EXPECT_EQ(ReadFileBytes(file), rewritten);
}

// The Settings' Enabled element set in the text, and nothing else.
TEST(TaskSwitchText, OnlyTheSettingsEnabledElementChanges) {
    const struct {
        const wchar_t* before;
        std::optional<std::wstring> after;
    } cases[] = {
        {L"<Task><Settings><Enabled>true</Enabled></Settings></Task>",
         L"<Task><Settings><Enabled>false</Enabled></Settings></Task>"},
        {L"<Task><Settings><Hidden>true</Hidden></Settings></Task>",
         L"<Task><Settings><Enabled>false</Enabled><Hidden>true</Hidden></Settings></Task>"},
        {L"<Task><Settings/></Task>", L"<Task><Settings><Enabled>false</Enabled></Settings></Task>"},
        // A trigger's own Enabled is not the task's.
        {L"<Task><Triggers><BootTrigger><Enabled>true</Enabled></BootTrigger></Triggers><Settings>\r\n"
         L"</Settings></Task>",
         L"<Task><Triggers><BootTrigger><Enabled>true</Enabled></BootTrigger></Triggers><Settings>"
         L"<Enabled>false</Enabled>\r\n</Settings></Task>"},
        {L"<Task><SettingsMore/></Task>", std::nullopt},
        {L"<Task><Settings><Enabled>true</Settings></Task>", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.before));
        EXPECT_EQ(WithEnabled(c.before, false), c.after);
    }
}

}  // namespace
}  // namespace kb::test
