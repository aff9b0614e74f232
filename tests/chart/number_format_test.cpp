// Picture formats for number text.
#include "chart/number_format.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(chartNumberFormat, GroupsDecimalsAndRounding)
{
    EXPECT_EQ(FormatFloat("#,##0.###", 1234567.891, ","), "1,234,567.891");
    EXPECT_EQ(FormatFloat("#,##0.###", 1234567.891, "\u00A0"), "1\u00A0234\u00A0567.891");
    EXPECT_EQ(FormatFloat("#,##0.###", 999.9996, ","), "1,000");
    EXPECT_EQ(FormatFloat("#,##0.###", 2.0005, ","), "2.001");   // half away from zero
    EXPECT_EQ(FormatFloat("0.00", 0.125, ","), "0.13");
    EXPECT_EQ(FormatFloat("0.00", -0.125, ","), "-0.13");
    EXPECT_EQ(FormatFloat("#,##0.###", 1e-7, ","), "0");
    EXPECT_EQ(FormatFloat("#,##0.###", -1e-7, ","), "0");
    EXPECT_EQ(FormatFloat("#,##0.###", 0.05, ","), "0.05");
    EXPECT_EQ(FormatFloat("0.00", 3, ","), "3.00");
    EXPECT_EQ(FormatFloat("000", 7, ","), "007");
    EXPECT_EQ(FormatFloat("#.##", 0.5, ","), ".5");
    EXPECT_EQ(FormatFloat("##0.## %", 12.345, ","), "12.35 %");
    EXPECT_EQ(FormatFloat("#,##0", 100, ","), "100");
    EXPECT_EQ(FormatFloat("#,##0", 1000, ","), "1,000");
}

TEST(chartNumberFormat, SectionsLiteralsAndExponents)
{
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", -2.5, ","), "(2.5)");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 0, ","), "zero");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 2.25, ","), "2.3");
    EXPECT_EQ(FormatFloat("\"f=\"0.0' Hz'", 4, ","), "f=4.0 Hz");
    EXPECT_EQ(FormatFloat("0.00E+00", 12345, ","), "1.23E+04");
    EXPECT_EQ(FormatFloat("0.0E-0", 0.00012, ","), "1.2E-4");
    EXPECT_EQ(FormatFloat("0.0E+0", -3, ","), "-3.0E+0");
}

TEST(chartNumberFormat, OutOfRangeValuesUseTheGeneralForm)
{
    EXPECT_EQ(FormatFloat("#,##0.###", 1e20, ","), "1E20");
    EXPECT_EQ(FormatFloat("#,##0.###", -1.5e20, ","), "-1.5E20");
    EXPECT_EQ(FormatFloat("#,##0.###", std::nan(""), ","), "NAN");
    EXPECT_EQ(FormatFloat("#,##0.###", -INFINITY, ","), "-INF");
    EXPECT_EQ(FormatFloat("", 0.1, ","), "0.1");
    EXPECT_EQ(FormatGeneral(123456.5), "123456.5");
    EXPECT_EQ(FormatGeneral(1e-7), "1E-7");
    EXPECT_EQ(FormatGeneral(-0.00025), "-0.00025");
}
