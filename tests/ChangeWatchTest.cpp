// Change notifications on their own: a change signals its place's handle,
// a place that appears later is found through its parent, and re-arming
// keeps watching.
#include "CoreHarness.h"
#include "platform/Faults.h"
#include "startup/ChangeWatch.h"
#include "startup/Inventory.h"

namespace kb::test {
namespace {

class Changes : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
    // The place whose handle is signalled within the time; -1 when none.
    static int Signalled(const ChangeWatch& watch, DWORD timeoutMs = 5000) {
        const std::vector<HANDLE>& handles = watch.Handles();
        const DWORD woke = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                    handles.data(), FALSE, timeoutMs);
        if (woke >= WAIT_OBJECT_0 + handles.size()) return -1;
        return static_cast<int>(watch.PlaceOf(woke - WAIT_OBJECT_0));
    }
};

TEST_F(Changes, EachPlaceSignalsItsOwnChange) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Old", L"old.exe");
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, kRun, 0},
                       {ChangeWatch::Place::Kind::Folder, nullptr, UserStartup(), 0}});
    ASSERT_EQ(watch.Handles().size(), 2u);
    EXPECT_EQ(Signalled(watch, 0), -1) << "nothing changed yet";

    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    ASSERT_EQ(Signalled(watch), 0);
    watch.Rearm(0);
    EXPECT_EQ(Signalled(watch, 0), -1);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"New");
    ASSERT_EQ(Signalled(watch), 0) << "armed again, it signals again";
    watch.Rearm(0);

    MakeShortcut(UserStartup(), L"Link");
    ASSERT_EQ(Signalled(watch), 1);
    watch.Rearm(1);
}

TEST_F(Changes, PlaceMadeLaterIsFoundThroughItsParent) {
    const std::wstring runOnce = kCv + L"RunOnce";
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, runOnce, 0},
                       {ChangeWatch::Place::Kind::Folder, nullptr, TempRoot() + L"\\Late\\Startup", 0}});
    ASSERT_EQ(watch.Handles().size(), 2u) << "both watched through a parent";

    SetStringValue(HKEY_CURRENT_USER, runOnce, L"First", L"first.exe");
    ASSERT_EQ(Signalled(watch), 0);
    watch.Rearm(0);  // now on the key itself
    SetStringValue(HKEY_CURRENT_USER, runOnce, L"Second", L"second.exe");
    EXPECT_EQ(Signalled(watch), 0) << "a value in the new key signals";

    Folder(L"Late");
    ASSERT_EQ(Signalled(watch), 1);
    watch.Rearm(1);
    Folder(L"Late\\Startup");
    ASSERT_EQ(Signalled(watch), 1);
    watch.Rearm(1);
    MakeShortcut(TempRoot() + L"\\Late\\Startup", L"Link");
    EXPECT_EQ(Signalled(watch), 1) << "a shortcut in the new folder signals";
}

// A shortcut whose file is as it was is not opened through the shell
// again: with every shell read failing, the second reading still has it.
TEST_F(Changes, UnchangedShortcutIsNotReadAgain) {
    MakeShortcut(UserStartup(), L"Link");
    ShortcutCache cache;
    PlaceSelection folderOnly = PlaceSelection::None();
    folderOnly.userStartup = true;
    ASSERT_TRUE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).shortcuts.at(0).link);

    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::ShortcutRead; });
    EXPECT_TRUE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).shortcuts.at(0).link);
    WriteShellLink(UserStartup() + L"\\Link.lnk", RichLink(L"changed"));
    EXPECT_FALSE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).shortcuts.at(0).link)
        << "a rewritten shortcut is read again";
}

}  // namespace
}  // namespace kb::test
