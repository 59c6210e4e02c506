#include <windows.h>

#include <gtest/gtest.h>

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
    void TearDown() override { kb::SetErrorReportSink({}); }
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
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], L"Cannot create shell notification icon.");
    EXPECT_EQ(shown[1], L"bad thing.");
    EXPECT_EQ(shown[2], L"Unexpected error.");
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
