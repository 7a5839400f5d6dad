#include <gtest/gtest.h>

#include "widgets/IntegerEditRules.h"

using ui::TUiIntegerEditRules;

TEST(IntegerEditRules, OnlyDigitsAndLeadingSignsCanBeTyped) {
    for (char16_t ch : u"0123456789") {
        if (!ch) break;
        EXPECT_TRUE(TUiIntegerEditRules::AcceptChar(ch, u"12", 1, false));
    }
    for (char16_t ch : u"a .,e\u00A0\u20AC") {
        if (!ch) break;
        EXPECT_FALSE(TUiIntegerEditRules::AcceptChar(ch, u"12", 2, false)) << int(ch);
    }
    EXPECT_TRUE(TUiIntegerEditRules::AcceptChar(u'\b', u"12", 2, false))
        << "Backspace always passes";
}

TEST(IntegerEditRules, MinusOnlyFirstAndOnlyOnceUnlessSelectionReplacesIt) {
    EXPECT_TRUE(TUiIntegerEditRules::AcceptChar(u'-', u"80", 0, false));
    EXPECT_FALSE(TUiIntegerEditRules::AcceptChar(u'-', u"80", 1, false)) << "not inside the number";
    EXPECT_FALSE(TUiIntegerEditRules::AcceptChar(u'-', u"-80", 0, false)) << "not twice";
    EXPECT_TRUE(TUiIntegerEditRules::AcceptChar(u'-', u"-80", 0, true)) << "whole text selected";
    EXPECT_TRUE(TUiIntegerEditRules::AcceptChar(u'+', u"80", 0, false));
    EXPECT_FALSE(TUiIntegerEditRules::AcceptChar(u'+', u"+80", 0, false));
}

TEST(IntegerEditRules, PastedTextKeepsOnlyWhatCouldBeTyped) {
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"80a80"), u"8080");
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"-8-0"), u"-80");
    EXPECT_EQ(TUiIntegerEditRules::Filter(u" 1 2 "), u"12");
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"8.080,5"), u"80805");
}

TEST(IntegerEditRules, ValueIsZeroForEmptySignOnlyOrOutOfRangeText) {
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u""), 0);
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u"-"), 0);
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u"70000"), 70000) << "no upper limit";
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u"9223372036854775808"), 0);
    EXPECT_EQ(TUiIntegerEditRules::AsInteger(u"+-80"), 0);
}

TEST(IntegerEditRules, FormattingShowsTheDecimalValue) {
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u""), u"0");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"+8080"), u"8080");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"0080"), u"80");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"-007"), u"-7");
}

TEST(IntegerEditRules, PastedControlCharactersAndOtherCheckCharsSets) {
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"80\t80\r\n"), u"8080") << "not kept in the text";
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"+-+80"), u"+80") << "one sign, first only";
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"12-3", u"0123456789"), u"123");
    EXPECT_EQ(TUiIntegerEditRules::Filter(u"1a0f", u"0123456789abcdef"), u"1a0f");
    EXPECT_FALSE(TUiIntegerEditRules::AcceptChar(u'+', u"-80", 0, false))
        << "one sign of either kind is enough only for the same kind";
}

TEST(IntegerEditRules, FormattingHonoursEmptyZeroAndLimits) {
    ui::TUiIntegerFormat f;
    f.AllowEmpty = true;
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"", f), u"");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"-", f), u"0") << "a sign alone is not empty";
    f = {};
    f.ZeroEmpty = true;
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"000", f), u"");
    f = {};
    f.HasMinValue = f.HasMaxValue = true;
    f.MinValue = 1;
    f.MaxValue = 65535;
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"70000", f), u"65535");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"0", f), u"1");
    EXPECT_EQ(TUiIntegerEditRules::Formatted(u"70000"), u"70000") << "no limits by default";
}
