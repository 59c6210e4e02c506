#include "WindowHarness.h"
#include "app/ControlIds.h"
#include "app/services/MessagePump.h"
#include "app/services/SelfStart.h"
#include "app/services/Settings.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "policy/AdminPolicy.h"

namespace kb::test {
namespace {

const std::wstring kMachineRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class SettingsPage : public WindowTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        WindowTest::TearDown();
    }
    void Write(const wchar_t* key, const wchar_t* value, const wchar_t* section = L"disable") {
        ::WritePrivateProfileStringW(section, key, value, SettingsFile().c_str());
    }
    std::wstring Read(const wchar_t* key, const wchar_t* section = L"disable") {
        wchar_t text[64] = {};
        ::GetPrivateProfileStringW(section, key, L"(none)", text, 64, SettingsFile().c_str());
        return text;
    }
    bool Checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    std::wstring SelfStartValue() {
        return ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Keepboot").text;
    }
    // Handles the thread's messages until done, for ten seconds at most: a
    // timer of its own wakes the wait meanwhile.
    static bool WaitFor(const std::function<bool()>& done) {
        const UINT_PTR tick = ::SetTimer(nullptr, 0, 50, nullptr);
        const DWORD start = ::GetTickCount();
        PumpUntil([&] { return done() || ::GetTickCount() - start > 10000; });
        ::KillTimer(nullptr, tick);
        return done();
    }
    // Ticks or unticks the logon-start box as a click does, and waits until
    // it is done: the Task Scheduler is asked off the window's thread.
    static void SetSelfStart(MainWindow& w, bool on) {
        w.Pages().Settings().SetSelfStart(on);
        EXPECT_TRUE(WaitFor([&] { return !w.ErrandsUnderWay(); }));
    }
};

TEST_F(SettingsPage, NoFileGivesTheDefaultsAndExitWritesThem) {
    MainWindow& w = MakeWindow();
    EXPECT_EQ(w.Pages().Settings().Controls().startupPolicy.ItemIndex(), 0);
    EXPECT_EQ(w.Pages().Settings().Controls().startPagePolicy.ItemIndex(), 0);
    EXPECT_FALSE(Checked(w.Pages().Settings().Controls().selfStartBox));
    EXPECT_FALSE(Checked(w.Pages().Settings().Controls().intervalBox));
    EXPECT_FALSE(::IsWindowEnabled(w.Pages().Settings().Controls().intervalEdit));
    EXPECT_EQ(WindowText(w.Pages().Settings().Controls().intervalEdit), L"3");
    EXPECT_EQ(w.Timer().Interval(), 3000u);
    window.reset();
    const std::string file = ReadFileBytes(SettingsFile());
    const std::size_t section = file.find("[disable]");
    ASSERT_NE(section, std::string::npos) << file;
    std::size_t at = section;
    for (const char* line : {"system=0", "ie=0", "startup=0", "interval=0", "interval_second=3"}) {
        const std::size_t next = file.find(line, at);
        EXPECT_NE(next, std::string::npos) << line << " in this order:\n" << file;
        at = next == std::string::npos ? at : next;
    }
}

TEST_F(SettingsPage, PoliciesAreClampedAndNoItemIsKept) {
    Write(L"system", L"7");
    Write(L"ie", L"-5");
    MainWindow& w = MakeWindow();
    EXPECT_EQ(w.Pages().Settings().Controls().startupPolicy.ItemIndex(), 2);
    EXPECT_EQ(w.Pages().Settings().Controls().startPagePolicy.ItemIndex(), -1);
    window.reset();
    EXPECT_EQ(Read(L"system"), L"2");
    EXPECT_EQ(Read(L"ie"), L"-1");
}

TEST_F(SettingsPage, IntervalBoxOpensWithItsCheckBox) {
    Write(L"interval", L"1");
    Write(L"interval_second", L"10");
    MainWindow& w = MakeWindow();
    EXPECT_TRUE(Checked(w.Pages().Settings().Controls().intervalBox));
    EXPECT_TRUE(::IsWindowEnabled(w.Pages().Settings().Controls().intervalEdit));
    EXPECT_EQ(WindowText(w.Pages().Settings().Controls().intervalEdit), L"10");
    EXPECT_EQ(w.Timer().Interval(), 10000u);
    w.Pages().Settings().SetIntervalUnlocked(false);
    EXPECT_FALSE(::IsWindowEnabled(w.Pages().Settings().Controls().intervalEdit));
    window.reset();
    EXPECT_EQ(Read(L"interval_second"), L"10");
    EXPECT_EQ(Read(L"interval"), L"0");
}

TEST_F(SettingsPage, IntervalZeroKeepsTheTimerAndHexReads) {
    Write(L"interval_second", L"0");
    MainWindow& w = MakeWindow();
    EXPECT_EQ(WindowText(w.Pages().Settings().Controls().intervalEdit), L"0");
    EXPECT_EQ(w.Timer().Interval(), 3000u);
    window.reset();
    EXPECT_EQ(Read(L"interval_second"), L"0");

    Write(L"interval_second", L"0x1E");
    Write(L"system", L"junk");
    MainWindow& again = MakeWindow();
    EXPECT_EQ(again.Timer().Interval(), 30000u);
    EXPECT_EQ(again.Pages().Settings().Controls().startupPolicy.ItemIndex(), 0);
}

TEST_F(SettingsPage, HugeIntervalsAreBoundedNotWrapped) {
    EXPECT_EQ(IntervalMilliseconds(3), 3000u);
    EXPECT_EQ(IntervalMilliseconds(2147483), 2147483000u);
    EXPECT_EQ(IntervalMilliseconds(2147484), static_cast<UINT>(USER_TIMER_MAXIMUM));
    EXPECT_EQ(IntervalMilliseconds(4294968), static_cast<UINT>(USER_TIMER_MAXIMUM))
        << "4294968000 ms would wrap round to a 1.7-second timer";
    EXPECT_EQ(IntervalMilliseconds(2147483647), static_cast<UINT>(USER_TIMER_MAXIMUM));
}

TEST_F(SettingsPage, OtherSectionsAndKeysAreLeftAlone) {
    Write(L"mine", L"keep", L"other");
    Write(L"extra", L"kept too");
    MakeWindow();
    window.reset();
    EXPECT_EQ(Read(L"mine", L"other"), L"keep");
    EXPECT_EQ(Read(L"extra"), L"kept too");
}

TEST_F(SettingsPage, UnwritableFileIsReportedAndTheRestIsNotWritten) {
    int writes = 0;
    MakeWindow();
    SetFaultInjector([&](FaultPoint point) {
        return point == FaultPoint::SettingsWrite && ++writes == 3;
    });
    window.reset();
    EXPECT_EQ(Reports(), (Names{L"Unable to write to " + SettingsFile() + L".\n\n" +
                                SystemErrorText(ERROR_WRITE_FAULT) + L"."}));
    EXPECT_EQ(Read(L"ie"), L"0");
    EXPECT_EQ(Read(L"startup"), L"(none)");
    EXPECT_EQ(Read(L"interval_second"), L"(none)");
}

TEST_F(SettingsPage, FailedCreationLeavesTheFileAlone) {
    Write(L"system", L"1");
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::WindowCreate; });
    try {
        MakeWindow();
        ADD_FAILURE() << "creation must fail without its window";
    } catch (const Error& e) {
        EXPECT_EQ(e.Context(), L"Error creating window");
    }
    window.reset();
    EXPECT_EQ(Read(L"system"), L"1");
    EXPECT_EQ(Read(L"ie"), L"(none)") << "defaults never loaded are not saved";
}

// At logon the shell may not take icons yet: the window is made all the
// same, and the icon is tried again until it is there.
TEST_F(SettingsPage, TrayIconIsTriedAgainUntilTheShellTakesIt) {
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::TrayIconAdd; });
    MainWindow& w = MakeWindow();
    EXPECT_TRUE(w.Ready());
    EXPECT_FALSE(w.TrayIconShown());
    ::SendMessageW(w.Handle(), WM_TIMER, MainWindow::kTrayRetryTimerId, 0);
    EXPECT_FALSE(w.TrayIconShown());
    SetFaultInjector({});
    ::SendMessageW(w.Handle(), WM_TIMER, MainWindow::kTrayRetryTimerId, 0);
    EXPECT_TRUE(w.TrayIconShown());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SettingsPage, SettingsFileSitsBesideTheProgram) {
    EXPECT_EQ(SettingsFileFor(L"C:\\Tools\\Keepboot.exe"), L"C:\\Tools\\Keepboot.ini");
    EXPECT_EQ(SettingsFileFor(L"C:\\My.Tools\\Keepboot"), L"C:\\My.Tools\\Keepboot.ini");
    EXPECT_EQ(SettingsFileFor(L"C:\\Tools\\keep.boot.exe"), L"C:\\Tools\\keep.boot.ini");
}

TEST_F(SettingsPage, SelfStartEntryIsWrittenAndRemoved) {
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Other", L"other.exe");
    MainWindow& w = MakeWindow();
    SetSelfStart(w, true);
    EXPECT_EQ(SelfStartValue(), L"\"" + Folder(L"App") + L"\\Keepboot.exe\" -start");
    EXPECT_EQ(ListRows(w.Pages().List().Controls().list).size(), 2u) << "known to the watch from now on";

    SetSelfStart(w, false);
    EXPECT_FALSE(ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Keepboot").exists);
    EXPECT_EQ(ListRows(w.Pages().List().Controls().list).size(), 1u);

    SetSelfStart(w, true);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMachineRun.c_str(), L"Keepboot");
    SetSelfStart(w, false);  // already gone: nothing raised
    EXPECT_TRUE(Reports().empty());
}

// The administrator's StartAtLogon makes the self-start where no rights
// are needed, and the box shows it greyed; a later policy removes it.
TEST_F(SettingsPage, TheAdministratorsStartAtLogonIsMadeAndGreyed) {
    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Other", L"other.exe");
    DWORD on = 1;
    SetRawValue(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"StartAtLogon", REG_DWORD, &on, sizeof on);
    MainWindow& w = MakeWindow();
    // Made off the window's thread.
    EXPECT_TRUE(WaitFor([&] { return Checked(w.Pages().Settings().Controls().selfStartBox) && !w.ErrandsUnderWay(); }));
    EXPECT_EQ(SelfStartValue(), L"\"" + Folder(L"App") + L"\\Keepboot.exe\" -start");
    EXPECT_FALSE(::IsWindowEnabled(w.Pages().Settings().Controls().selfStartBox));
    DWORD off = 0;
    SetRawValue(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"StartAtLogon", REG_DWORD, &off, sizeof off);
    w.Watch().CheckForChanges();  // the interval's check reads the policy again
    // Taken once it has held a moment.
    EXPECT_TRUE(WaitFor([&] {
        return !ReadRawValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Keepboot").exists && !w.ErrandsUnderWay() &&
               !Checked(w.Pages().Settings().Controls().selfStartBox);
    }));
    EXPECT_FALSE(Checked(w.Pages().Settings().Controls().selfStartBox)) << "shown once its errand is back";
    EXPECT_TRUE(Reports().empty());
}

// Group Policy rewrites its keys whole at each refresh (every value deleted,
// then written again): one that changes nothing records nothing and never
// lifts the lock on Quit, even for a moment. A real change is taken once
// it has held.
TEST_F(SettingsPage, APolicyRefreshThatChangesNothingIsNoChange) {
    const auto allowQuit = [](DWORD number) {
        SetRawValue(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"AllowQuit", REG_DWORD, &number, sizeof number);
    };
    allowQuit(0);
    MainWindow& w = MakeWindow();
    const HWND quit = ::GetDlgItem(w.Handle(), IdQuitButton);
    ASSERT_FALSE(::IsWindowEnabled(quit));
    const std::size_t records = Records().size();
    for (int refresh = 0; refresh < 2; ++refresh) {
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"AllowQuit");
        w.Watch().CheckForChanges();
        EXPECT_FALSE(::IsWindowEnabled(quit)) << "not even for a moment";
        allowQuit(0);
        w.Watch().CheckForChanges();
    }
    EXPECT_FALSE(::IsWindowEnabled(quit));
    EXPECT_EQ(Records().size(), records) << "no change, no record";

    allowQuit(1);
    w.Watch().CheckForChanges();
    EXPECT_FALSE(::IsWindowEnabled(quit)) << "not before it has held";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(quit) != FALSE; }));
    EXPECT_EQ(Records().size(), records + 1);
}

// A self-start the registry refused is no self-start: the box goes back,
// the refusal is reported, and the file does not save it as on.
TEST_F(SettingsPage, SelfStartThatCouldNotBeWrittenGoesBackUnticked) {
    MainWindow& w = MakeWindow();  // the machine's Run key does not exist here
    SetSelfStart(w, true);
    EXPECT_FALSE(Checked(w.Pages().Settings().Controls().selfStartBox));
    EXPECT_TRUE(::IsWindowEnabled(w.Pages().Settings().Controls().selfStartBox)) << "to be clicked again";
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kMachineRun)) << "no key is made";

    SetStringValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Other", L"other.exe");
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::RegistryWrite; });
    ::SendMessageW(w.Pages().Settings().Controls().selfStartBox, BM_CLICK, 0, 0);  // as the user clicks it
    EXPECT_TRUE(WaitFor([&] { return !w.ErrandsUnderWay(); }));
    EXPECT_FALSE(Checked(w.Pages().Settings().Controls().selfStartBox));
    EXPECT_EQ(Reports().back(), L"Failed to set data for 'Keepboot'\n\n" + SystemErrorText(ERROR_WRITE_FAULT) + L".");
    window.reset();
    EXPECT_EQ(Read(L"startup"), L"0");
}

// The box says what Windows will do at logon, not what the file says, and
// showing it writes nothing.
TEST_F(SettingsPage, SelfStartBoxShowsWhatIsRegistered) {
    // Asked of the system when the window first shows, not before.
    const auto shown = [this]() -> MainWindow& {
        MainWindow& w = MakeWindow();
        ::ShowWindow(w.Handle(), SW_SHOWNOACTIVATE);
        return w;
    };
    // Asked off the window's thread: the box shows the answer when it comes.
    for (const bool registered : {false, true}) {
        Write(L"startup", registered ? L"0" : L"1");
        if (registered)
            SetStringValue(HKEY_LOCAL_MACHINE, kMachineRun, L"Keepboot", L"\"C:\\Old\\Keepboot.exe\" -start");
        MainWindow& w = shown();
        ASSERT_TRUE(WaitFor([&] { return !w.ErrandsUnderWay(); }));
        EXPECT_EQ(Checked(w.Pages().Settings().Controls().selfStartBox), registered);
        EXPECT_EQ(RawKeyExists(HKEY_LOCAL_MACHINE, kMachineRun), registered) << "showing it writes nothing";
        window.reset();
    }
    EXPECT_EQ(SelfStartValue(), L"\"C:\\Old\\Keepboot.exe\" -start") << "left as it was";
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// The administrator's policy as Group Policy leaves it in the registry,
// and as a careless script might.
class AdminPolicyReading : public Sandbox {
protected:
    static void Dword(HKEY root, const wchar_t* name, DWORD number) {
        SetRawValue(root, kAdminPolicyKey, name, REG_DWORD, &number, sizeof number);
    }
};

TEST_F(AdminPolicyReading, TheMachineWinsAndAWrongValueIsIgnoredAndSaid) {
    Dword(HKEY_LOCAL_MACHINE, L"StartupPolicy", 0);
    Dword(HKEY_CURRENT_USER, L"StartupPolicy", 2);
    Dword(HKEY_CURRENT_USER, L"CheckInterval", 60);
    // A text where a number belongs: the user's valid one holds.
    SetRawValue(HKEY_LOCAL_MACHINE, kAdminPolicyKey, L"StartPagePolicy", REG_SZ, L"1", 4);
    Dword(HKEY_CURRENT_USER, L"StartPagePolicy", 1);
    Dword(HKEY_LOCAL_MACHINE, L"StartAtLogon", 1);
    Dword(HKEY_LOCAL_MACHINE, L"AllowQuit", 7);  // out of range: may quit, as unset
    const AdminPolicy policy = ReadAdminPolicy();
    EXPECT_EQ(policy.startupPolicy, 0);
    EXPECT_EQ(policy.startPagePolicy, 1);
    EXPECT_EQ(policy.intervalSeconds, 60);
    EXPECT_EQ(policy.selfStart, true);
    EXPECT_FALSE(policy.mayQuit);
    EXPECT_FALSE(policy.QuitLocked());
    ASSERT_EQ(policy.ignored.size(), 2u);
    EXPECT_EQ(policy.ignored[0].name, L"StartPagePolicy");
    EXPECT_EQ(policy.ignored[1].why, AdminPolicy::Ignored::Why::OutOfRange);
    EXPECT_EQ(policy.ignored[1].number, 7u);
    EXPECT_EQ(policy.ignored[1].highest, 1u);

    AdminPolicy locked;
    locked.startupPolicy = 1;
    locked.mayQuit = false;
    EXPECT_EQ(AdminPolicyChanges(policy, locked),
              (std::vector<AdminPolicyChange>{{L"StartupPolicy", 1}, {L"StartPagePolicy", std::nullopt},
                                              {L"CheckInterval", std::nullopt}, {L"StartAtLogon", std::nullopt},
                                              {L"AllowQuit", 0}}));
    EXPECT_TRUE(AdminPolicyChanges(locked, locked).empty());
}

}  // namespace
}  // namespace kb::test
