// Change notifications on their own: a change signals its place's handle,
// a place that appears later is found through its parent, and re-arming
// keeps watching.
#include <set>

#include "CoreHarness.h"
#include "platform/Faults.h"
#include "platform/ChangeWatch.h"
#include "reading/Inventory.h"

namespace kb::test {
namespace {

class Changes : public CoreTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        CoreTest::TearDown();
    }
    // The first place that signalled within the time; -1 when none. Any
    // other that signalled with it is armed again.
    static int Signalled(ChangeWatch& watch, DWORD timeoutMs = 5000) {
        const std::vector<HANDLE>& handles = watch.Handles();
        if (handles.size() != 1 ||
            ::WaitForSingleObject(handles[0], timeoutMs) != WAIT_OBJECT_0)
            return -1;
        const std::vector<std::size_t> places = watch.TakeSignalled();
        if (places.empty()) return -1;
        for (std::size_t i = 1; i < places.size(); ++i) watch.Rearm(places[i]);
        return static_cast<int>(places.front());
    }
    // Whether the place signals within the time. Other places may signal
    // meanwhile (the shell writes keys of its own beside the Run keys,
    // which their parents' watches see): they are armed again and waited past.
    static bool Signals(ChangeWatch& watch, int place, DWORD timeoutMs = 5000) {
        const DWORD start = ::GetTickCount();
        for (;;) {
            const DWORD spent = ::GetTickCount() - start;
            if (::WaitForSingleObject(watch.Handles().at(0),
                                      spent >= timeoutMs ? 0 : timeoutMs - spent) != WAIT_OBJECT_0)
                return false;
            bool found = false;
            for (const std::size_t woke : watch.TakeSignalled()) {
                if (static_cast<int>(woke) == place)
                    found = true;
                else
                    watch.Rearm(woke);
            }
            if (found) return true;
        }
    }
};

TEST_F(Changes, EachPlaceSignalsItsOwnChange) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Old", L"old.exe");
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, kRun, 0},
                       {ChangeWatch::Place::Kind::Folder, nullptr, UserStartup(), 0}});
    ASSERT_EQ(watch.Armed(), 4u) << "each place, and its name in its parent";
    EXPECT_EQ(Signalled(watch, 0), -1) << "nothing changed yet";

    SetStringValue(HKEY_CURRENT_USER, kRun, L"New", L"new.exe");
    ASSERT_EQ(Signalled(watch), 0);
    watch.Rearm(0);
    EXPECT_EQ(Signalled(watch, 0), -1);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRun.c_str(), L"New");
    ASSERT_EQ(Signalled(watch), 0) << "armed again, it signals again";
    watch.Rearm(0);

    MakeShortcut(UserStartup(), L"Link");
    ASSERT_TRUE(Signals(watch, 1));
    watch.Rearm(1);

    // The key deleted and made again: its parent's watch sees it go.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRun.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kRun.c_str());
    ASSERT_TRUE(Signals(watch, 0));
    watch.Rearm(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Again", L"again.exe");
    ASSERT_TRUE(Signals(watch, 0));
    watch.Rearm(0);
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Later", L"later.exe");
    EXPECT_TRUE(Signals(watch, 0)) << "watched on the new key";
}

// More places than one thread can wait on (63 beside its messages): the
// owner still waits on one handle, and the place that changed is named.
// Keys of one parent share its watch for their names: a key made beside
// them signals each of them, and armed again it signals again.
TEST_F(Changes, ManyMorePlacesThanOneWaitCanHoldAreAllWatched) {
    std::vector<ChangeWatch::Place> places;
    for (int i = 0; i < 100; ++i) {
        const std::wstring key = L"Software\\Many\\Key " + std::to_wstring(i);
        SetStringValue(HKEY_CURRENT_USER, key, L"Old", L"old.exe");
        places.push_back({ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, key, 0});
    }
    ChangeWatch watch(std::move(places));
    EXPECT_EQ(watch.Handles().size(), 1u);
    EXPECT_EQ(watch.Armed(), 101u) << "each key, and one watch of their parent";
    for (const int changed : {90, 3, 99}) {
        SetStringValue(HKEY_CURRENT_USER, L"Software\\Many\\Key " + std::to_wstring(changed), L"New",
                       L"new.exe");
        EXPECT_EQ(Signalled(watch), changed);
        watch.Rearm(static_cast<std::size_t>(changed));
    }
    for (const int made : {100, 101}) {
        SetStringValue(HKEY_CURRENT_USER, L"Software\\Many\\Key " + std::to_wstring(made), L"Old", L"old.exe");
        ASSERT_EQ(::WaitForSingleObject(watch.Handles()[0], 5000), WAIT_OBJECT_0) << made;
        const std::vector<std::size_t> signalled = watch.TakeSignalled();
        EXPECT_EQ(signalled.size(), 100u) << "a name changed beside each of them";
        for (const std::size_t place : signalled) watch.Rearm(place);
        EXPECT_EQ(watch.Armed(), 101u);
    }
}

// Keys whose parent does not exist yet: once the first of them is made and
// armed again, their shared parent is watched too, and a key made beside
// them signals both.
TEST_F(Changes, ASharedParentMadeLaterIsWatchedOnceThere) {
    const std::wstring parent = L"Software\\Later";
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, parent + L"\\A", 0},
                       {ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, parent + L"\\B", 0}});
    const std::size_t before = watch.Armed();
    SetStringValue(HKEY_CURRENT_USER, parent + L"\\A", L"First", L"first.exe");
    ASSERT_TRUE(Signals(watch, 0));
    watch.Rearm(0);
    EXPECT_EQ(watch.Armed(), before + 1) << "the parent, there now, is watched for its names";
    // B's own watch, on an ancestor, may still be telling of Software\Later
    // being made: gathered until both are seen.
    SetStringValue(HKEY_CURRENT_USER, parent + L"\\C", L"Other", L"other.exe");
    std::set<std::size_t> seen;
    for (const DWORD start = ::GetTickCount(); seen.size() < 2 && ::GetTickCount() - start < 5000;)
        if (::WaitForSingleObject(watch.Handles()[0], 100) == WAIT_OBJECT_0)
            for (const std::size_t place : watch.TakeSignalled()) seen.insert(place);
    EXPECT_EQ(seen, (std::set<std::size_t>{0, 1}));
}

// A look again asked for later comes once, after its time; a later ask
// for the same place replaces one still waiting.
TEST_F(Changes, SignalLaterComesOnceAndALaterAskReplacesOneWaiting) {
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Old", L"old.exe");
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, kRun, 0}});
    watch.SignalLater(0, 50);
    EXPECT_TRUE(Signals(watch, 0)) << "asked for in 50 ms";
    EXPECT_EQ(Signalled(watch, 300), -1) << "once only";

    watch.SignalLater(0, 60000);
    watch.SignalLater(0, 50);
    EXPECT_TRUE(Signals(watch, 0, 5000)) << "the second ask replaced the first's minute";
}

TEST_F(Changes, PlaceMadeLaterIsFoundThroughItsParent) {
    const std::wstring runOnce = kCv + L"RunOnce";
    ChangeWatch watch({{ChangeWatch::Place::Kind::Key, HKEY_CURRENT_USER, runOnce, 0},
                       {ChangeWatch::Place::Kind::Folder, nullptr, TempRoot() + L"\\Late\\Startup", 0}});
    ASSERT_EQ(watch.Armed(), 2u) << "both watched through a parent";

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
    EXPECT_TRUE(Signals(watch, 1)) << "a shortcut in the new folder signals";
}

// A shortcut whose file is as it was is not opened through the shell
// again: with every shell read failing, the second reading still has it.
TEST_F(Changes, UnchangedShortcutIsNotReadAgain) {
    MakeShortcut(UserStartup(), L"Link");
    ShortcutCache cache;
    PlaceSelection folderOnly = PlaceSelection::None();
    folderOnly.Add(*IdOf(StartupFolderPlace{.common = false}));
    ASSERT_TRUE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).Of<ShortcutEntry>().at(0).link);

    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::ShortcutRead; });
    EXPECT_TRUE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).Of<ShortcutEntry>().at(0).link);
    WriteShellLink(UserStartup() + L"\\Link.lnk", RichLink(L"changed"));
    EXPECT_FALSE(ReadLiveEntries(Folders(), skipped, folderOnly, &cache).Of<ShortcutEntry>().at(0).link)
        << "a rewritten shortcut is read again";
}

// Time and size can be set back by anyone: a shortcut swapped for another
// of the same size and time is read again, and one that could not be read
// is never taken from the cache.
TEST_F(Changes, SwappedShortcutOfTheSameSizeAndTimeIsReadAgain) {
    const std::wstring link = UserStartup() + L"\\Link.lnk";
    WriteShellLink(link, LinkTo(Target(L"first.exe")));
    const std::string real = ReadFileBytes(link);
    const auto stamp = [&](const std::string& bytes) {
        WriteFileBytes(link, bytes);
        const UniqueFile file(::CreateFileW(link.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        FILETIME fixed{0x12345678, 0x01D00000};
        ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &fixed));
    };
    ShortcutCache cache;
    PlaceSelection folderOnly = PlaceSelection::None();
    folderOnly.Add(*IdOf(StartupFolderPlace{.common = false}));
    const auto linkNow = [&] { return ReadLiveEntries(Folders(), skipped, folderOnly, &cache).Of<ShortcutEntry>().at(0).link; };

    stamp(std::string(real.size(), 'x'));
    EXPECT_FALSE(linkNow()) << "garbage reads as no shortcut";
    stamp(real);
    ASSERT_TRUE(linkNow()) << "the same size and time, now a shortcut: read again";
    std::string other = real;
    other[other.size() / 2] ^= 1;
    stamp(other);
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::ShortcutRead; });
    EXPECT_FALSE(linkNow()) << "other bytes of the same size and time are read again";
}

}  // namespace
}  // namespace kb::test
