#include <gtest/gtest.h>

#include "platform/IntText.h"

using kb::StrToIntDef;

TEST(IntText, DecimalWithSignsAndLeadingBlanks) {
    EXPECT_EQ(StrToIntDef(L"0", 7), 0);
    EXPECT_EQ(StrToIntDef(L"42", 7), 42);
    EXPECT_EQ(StrToIntDef(L"+42", 7), 42);
    EXPECT_EQ(StrToIntDef(L"-42", 7), -42);
    EXPECT_EQ(StrToIntDef(L"   10", 7), 10);
    EXPECT_EQ(StrToIntDef(L"  -0010", 7), -10);
    EXPECT_EQ(StrToIntDef(L"10 ", 7), 7) << "a trailing blank makes the text invalid";
    EXPECT_EQ(StrToIntDef(L"- 1", 7), 7);
    EXPECT_EQ(StrToIntDef(L"1-", 7), 7);
    EXPECT_EQ(StrToIntDef(L"++1", 7), 7);
    EXPECT_EQ(StrToIntDef(L"1.5", 7), 7);
    EXPECT_EQ(StrToIntDef(L"12a", 7), 7);
}

TEST(IntText, EmptyAndBareSignsAndPrefixesGiveTheDefault) {
    EXPECT_EQ(StrToIntDef(L"", 7), 7);
    EXPECT_EQ(StrToIntDef(L"   ", 7), 7);
    EXPECT_EQ(StrToIntDef(L"-", 7), 7);
    EXPECT_EQ(StrToIntDef(L"+", 7), 7);
    EXPECT_EQ(StrToIntDef(L"$", 7), 7);
    EXPECT_EQ(StrToIntDef(L"0x", 7), 7);
    EXPECT_EQ(StrToIntDef(L"x", 7), 7);
    EXPECT_EQ(StrToIntDef(L"-$", 7), 7);
}

TEST(IntText, DecimalMustFitSigned32Bits) {
    EXPECT_EQ(StrToIntDef(L"2147483647", 7), 2147483647);
    EXPECT_EQ(StrToIntDef(L"-2147483648", 7), -2147483647 - 1);
    EXPECT_EQ(StrToIntDef(L"2147483648", 7), 7);
    EXPECT_EQ(StrToIntDef(L"-2147483649", 7), 7);
    EXPECT_EQ(StrToIntDef(L"99999999999999999999999", 7), 7);
    EXPECT_EQ(StrToIntDef(L"000000000000000000012", 7), 12) << "leading zeros add no value";
}

TEST(IntText, HexadecimalPrefixes) {
    EXPECT_EQ(StrToIntDef(L"$1E", 7), 30);
    EXPECT_EQ(StrToIntDef(L"x1e", 7), 30);
    EXPECT_EQ(StrToIntDef(L"X1E", 7), 30);
    EXPECT_EQ(StrToIntDef(L"0x1E", 7), 30);
    EXPECT_EQ(StrToIntDef(L"0X1e", 7), 30);
    EXPECT_EQ(StrToIntDef(L"-0x10", 7), -16);
    EXPECT_EQ(StrToIntDef(L"  +$ff", 7), 255);
    EXPECT_EQ(StrToIntDef(L"$1G", 7), 7);
    EXPECT_EQ(StrToIntDef(L"0x1E ", 7), 7);
    EXPECT_EQ(StrToIntDef(L"$ 1", 7), 7);
}

TEST(IntText, HexadecimalTakesAtMostEightDigitsAsA32BitPattern) {
    EXPECT_EQ(StrToIntDef(L"$7FFFFFFF", 7), 2147483647);
    EXPECT_EQ(StrToIntDef(L"$FFFFFFFF", 7), -1);
    EXPECT_EQ(StrToIntDef(L"$80000000", 7), -2147483647 - 1);
    EXPECT_EQ(StrToIntDef(L"$100000000", 7), 7);
    EXPECT_EQ(StrToIntDef(L"0x000000001", 7), 7);
}
