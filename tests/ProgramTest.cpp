// Whole-program tests: Keepboot.exe runs as its own process and is driven
// from here through window messages. They change the real registry of the
// system they run on, so they run only in the throwaway Wine prefix that
// the test runner makes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ProgramDriver.h"
#include "Sandbox.h"
#include "app/DisableForm.h"

namespace kb::test {
namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("KEEPBOOT_THROWAWAY_PREFIX"))
            GTEST_SKIP() << "whole-program tests run only in a throwaway Wine prefix";
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        folder_ = std::wstring(temp) + L"keepboot-program-" +
                  std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(::GetTickCount());
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
        exe_ = folder_ + L"\\Keepboot.exe";
        ASSERT_TRUE(::CopyFileW(BuiltKeepbootExe().c_str(), exe_.c_str(), FALSE))
            << Narrow(BuiltKeepbootExe());
    }
    void TearDown() override {
        processes_.clear();
        if (!folder_.empty()) RemoveTree(folder_);
    }

    KeepbootProcess& Start(const std::wstring& arguments = L"") {
        processes_.push_back(std::make_unique<KeepbootProcess>(exe_, arguments));
        return *processes_.back();
    }

    static bool Watching(HWND window) {
        return ::SendMessageW(window, TDisableForm::kStatusMessage, 0, 0) &
               TDisableForm::StatusWatching;
    }

    // Quits through the "&Quit" button and expects a clean end.
    static void Quit(KeepbootProcess& process, HWND window) {
        ::PostMessageW(::GetDlgItem(window, IdStopButton), BM_CLICK, 0, 0);
        DWORD code = 99;
        ASSERT_TRUE(process.WaitForExit(&code));
        EXPECT_EQ(code, 0u);
    }

    std::wstring folder_, exe_;
    std::vector<std::unique_ptr<KeepbootProcess>> processes_;
};

TEST_F(Program, SecondStartEndsAtOnceAndLeavesTheFirstAlone) {
    KeepbootProcess& first = Start();
    const HWND window = first.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    KeepbootProcess& second = Start(L"-start");
    DWORD code = 99;
    ASSERT_TRUE(second.WaitForExit(&code, 20000));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_FALSE(Watching(window)) << "the second start told the first nothing";
    Quit(first, window);
}

TEST_F(Program, StartArgumentInFirstOrSecondPlaceStartsHiddenAndWatching) {
    for (const std::wstring args : {L"-start", L"other -start"}) {
        SCOPED_TRACE(Narrow(args));
        KeepbootProcess& process = Start(args);
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(::IsWindowVisible(window));
        EXPECT_TRUE(Watching(window));
        Quit(process, window);
    }
}

TEST_F(Program, OtherArgumentsStartShownAndNotWatching) {
    for (const std::wstring args : {L"-START", L"a b -start", L""}) {
        SCOPED_TRACE(Narrow(args));
        KeepbootProcess& process = Start(args);
        const HWND window = process.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
        EXPECT_FALSE(Watching(window));
        Quit(process, window);
    }
}

TEST_F(Program, CloseAndMinimiseHideAndTheIconBringsTheWindowBack) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));

    const auto clickIcon = [&] {
        ::PostMessageW(window, TDisableForm::kTrayMessage, 1, WM_LBUTTONDOWN);
        ::PostMessageW(window, TDisableForm::kTrayMessage, 1, WM_LBUTTONUP);
    };
    const auto shownInFront = [&] {
        return ::IsWindowVisible(window) && !::IsIconic(window) &&
               ::GetForegroundWindow() == window &&
               !(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    };

    ::PostMessageW(::GetDlgItem(window, IdCloseButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }));
    EXPECT_TRUE(process.Running()) << "\"&Close\" only hides";
    clickIcon();
    EXPECT_TRUE(WaitUntil(shownInFront));

    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }));
    clickIcon();
    EXPECT_TRUE(WaitUntil(shownInFront));

    // The close box ends the program.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(&code));
    EXPECT_EQ(code, 0u);
}

TEST_F(Program, StartButtonStartsTheWatchAndHides) {
    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }));
    ::PostMessageW(::GetDlgItem(window, IdStartButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) && Watching(window); }));
    Quit(process, window);
}

std::wstring ReadUserRunValue(const std::wstring& name) {
    wchar_t data[512] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"(none)";
    return data;
}

TEST_F(Program, UncheckAndApplyMovesAValueIntoTheStoreAndBack) {
    const std::wstring name = L"Keepboot Program Test";
    const std::wstring command = L"C:\\Program Files\\Probe\\probe.exe -quiet";
    const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring stored =
        L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\" + name;
    SetStringValue(HKEY_CURRENT_USER, run, name, command);

    KeepbootProcess& process = Start();
    const HWND window = process.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const RemoteListView list(FindDescendant(window, IdListView), process.Process());
    const HWND apply = FindDescendant(window, IdApplyButton);
    const int row = list.Find(name);
    ASSERT_GE(row, 0);
    EXPECT_TRUE(list.Checked(row));
    EXPECT_EQ(list.Text(row, 1), command);

    list.SetChecked(row, false);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(name) == L"(none)"; }));
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, stored));
    ASSERT_TRUE(WaitUntil([&] {
        const int moved = list.Find(name);
        return moved >= 0 && !list.Checked(moved);
    }));

    list.SetChecked(list.Find(name), true);
    ::PostMessageW(apply, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadUserRunValue(name) == command; }));
    EXPECT_TRUE(WaitUntil([&] { return !RawKeyExists(HKEY_LOCAL_MACHINE, stored); }));
    Quit(process, window);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, run.c_str(), name.c_str());
}

}  // namespace
}  // namespace kb::test
