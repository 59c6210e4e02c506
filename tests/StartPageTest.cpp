#include "WindowHarness.h"
#include "app/services/History.h"
#include "platform/Error.h"
#include "platform/Faults.h"

namespace kb::test {
namespace {

class StartPages : public WindowTest {
protected:
    void TearDown() override {
        SetFaultInjector({});
        WindowTest::TearDown();
    }
    // All four values set, then the window made; the startup half is off.
    MainWindow& Ready(int policy) {
        for (std::size_t i = 0; i < kStartPageCount; ++i) Set(i, Original(i));
        MainWindow& w = MakeWindow();
        w.Pages().Settings().ChoosePolicies(2, policy);
        return w;
    }
    static std::wstring Original(std::size_t i) {
        return L"http://home" + std::to_wstring(i) + L".example/";
    }
    static void Set(std::size_t i, const std::wstring& text, DWORD type = REG_SZ) {
        SetStringValue(kStartPageValues[i].root, kStartPageKey, kStartPageValues[i].name, text,
                       type);
    }
    static RawValue Get(std::size_t i) {
        return ReadRawValue(kStartPageValues[i].root, kStartPageKey, kStartPageValues[i].name);
    }
    static void RemoveKey(HKEY root) {
        ::RegDeleteTreeW(root, L"SOFTWARE\\Microsoft\\Internet Explorer");
        ::RegDeleteKeyW(root, L"SOFTWARE\\Microsoft\\Internet Explorer");
    }
    std::wstring Box(std::size_t i) { return WindowText(window->Pages().StartPages().Controls().edits[i]); }
    static std::wstring Question(std::size_t i, const std::wstring& live) {
        return std::wstring(kStartPageValues[i].caption) + L" will change to \"" + live +
               L"\", do you want to disbale it?";
    }
};

TEST_F(StartPages, CreationFillsTheFourBoxes) {
    Ready(0);
    for (std::size_t i = 0; i < kStartPageCount; ++i) EXPECT_EQ(Box(i), Original(i));
}

TEST_F(StartPages, DisablePolicyPutsEveryChangedValueBack) {
    Ready(0);
    for (std::size_t i = 0; i < kStartPageCount; ++i) Set(i, L"http://hijack.example/");
    Set(1, L"HTTP://HOME1.EXAMPLE/");  // a change of letter case only counts too
    Tick();
    for (std::size_t i = 0; i < kStartPageCount; ++i) EXPECT_EQ(Get(i), Text(Original(i))) << i;
    EXPECT_TRUE(questions.empty());
    // Each on record, with what it had been changed to.
    const HistoryRecord first = Records().at(0);
    EXPECT_EQ(first.what + L"/" + first.by + L"/" + first.item + L"/" + first.command,
              std::wstring(L"Start page put back/the watch/") + kStartPageValues[0].caption +
                  L"/http://hijack.example/");
}

TEST_F(StartPages, AskPolicyEnableAcceptsTheNewValue) {
    Ready(1);
    Set(1, L"http://new.example/", REG_EXPAND_SZ);
    answer = [](const std::wstring&) { return Decision::Allow; };
    Tick();
    EXPECT_EQ(questions, (Names{Question(1, L"http://new.example/")}));
    EXPECT_EQ(Box(1), L"http://new.example/");
    EXPECT_EQ(Get(1), Text(L"http://new.example/", REG_EXPAND_SZ)) << "its type is kept";
    Tick();
    EXPECT_EQ(questions.size(), 1u);
}

TEST_F(StartPages, AskPolicyCancelAsksAgainAndDisableReverts) {
    Ready(1);
    Set(2, L"http://other.example/");
    Tick();
    Tick();
    EXPECT_EQ(questions, (Names{Question(2, L"http://other.example/"),
                                Question(2, L"http://other.example/")}));
    EXPECT_EQ(Get(2).text, L"http://other.example/");
    answer = [](const std::wstring&) { return Decision::Disable; };
    Tick();
    EXPECT_EQ(Get(2).text, Original(2));
}

// Refrush pressed while a change is asked about does not make the changed
// value the defended one: the boxes are read again after the answer.
TEST_F(StartPages, RefrushDuringAQuestionKeepsWhatItDefends) {
    MainWindow& w = Ready(1);
    Set(0, L"http://hijack.example/");
    answer = [&](const std::wstring&) {
        w.Pages().StartPages().Reload();
        EXPECT_EQ(Box(0), Original(0)) << "not while asking";
        return Decision::Disable;
    };
    Tick();
    EXPECT_EQ(Get(0), Text(Original(0)));
    EXPECT_EQ(Box(0), Original(0)) << "read again after the answer: the value put back";
    answer = {};
    Tick();
    EXPECT_EQ(questions.size(), 1u) << "nothing changed since";
}

TEST_F(StartPages, AllowPolicyLeavesChangesWhateverTheStartupPolicy) {
    MainWindow& w = Ready(2);
    w.Pages().Settings().ChoosePolicies(0);
    Set(0, L"http://changed.example/");
    Tick();
    EXPECT_EQ(Get(0).text, L"http://changed.example/");
    w.Pages().Settings().ChoosePolicies(2, 0);  // guarded again, now with the startup half off
    Tick();
    EXPECT_EQ(Get(0).text, Original(0));
}

TEST_F(StartPages, ValueThatAppearsLaterGetsEmptyTextNotDeleted) {
    SetStringValue(HKEY_CURRENT_USER, kStartPageKey, L"Other", L"x");  // the key, without values
    MainWindow& w = MakeWindow();
    w.Pages().Settings().ChoosePolicies(SettingsPage::kKeepPolicy, 0);
    EXPECT_EQ(Box(1), L"");
    Set(1, L"http://sneaky.example/");
    Tick();
    EXPECT_EQ(Get(1), Text(L""));
}

// A box whose value could not be read holds no reference: defending its
// empty text would wipe the value out.
TEST_F(StartPages, BoxWhoseValueCouldNotBeReadIsNotDefended) {
    const DWORD number = 7;
    SetRawValue(HKEY_CURRENT_USER, kStartPageKey, L"Default_Page_URL", REG_DWORD, &number,
                sizeof number);
    MainWindow& w = MakeWindow();
    w.Pages().Settings().ChoosePolicies(SettingsPage::kKeepPolicy, 0);
    SetStringValue(HKEY_LOCAL_MACHINE, kStartPageKey, L"Start Page", L"http://later.example/");
    Set(3, L"http://text-now.example/");
    Tick();
    EXPECT_EQ(Get(0).text, L"http://later.example/") << "its key did not open at first";
    EXPECT_EQ(Get(3).text, L"http://text-now.example/") << "it was not text at first";
    EXPECT_TRUE(questions.empty());
    w.Pages().StartPages().Reload();
    EXPECT_EQ(Box(0), L"http://later.example/");
}

TEST_F(StartPages, ApplyWritesAllFourAndReportsAKeyThatDoesNotOpen) {
    MainWindow& w = Ready(2);
    ::SetWindowTextW(w.Pages().StartPages().Controls().edits[0], L"http://one.example/");
    ::SetWindowTextW(w.Pages().StartPages().Controls().edits[3], L"");
    w.Pages().StartPages().Write();
    EXPECT_EQ(Get(0).text, L"http://one.example/");
    EXPECT_EQ(Get(1).text, Original(1));
    EXPECT_EQ(Get(3), Text(L""));
    EXPECT_TRUE(Reports().empty());

    RemoveKey(HKEY_LOCAL_MACHINE);
    ::SetWindowTextW(w.Pages().StartPages().Controls().edits[1], L"http://two.example/");
    try {
        w.Pages().StartPages().Write();
        ADD_FAILURE() << "a value that was not written is no success";
    } catch (const Error& e) {
        EXPECT_EQ(e.Context(), L"Unable to write to HKEY_LOCAL_MACHINE\\" + std::wstring(kStartPageKey));
    }
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kStartPageKey)) << "no key is made";
    EXPECT_EQ(Get(1).text, L"http://two.example/") << "the others are written all the same";
}

TEST_F(StartPages, ReloadEmptiesTheBoxesBeforeReading) {
    MainWindow& w = Ready(2);
    RemoveKey(HKEY_CURRENT_USER);
    Set(0, L"http://fresh.example/");
    w.Pages().StartPages().Reload();
    EXPECT_EQ(Box(0), L"http://fresh.example/");
    EXPECT_EQ(Box(1), L"");
    EXPECT_EQ(Box(3), L"");
}

TEST_F(StartPages, RefusedRevertRepeatsEveryCheckWithoutStacking) {
    Ready(1);
    Tick();  // the first check keeps what it found
    Set(3, L"http://stuck.example/");
    int writes = 0;
    SetFaultInjector([&](FaultPoint point) {
        writes += point == FaultPoint::RegistryWrite;
        return point == FaultPoint::RegistryWrite;
    });
    answer = [&](const std::wstring&) {
        Tick();  // a check comes while asking
        return Decision::Disable;
    };
    for (int tick = 0; tick < 3; ++tick) Tick();
    EXPECT_EQ(questions.size(), 3u) << "one question per check, none stacked";
    EXPECT_EQ(writes, 3);
    EXPECT_TRUE(Reports().empty()) << "a failed revert is dropped silently";
    EXPECT_EQ(Get(3).text, L"http://stuck.example/");
}

// What a box shows is what is defended, typed text included, applied or
// not; and a Refrush asked for during a question answered Cancel does not
// make the change asked about the defended value.
TEST_F(StartPages, TypedTextIsDefendedAtOnceAndCancelDefendsItStill) {
    MainWindow& w = Ready(1);
    ::SetWindowTextW(w.Pages().StartPages().Controls().edits[0], L"http://typed.example/");
    Set(0, L"http://hijack.example/");
    answer = [&](const std::wstring&) {
        w.Pages().StartPages().Reload();
        return Decision::Leave;
    };
    Tick();
    EXPECT_EQ(Box(0), L"http://typed.example/") << "the box still shows what it defends";
    EXPECT_EQ(Get(0).text, L"http://hijack.example/");
    answer = [](const std::wstring&) { return Decision::Disable; };
    Tick();
    EXPECT_EQ(questions.size(), 2u) << "asked again";
    EXPECT_EQ(Get(0).text, L"http://typed.example/") << "Disable writes what the box shows";
}

// A value this process may not write is no put-back: told once while it
// lasts, never on record as put back, and nobody is asked.
TEST_F(StartPages, APutBackThatCannotBeWrittenIsToldOnceAndNotRecordedAsDone) {
    Ready(1);
    SetStandardUserMode(true);
    Set(0, L"http://hijack.example/");
    Tick();
    Tick();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(Get(0).text, L"http://hijack.example/");
    const std::vector<HistoryRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].what, L"Notice");
    EXPECT_NE(records[0].detail.find(L"cannot be put back"), std::wstring::npos);
}

TEST_F(StartPages, UnreadableValueIsNotTakenForAChange) {
    Ready(1);
    Tick();
    RemoveKey(HKEY_CURRENT_USER);
    Tick();
    EXPECT_TRUE(questions.empty());
}

}  // namespace
}  // namespace kb::test
