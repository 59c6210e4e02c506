#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/ErrorReport.h"
#include "platform/Error.h"

namespace {

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        kb::SetErrorReportSink([this](const std::wstring& text) { shown.push_back(text); });
    }
    void TearDown() override {
        kb::ShowPendingReports();
        kb::SetErrorReportSink({});
    }
    std::vector<std::wstring> shown;
};

TEST_F(ErrorReport, AppendsADotOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(kb::ErrorReportText(L"Failed to set data for 'x'"), L"Failed to set data for 'x'");
    EXPECT_EQ(kb::ErrorReportText(L"Not enough timers available"),
              L"Not enough timers available.");
    EXPECT_EQ(kb::ErrorReportText(L"Done."), L"Done.");
    EXPECT_EQ(kb::ErrorReportText(L"Path C:\\x\\"), L"Path C:\\x\\.");  // '\' is above '.'
    EXPECT_EQ(kb::ErrorReportText(L"Value 7"), L"Value 7.");          // digits are above '.'
    EXPECT_EQ(kb::ErrorReportText(L"Really?"), L"Really?.");
    EXPECT_EQ(kb::ErrorReportText(L"Close -"), L"Close -");            // '-' is below '.'
    EXPECT_EQ(kb::ErrorReportText(L"Close!"), L"Close!");
    EXPECT_EQ(kb::ErrorReportText(L""), L"");
}

TEST_F(ErrorReport, ReportsWhateverIsBeingHandled) {
    try {
        throw kb::Error(L"Cannot create shell notification icon");
    } catch (...) {
        kb::ReportCurrentException();
    }
    try {
        throw std::runtime_error("bad thing");
    } catch (...) {
        kb::ReportCurrentException();
    }
    try {
        throw 42;
    } catch (...) {
        kb::ReportCurrentException();
    }
    EXPECT_TRUE(shown.empty()) << "shown from the top-level loop, not inside the handling";
    kb::ShowPendingReports();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], L"Cannot create shell notification icon.");
    EXPECT_EQ(shown[1], L"bad thing.");
    EXPECT_EQ(shown[2], L"Unexpected error.");
}

// A report is never opened inside another's handling: made while one is
// open, it waits for that one to close; one the same as a report waiting or
// open is said once.
TEST_F(ErrorReport, WaitsForTheTopLevelLoopAndIsSaidOnce) {
    int depth = 0, deepest = 0;
    kb::SetErrorReportSink([&](const std::wstring& text) {
        deepest = std::max(deepest, ++depth);
        shown.push_back(text);
        if (text == L"First.") {
            kb::ShowErrorReport(L"First");  // the same as the open one
            kb::ShowErrorReport(L"Second");
            kb::ShowPendingReports();  // a box's own loop reaching the top-level call
        }
        --depth;
    });
    for (int i = 0; i < 3; ++i) kb::ShowErrorReport(L"First");
    EXPECT_TRUE(shown.empty());
    kb::ShowPendingReports();
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"First.", L"Second."}));
    EXPECT_EQ(deepest, 1) << "one box at a time";
}

// The one place errors are worded: what was being done as it stands, and
// Windows' reason on a line of its own where there is a code.
TEST(ErrorWords, WhatWasBeingDoneAndWhyInWindowsWords) {
    const struct {
        std::shared_ptr<kb::Error> error;  // raised as the one or the other
        std::wstring words;
    } cases[] = {
        {std::make_shared<kb::Error>(L"Not enough timers available"), L"Not enough timers available"},
        {std::make_shared<kb::Error>(L"Failed to set data for 'Keepboot'", ERROR_ACCESS_DENIED),
         L"Failed to set data for 'Keepboot'\n\n" + kb::SystemErrorText(ERROR_ACCESS_DENIED) + L"."},
        {std::make_shared<kb::Error>(L"Unable to write to C:\\x.ini", ERROR_WRITE_FAULT),
         L"Unable to write to C:\\x.ini.\n\n" + kb::SystemErrorText(ERROR_WRITE_FAULT) + L"."},
        {std::make_shared<kb::OleError>(static_cast<HRESULT>(0xA1B2C3D4)), L"OLE error a1b2c3d4"},
        {std::make_shared<kb::OleError>(E_NOINTERFACE, L"Interface not supported"), L"Interface not supported"},
    };
    for (const auto& c : cases) EXPECT_EQ(kb::WordsOf(*c.error), c.words);
}

TEST(OleErrors, CarryTheSystemTextOrTheCode) {
    // Whatever the system says for a code, without its line break.
    const std::wstring known = kb::OleErrorMessage(E_ACCESSDENIED);
    ASSERT_FALSE(known.empty());
    EXPECT_NE(known.back(), L'\n');
    EXPECT_NE(known.back(), L'\r');
    EXPECT_EQ(kb::OleErrorMessage(static_cast<HRESULT>(0xA1B2C3D4)), L"OLE error a1b2c3d4");

    try {
        kb::OleCheck(static_cast<HRESULT>(0xA1B2C3D4));
        FAIL() << "a failure code must raise";
    } catch (const kb::OleError& e) {
        EXPECT_EQ(e.Code(), static_cast<HRESULT>(0xA1B2C3D4));
    }
    EXPECT_NO_THROW(kb::OleCheck(S_FALSE));
    EXPECT_NO_THROW(kb::OleCheck(S_OK));
}

}  // namespace
