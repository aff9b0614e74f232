#include "platform/error.h"
#include "platform/numtext.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

using namespace sky;

TEST(ParseInt, AcceptsDecimalHexSignAndLeadingBlanks) {
    EXPECT_EQ(ParseInt("0"), 0);
    EXPECT_EQ(ParseInt("  42"), 42);
    EXPECT_EQ(ParseInt("-7"), -7);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("$FF"), 255);
    EXPECT_EQ(ParseInt("0x10"), 16);
    EXPECT_EQ(ParseInt("0X1f"), 31);
    EXPECT_EQ(ParseInt("-$10"), -16);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseInt("$FFFFFFFF"), -1); // a 32-bit colour pattern
}

TEST(ParseInt, RefusesTrailingTextEmptyAndOverflow) {
    for (const char *bad : {"", " ", "x", "1 ", "12a", "1.0", "$", "0x", "--1", "2147483648", "$100000000", "1e3"})
        EXPECT_FALSE(ParseInt(QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_EQ(ParseIntOr("x", 255), 255);
    EXPECT_EQ(ParseIntOr("  -3", 255), -3);
}

TEST(ParseFloat, OnlyDotAsDecimalPoint) {
    EXPECT_DOUBLE_EQ(*ParseFloat("430000000"), 430000000.0);
    EXPECT_DOUBLE_EQ(*ParseFloat(" 433.92 "), 433.92);
    EXPECT_DOUBLE_EQ(*ParseFloat("-1.5e3"), -1500.0);
    EXPECT_DOUBLE_EQ(*ParseFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(*ParseFloat("5."), 5.0);
    for (const char *bad : {"", "abc", "1,5", "1.2.3", "inf", "nan", "0x10", "1e", "--1", "1 2", "1e999"})
        EXPECT_FALSE(ParseFloat(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(ParseFloat, IgnoresTheProcessLocale) {
    // Qt sets the C library locale from the environment; a comma locale must change nothing.
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_DOUBLE_EQ(*ParseFloat("12.5"), 12.5);
    EXPECT_EQ(FloatToText(12.5), "12.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StrToFloat, RaisesTheConversionMessage) {
    try {
        StrToFloat("43O000000");
        FAIL() << "no error raised";
    } catch (const Error &e) {
        EXPECT_EQ(e.text(), "'43O000000' is not a valid floating point value");
    }
}

TEST(FloatToText, ShortestFifteenDigitsNoExponent) {
    EXPECT_EQ(FloatToText(433.92 * 1000000), "433920000");
    EXPECT_EQ(FloatToText(101 * 1000000.0), "101000000");
    EXPECT_EQ(FloatToText(1749.9 * 1000000), "1749900000");
    EXPECT_EQ(FloatToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToText(434.0), "434");
    EXPECT_EQ(FloatToText(24.1), "24.1");
    EXPECT_EQ(FloatToText(-0.0), "0");
    EXPECT_EQ(FloatToText(-2.5), "-2.5");
    EXPECT_EQ(FloatToText(1e20), "100000000000000000000");
    EXPECT_EQ(FloatToText(0.000123), "0.000123");
    // Round trip of values the editors produce.
    for (double v : {24.0, 100.5, 433.925, 1749.0, 1750.0})
        EXPECT_DOUBLE_EQ(*ParseFloat(FloatToText(v * 1000000)), v * 1000000);
}
