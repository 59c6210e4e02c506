#include "FormHarness.h"
#include "app/Settings.h"
#include "platform/Error.h"
#include "platform/Faults.h"

namespace kb::test {
namespace {

const std::wstring kRun = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class Settings : public FormTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        FormTest::TearDown();
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
};

TEST_F(Settings, NoFileGivesTheDefaultsAndExitWritesThem) {
    TDisableForm& f = MakeForm();
    EXPECT_EQ(f.SystemRadioGroup.ItemIndex(), 0);
    EXPECT_EQ(f.IERadioGroup.ItemIndex(), 0);
    EXPECT_FALSE(Checked(f.StartupCheckBox));
    EXPECT_FALSE(Checked(f.IntervalCheckBox));
    EXPECT_FALSE(::IsWindowEnabled(f.IntervalEdit));
    EXPECT_EQ(WindowText(f.IntervalEdit), L"3");
    EXPECT_EQ(f.Timer().Interval(), 3000u);
    form.reset();
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

TEST_F(Settings, PoliciesAreClampedAndNoItemIsKept) {
    Write(L"system", L"7");
    Write(L"ie", L"-5");
    TDisableForm& f = MakeForm();
    EXPECT_EQ(f.SystemRadioGroup.ItemIndex(), 2);
    EXPECT_EQ(f.IERadioGroup.ItemIndex(), -1);
    form.reset();
    EXPECT_EQ(Read(L"system"), L"2");
    EXPECT_EQ(Read(L"ie"), L"-1");
}

TEST_F(Settings, IntervalBoxOpensWithItsCheckBox) {
    Write(L"interval", L"1");
    Write(L"interval_second", L"10");
    TDisableForm& f = MakeForm();
    EXPECT_TRUE(Checked(f.IntervalCheckBox));
    EXPECT_TRUE(::IsWindowEnabled(f.IntervalEdit));
    EXPECT_EQ(WindowText(f.IntervalEdit), L"10");
    EXPECT_EQ(f.Timer().Interval(), 10000u);
    f.SetCheckBox(f.IntervalCheckBox, false);
    EXPECT_FALSE(::IsWindowEnabled(f.IntervalEdit));
    form.reset();
    EXPECT_EQ(Read(L"interval_second"), L"10");
    EXPECT_EQ(Read(L"interval"), L"0");
}

TEST_F(Settings, IntervalZeroKeepsTheTimerAndHexReads) {
    Write(L"interval_second", L"0");
    TDisableForm& f = MakeForm();
    EXPECT_EQ(WindowText(f.IntervalEdit), L"0");
    EXPECT_EQ(f.Timer().Interval(), 3000u);
    form.reset();
    EXPECT_EQ(Read(L"interval_second"), L"0");

    Write(L"interval_second", L"0x1E");
    Write(L"system", L"junk");
    TDisableForm& g = MakeForm();
    EXPECT_EQ(g.Timer().Interval(), 30000u);
    EXPECT_EQ(g.SystemRadioGroup.ItemIndex(), 0);
}

TEST_F(Settings, HugeIntervalsAreBoundedNotWrapped) {
    EXPECT_EQ(IntervalMilliseconds(3), 3000u);
    EXPECT_EQ(IntervalMilliseconds(2147483), 2147483000u);
    EXPECT_EQ(IntervalMilliseconds(2147484), static_cast<UINT>(USER_TIMER_MAXIMUM));
    EXPECT_EQ(IntervalMilliseconds(4294968), static_cast<UINT>(USER_TIMER_MAXIMUM))
        << "4294968000 ms would wrap round to a 1.7-second timer";
    EXPECT_EQ(IntervalMilliseconds(2147483647), static_cast<UINT>(USER_TIMER_MAXIMUM));
}

TEST_F(Settings, OtherSectionsAndKeysAreLeftAlone) {
    Write(L"mine", L"keep", L"other");
    Write(L"extra", L"kept too");
    MakeForm();
    form.reset();
    EXPECT_EQ(Read(L"mine", L"other"), L"keep");
    EXPECT_EQ(Read(L"extra"), L"kept too");
}

TEST_F(Settings, UnwritableFileIsReportedAndTheRestIsNotWritten) {
    int writes = 0;
    MakeForm();
    SetFaultInjector([&](FaultPoint point) {
        return point == FaultPoint::SettingsWrite && ++writes == 3;
    });
    form.reset();
    EXPECT_EQ(reports, (std::vector<std::wstring>{L"Unable to write to " + SettingsFile() + L"."}));
    EXPECT_EQ(Read(L"ie"), L"0");
    EXPECT_EQ(Read(L"startup"), L"(none)");
    EXPECT_EQ(Read(L"interval_second"), L"(none)");
}

TEST_F(Settings, FailedCreationLeavesTheFileAlone) {
    Write(L"system", L"1");
    SetFaultInjector([](FaultPoint point) { return point == FaultPoint::TrayIconAdd; });
    try {
        MakeForm();
        ADD_FAILURE() << "creation must fail without its icon";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), L"Cannot create shell notification icon");
    }
    form.reset();
    EXPECT_EQ(Read(L"system"), L"1");
    EXPECT_EQ(Read(L"ie"), L"(none)") << "defaults never loaded are not saved";
}

TEST_F(Settings, SettingsFileSitsBesideTheProgram) {
    EXPECT_EQ(SettingsFileFor(L"C:\\Tools\\Keepboot.exe"), L"C:\\Tools\\Keepboot.ini");
    EXPECT_EQ(SettingsFileFor(L"C:\\My.Tools\\Keepboot"), L"C:\\My.Tools\\Keepboot.ini");
    EXPECT_EQ(SettingsFileFor(L"C:\\Tools\\keep.boot.exe"), L"C:\\Tools\\keep.boot.ini");
}

TEST_F(Settings, SelfStartEntryIsWrittenAndRemoved) {
    SetStringValue(HKEY_LOCAL_MACHINE, kRun, L"Other", L"other.exe");
    TDisableForm& f = MakeForm();
    f.SetCheckBox(f.StartupCheckBox, true);
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"Keepboot", RRF_RT_REG_SZ, nullptr,
                             data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(data), L"\"" + Folder(L"App") + L"\\Keepboot.exe\" -start");
    EXPECT_GE(f.RunTable.FindIgnoringCase(RunCol::Name, L"Keepboot"), 0)
        << "the refresh makes the entry known to the watch";
    EXPECT_EQ(ListRows(f.ListView).size(), 2u);

    f.SetCheckBox(f.StartupCheckBox, false);
    EXPECT_NE(::RegGetValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"Keepboot", RRF_RT_ANY, nullptr,
                             nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(f.RunTable.FindIgnoringCase(RunCol::Name, L"Keepboot"), -1);

    f.SetCheckBox(f.StartupCheckBox, true);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRun.c_str(), L"Keepboot");
    f.SetCheckBox(f.StartupCheckBox, false);  // already gone: nothing raised
    EXPECT_TRUE(reports.empty());
}

TEST_F(Settings, SelfStartFromTheFileTouchesNoRegistry) {
    Write(L"startup", L"1");
    TDisableForm& f = MakeForm();
    EXPECT_TRUE(Checked(f.StartupCheckBox));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kRun));
}

}  // namespace
}  // namespace kb::test
