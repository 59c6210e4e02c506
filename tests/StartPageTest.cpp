#include "FormHarness.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "startup/StartupDlg.h"

namespace kb::test {
namespace {

const std::wstring kMain = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main";
using Names = std::vector<std::wstring>;

struct Place {
    HKEY root;
    const wchar_t* name;
    const wchar_t* label;
};
const Place kPlaces[] = {
    {HKEY_LOCAL_MACHINE, L"Start Page", L"Internet Explorer Start Pages (Local Machine)"},
    {HKEY_CURRENT_USER, L"Start Page", L"Internet Explorer Start Pages (Current User)"},
    {HKEY_LOCAL_MACHINE, L"Default_Page_URL", L"Internet Explorer Default Page URL (Local Machine)"},
    {HKEY_CURRENT_USER, L"Default_Page_URL", L"Internet Explorer Default Page URL (Current User)"},
};

class StartPages : public FormTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        FormTest::TearDown();
    }
    // All four values set, then the window made; the startup half is off.
    TDisableForm& Ready(int policy) {
        for (int i = 0; i < 4; ++i) Set(i, Original(i));
        TDisableForm& f = MakeForm();
        f.SystemRadioGroup.SetItemIndex(2);
        f.IERadioGroup.SetItemIndex(policy);
        return f;
    }
    static std::wstring Original(int i) { return L"http://home" + std::to_wstring(i) + L".example/"; }
    static void Set(int i, const std::wstring& text) {
        SetStringValue(kPlaces[i].root, kMain, kPlaces[i].name, text);
    }
    static std::wstring Get(int i, DWORD* type = nullptr) {
        UniqueKey key;
        wchar_t data[512] = {};
        DWORD size = sizeof data - sizeof(wchar_t), t = REG_NONE;
        if (::RegOpenKeyExW(kPlaces[i].root, kMain.c_str(), 0, KEY_READ, key.put()) != 0 ||
            ::RegQueryValueExW(key.get(), kPlaces[i].name, nullptr, &t,
                               reinterpret_cast<BYTE*>(data), &size) != 0)
            return L"(none)";
        if (type) *type = t;
        return data;
    }
    std::wstring Box(int i) { return WindowText(form->StartPageEdits()[i]); }
    static std::wstring Question(int i, const std::wstring& live) {
        return std::wstring(kPlaces[i].label) + L" will change to \"" + live +
               L"\", do you want to disbale it?";
    }
};

TEST_F(StartPages, CreationFillsTheFourBoxes) {
    Ready(0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Box(i), Original(i));
}

TEST_F(StartPages, DisablePolicyPutsEveryChangedValueBack) {
    TDisableForm& f = Ready(0);
    for (int i = 0; i < 4; ++i) Set(i, L"http://hijack.example/");
    Set(1, L"HTTP://HOME1.EXAMPLE/");  // a change of letter case only counts too
    f.TimerTimer();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Get(i), Original(i)) << i;
    EXPECT_TRUE(questions.empty());
}

TEST_F(StartPages, AskPolicyEnableAcceptsTheNewValue) {
    TDisableForm& f = Ready(1);
    SetStringValue(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://new.example/", REG_EXPAND_SZ);
    answer = [](const std::wstring&) { return TStartupDlg::kEnable; };
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(1, L"http://new.example/")}));
    EXPECT_EQ(Box(1), L"http://new.example/");
    DWORD type = 0;
    EXPECT_EQ(Get(1, &type), L"http://new.example/");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << "written back as a plain string";
    f.TimerTimer();
    EXPECT_EQ(questions.size(), 1u);
}

TEST_F(StartPages, AskPolicyCancelAsksAgainAndDisableReverts) {
    TDisableForm& f = Ready(1);
    Set(2, L"http://other.example/");
    f.TimerTimer();
    f.TimerTimer();
    EXPECT_EQ(questions, (Names{Question(2, L"http://other.example/"),
                                Question(2, L"http://other.example/")}));
    EXPECT_EQ(Get(2), L"http://other.example/");
    answer = [](const std::wstring&) { return TStartupDlg::kDisable; };
    f.TimerTimer();
    EXPECT_EQ(Get(2), Original(2));
}

TEST_F(StartPages, AllowPolicyReadsNothingWhateverTheStartupPolicy) {
    TDisableForm& f = Ready(2);
    f.SystemRadioGroup.SetItemIndex(0);
    Set(0, L"http://changed.example/");
    f.TimerTimer();
    EXPECT_EQ(Get(0), L"http://changed.example/");
    EXPECT_EQ(f.LiveStartPages, (std::array<std::wstring, 4>{})) << "nothing was read";

    f.IERadioGroup.SetItemIndex(0);  // guarded again, now with the startup half off
    f.SystemRadioGroup.SetItemIndex(2);
    f.TimerTimer();
    EXPECT_EQ(Get(0), Original(0));
    EXPECT_EQ(f.LiveStartPages[0], L"http://changed.example/");
}

TEST_F(StartPages, ValueThatAppearsLaterGetsEmptyTextNotDeleted) {
    SetStringValue(HKEY_CURRENT_USER, kMain, L"Other", L"x");  // the key, without the values
    TDisableForm& f = MakeForm();
    f.IERadioGroup.SetItemIndex(0);
    EXPECT_EQ(Box(1), L"");
    Set(1, L"http://sneaky.example/");
    f.TimerTimer();
    EXPECT_EQ(Get(1), L"");
}

TEST_F(StartPages, ApplyWritesAllFourAndCreatesNoKey) {
    TDisableForm& f = Ready(2);
    ::SetWindowTextW(f.IEEdit1, L"http://one.example/");
    ::SetWindowTextW(f.IEEdit4, L"");
    f.ApplyButton1Click(f.ApplyButton1);
    EXPECT_EQ(Get(0), L"http://one.example/");
    EXPECT_EQ(Get(1), Original(1));
    EXPECT_EQ(Get(3), L"");

    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer");
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer");
    f.ApplyButton1Click(f.ApplyButton1);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kMain));
    f.ApplyButton1Click(f.ListView);  // any other sender writes nothing
}

TEST_F(StartPages, RefrushEmptiesTheBoxesBeforeReading) {
    TDisableForm& f = Ready(2);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer");
    Set(0, L"http://fresh.example/");
    f.RefrushButton1Click();
    EXPECT_EQ(Box(0), L"http://fresh.example/");
    EXPECT_EQ(Box(1), L"");
    EXPECT_EQ(Box(3), L"");
}

TEST_F(StartPages, RefusedRevertRepeatsEveryTickWithoutStacking) {
    TDisableForm& f = Ready(1);
    Set(3, L"http://stuck.example/");
    int writes = 0;
    SetFaultInjector([&](FaultPoint point) {
        writes += point == FaultPoint::RegistryWrite;
        return point == FaultPoint::RegistryWrite;
    });
    answer = [&](const std::wstring&) {
        ::SendMessageW(f.Handle(), WM_TIMER, 1, 0);  // a tick arrives while asking
        return TStartupDlg::kDisable;
    };
    for (int tick = 0; tick < 3; ++tick) ::SendMessageW(f.Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(questions.size(), 3u) << "one question per tick, none stacked";
    EXPECT_EQ(writes, 3);
    EXPECT_TRUE(reports.empty()) << "a failed revert is dropped silently";
    EXPECT_EQ(Get(3), L"http://stuck.example/");
}

TEST_F(StartPages, UnreadableValueIsNotTakenForAChange) {
    TDisableForm& f = Ready(1);
    f.TimerTimer();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer");
    f.TimerTimer();
    EXPECT_TRUE(questions.empty());
}

}  // namespace
}  // namespace kb::test
