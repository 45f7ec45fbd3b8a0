#include "platform/foundation/FloatText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;

TEST(FloatText, FixedNotationAlwaysHasADecimalPoint) {
    EXPECT_EQ(floatText(2.0), "2.0");
    EXPECT_EQ(floatText(0.5), "0.5");
    EXPECT_EQ(floatText(-3.25), "-3.25");
    EXPECT_EQ(floatText(48000.0), "48000.0");
    EXPECT_EQ(floatText(44100.0), "44100.0");
    EXPECT_EQ(floatText(1234567.0), "1234567.0");
    EXPECT_EQ(floatText(0.1), "0.1");
    EXPECT_EQ(floatText(0.0001), "0.0001");
    EXPECT_EQ(floatText(0.00012), "0.00012");
    EXPECT_EQ(floatText(123.456), "123.456");
    EXPECT_EQ(floatText(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(floatText(9007199254740992.0), "9007199254740992.0");
}

TEST(FloatText, ExponentNotationForTinyAndHugeMagnitudes) {
    EXPECT_EQ(floatText(1e-05), "1e-05");
    EXPECT_EQ(floatText(-1e-05), "-1e-05");
    EXPECT_EQ(floatText(1.5e-07), "1.5e-07");
    EXPECT_EQ(floatText(1e16), "1e+16");
    EXPECT_EQ(floatText(9007199254740994.0), "9.007199254740994e+15");
    EXPECT_EQ(floatText(1e-300), "1e-300");
    EXPECT_EQ(floatText(std::numeric_limits<double>::denorm_min()), "5e-324");
    EXPECT_EQ(floatText(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
}

TEST(FloatText, SpecialValues) {
    EXPECT_EQ(floatText(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(floatText(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(floatText(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(floatText(0.0), "0.0");
    EXPECT_EQ(floatText(-0.0), "-0.0");
    EXPECT_EQ(floatText(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::infinity()), "-inf");
    EXPECT_EQ(floatText(-0.0f), "-0.0");
}

TEST(FloatText, FloatUsesItsOwnShortestDigits) {
    EXPECT_EQ(floatText(0.1f), "0.1");
    EXPECT_EQ(floatText(2.0f), "2.0");
    EXPECT_EQ(floatText(44100.0f), "44100.0");
    EXPECT_EQ(floatText(0.3f), "0.3");
    EXPECT_EQ(floatText(1e-05f), "1e-05");
    EXPECT_EQ(floatText(16777216.0f), "16777216.0");
    EXPECT_EQ(floatText(1e8f), "1e+08");
    // As a double the same value shows its binary expansion.
    EXPECT_EQ(floatText(static_cast<double>(0.1f)), "0.10000000149011612");
}

TEST(FloatText, TextReadsBackToTheSameValue) {
    for (double value : {0.1, 1.0 / 3.0, 2.0 / 3.0 * 1e-7, 6.02214076e23, 123456.789, -0.000123}) {
        auto back = parseFloat(floatText(value));
        ASSERT_TRUE(back.has_value()) << floatText(value);
        EXPECT_EQ(*back, value) << floatText(value);
    }
}

TEST(FloatText, ParseAcceptsSpacesAndPlusButNoGarbage) {
    EXPECT_EQ(parseFloat("2"), 2.0);
    EXPECT_EQ(parseFloat("-0.5"), -0.5);
    EXPECT_EQ(parseFloat("  1.25\t\n"), 1.25);
    EXPECT_EQ(parseFloat("+3"), 3.0);
    EXPECT_EQ(parseFloat(" +1e-05 "), 1e-05);
    EXPECT_EQ(parseFloat(".5"), 0.5);
    EXPECT_EQ(parseFloat("inf"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(parseFloat("nan").value()));

    EXPECT_FALSE(parseFloat(""));
    EXPECT_FALSE(parseFloat("   "));
    EXPECT_FALSE(parseFloat("+"));
    EXPECT_FALSE(parseFloat("+-1"));
    EXPECT_FALSE(parseFloat("1.5x"));
    EXPECT_FALSE(parseFloat("1.5 2"));
    EXPECT_FALSE(parseFloat("1,5"));
    EXPECT_FALSE(parseFloat("0x10"));
    EXPECT_FALSE(parseFloat("abc"));
}

TEST(FloatText, ParseOutOfRangeGivesInfinityOrZero) {
    EXPECT_EQ(parseFloat("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseFloat("-1e400"), -std::numeric_limits<double>::infinity());
    auto tiny = parseFloat("1e-400");
    ASSERT_TRUE(tiny);
    EXPECT_EQ(*tiny, 0.0);
}
