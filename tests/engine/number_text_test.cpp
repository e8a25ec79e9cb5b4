// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/number_text.h"
#include "platform/failure.h"
#include "support/expect_failure.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstring>
#include <random>

namespace kestrix::engine {
namespace {

TEST(NumericText, AcceptsThePlainFormsWithBlanksSignPointAndExponent)
{
    for (const char* strText : {"0", "1024", " 1024 ", "\t-5\t", "+3", "2.5", ".5", "5.", "-0.0004", "1e3", "1E3",
                                "1e+3", "1.5e-3", "  -1.25E+02  ", "00012", "1e-400"}) {
        SCOPED_TRACE(strText);
        EXPECT_TRUE(isNumericText(strText));
    }
}

TEST(NumericText, RefusesEverythingElse)
{
    for (const char* strText :
         {"",      " ",   "\t", "abc", "-",   "+",        ".",    "1.2.3", "1e",  "1e+",   "e3",     "1,5",  "1,000",
          "12 34", "- 5", "5-", "nan", "inf", "infinity", "0x10", "&H10",  "1d3", "1e400", "-1e309", "１２", "5V"}) {
        SCOPED_TRACE(strText);
        EXPECT_FALSE(isNumericText(strText));
    }
}

TEST(NumericText, ReadsValuesExactly)
{
    EXPECT_EQ(*numericValue(" -32768 "), -32768.0);
    EXPECT_EQ(*numericValue("0.1"), 0.1);
    EXPECT_EQ(*numericValue("1e3"), 1000.0);
    EXPECT_EQ(*numericValue("123456789012345678"), 123456789012345678.0);
    EXPECT_EQ(*numericValue("1e-400"), 0.0);
    EXPECT_EQ(*numericValue("2.2250738585072014e-308"), 2.2250738585072014e-308);
}

TEST(FixedDecimalText, RoundsTheFifteenDigitFormHalfAwayFromZero)
{
    struct Case
    {
        double dblValue;
        int intDecimals;
        const char* strExpected;
    };
    for (const Case& c : {Case{23.4375, 3, "23.438"},
                          Case{390.625, 2, "390.63"},
                          Case{2.5, 0, "3"},
                          Case{-2.5, 0, "-3"},
                          Case{1.0005, 3, "1.001"},
                          Case{0.0625, 3, "0.063"},
                          Case{400, 2, "400.00"},
                          Case{1, 3, "1.000"},
                          Case{0.4, 0, "0"},
                          Case{-0.4, 0, "0"},
                          Case{0.0004, 3, "0.000"},
                          Case{0.0005, 3, "0.001"},
                          Case{9.9995, 3, "10.000"},
                          Case{0.015625, 3, "0.016"},
                          Case{1.1718750, 2, "1.17"},
                          Case{0, 2, "0.00"},
                          Case{1e20, 0, "100000000000000000000"},
                          Case{2147483647.5, 0, "2147483648"},
                          Case{0.001, 3, "0.001"},
                          Case{0.5, 0, "1"},
                          Case{0.049, 1, "0.0"}}) {
        SCOPED_TRACE(c.strExpected);
        EXPECT_EQ(fixedDecimalText(c.dblValue, c.intDecimals), c.strExpected);
    }
}

TEST(GeneralNumberText, WritesTheShortestFormOfFifteenDigits)
{
    struct Case
    {
        double dblValue;
        const char* strExpected;
    };
    for (const Case& c : {Case{0, "0"},
                          Case{-0.0, "0"},
                          Case{400, "400"},
                          Case{390.63, "390.63"},
                          Case{0.9765625, "0.9765625"},
                          Case{-12, "-12"},
                          Case{0.1 + 0.2, "0.3"},
                          Case{1.0 / 3, "0.333333333333333"},
                          Case{2.0 / 3, "0.666666666666667"},
                          Case{0.001, "0.001"},
                          Case{0.0001, "0.0001"},
                          Case{0.00001, "1E-05"},
                          Case{4.5e-14, "4.5E-14"},
                          Case{-4.5e-14, "-4.5E-14"},
                          Case{1e15, "1E+15"},
                          Case{999999999999999, "999999999999999"},
                          Case{9999999999999999.0, "1E+16"},
                          Case{123456789012345678.0, "1.23456789012346E+17"},
                          Case{1e100, "1E+100"},
                          Case{5e-324, "4.94065645841247E-324"},
                          Case{1.7976931348623157e308, "1.79769313486232E+308"},
                          Case{20.000000000000004, "20"},
                          Case{0.0009765625, "0.0009765625"}}) {
        SCOPED_TRACE(c.strExpected);
        EXPECT_EQ(generalNumberText(c.dblValue), c.strExpected);
    }
}

// The fast 15-digit conversion must agree with the exact one everywhere: random bit patterns over the
// whole range, values near halves of the 15th digit, and the kinds of numbers the writers produce.
TEST(GeneralNumberText, FastConversionMatchesTheExactOneOnManyValues)
{
    std::mt19937_64 random(20261207);
    const auto expectSame = [](double dblValue) {
        const Decimal15 fast = toDecimal15(dblValue);
        const Decimal15 exact = toDecimal15Reference(dblValue);
        ASSERT_EQ(fast.lngDigits, exact.lngDigits) << std::hexfloat << dblValue;
        ASSERT_EQ(fast.intExponent, exact.intExponent) << std::hexfloat << dblValue;
        ASSERT_EQ(fast.blnNegative, exact.blnNegative) << std::hexfloat << dblValue;
    };
    for (int i = 0; i < 300000; ++i) {
        const double dblValue = std::bit_cast<double>(random());
        if (std::isfinite(dblValue)) {
            expectSame(dblValue);
        }
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 100000; ++i) {
        // A 16-digit decimal ending in 5 sits on a half of the 15th digit; step around it.
        const double dblHalf = (std::floor(unit(random) * 9e14) + 1e14 + 0.5) * std::pow(10.0, (i % 40) - 20);
        expectSame(dblHalf);
        expectSame(std::nextafter(dblHalf, 0.0));
        expectSame(std::nextafter(dblHalf, 1e300));
    }
    for (int i = 0; i < 25601; ++i) {
        expectSame(i * (1000 / 2.56 / (65536 / 2.56)));
        expectSame(i * (1.0 / 44100));
    }
}

TEST(WholeNumberOfText, RoundsHalfAwayThenRefusesWhatDoesNotFit)
{
    EXPECT_EQ(wholeNumberOfText("2.5"), 3);
    EXPECT_EQ(wholeNumberOfText("0.4"), 0);
    EXPECT_EQ(wholeNumberOfText(" 1e3 "), 1000);
    EXPECT_EQ(wholeNumberOfText("-5"), -5);
    EXPECT_EQ(wholeNumberOfText("2147483647"), 2147483647);
    EXPECT_EQ(wholeNumberOfText("-2147483648"), -2147483647 - 1);
    testing::expectFailure(err::lngOverflow, [&] { wholeNumberOfText("2147483648"); });
    testing::expectFailure(err::lngTypeMismatch, [&] { wholeNumberOfText("abc"); });
}

// The 15-digit rounding of the doubles just below the largest one is 1.79769313486232E+308, beyond
// the double range: their fixed texts do not read back, and the value of such a text is an overflow,
// never whatever lay in memory.
TEST(FixedDecimalValue, OverflowsWhereTheRoundingLeavesTheDoubleRange)
{
    EXPECT_EQ(fixedDecimalValue(1.79769313486231e308, 3), 1.79769313486231e308);
    EXPECT_EQ(fixedDecimalValue(1.7976931348623149e308, 0), 1.79769313486231e308);
    EXPECT_EQ(fixedValueOfText("-1.79769313486231E+308", 0), -1.79769313486231e308);
    for (const double dblValue : {1.7976931348623157e308, -1.7976931348623157e308, 1.7976931348623151e308}) {
        SCOPED_TRACE(dblValue);
        EXPECT_FALSE(isNumericText(fixedDecimalText(dblValue, 3)));
        testing::expectFailure(err::lngOverflow, [&] { fixedDecimalValue(dblValue, 3); });
    }
    testing::expectFailure(err::lngOverflow, [&] { fixedValueOfText("1.7976931348623157e308", 3); });
}

TEST(WholeNumberOfGeneralText, RoundsTheTextTiesToEven)
{
    struct Case
    {
        double dblValue;
        std::int32_t lngExpected;
    };
    for (const Case& c :
         {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{0.5, 0}, Case{1.5, 2}, Case{-0.5, 0},
          Case{3.4999999999999996, 4}, Case{40000.4, 40000}, Case{32767.5, 32768}, Case{-32768.5, -32768},
          Case{2147483647.4, 2147483647}, Case{0.09, 0}, Case{0.51, 1}, Case{-2147483648.0, -2147483647 - 1}}) {
        SCOPED_TRACE(c.dblValue);
        EXPECT_EQ(wholeNumberOfGeneralText(c.dblValue), c.lngExpected);
    }
    for (const double dblValue : {2147483647.5, 3e9, -2147483649.0, std::nan(""), HUGE_VAL}) {
        SCOPED_TRACE(dblValue);
        testing::expectFailure(err::lngOverflow, [&] { wholeNumberOfGeneralText(dblValue); });
    }
}

// A user's locale with a decimal comma must not change any text read or written.
TEST(NumberTexts, IgnoreTheProcessLocale)
{
    const std::string strOld = std::setlocale(LC_ALL, nullptr);
    bool blnSet = false;
    for (const char* strLocale : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, strLocale) != nullptr && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            blnSet = true;
            break;
        }
    }
    if (!blnSet) {
        std::setlocale(LC_ALL, strOld.c_str());
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    EXPECT_EQ(generalNumberText(390.625), "390.625");
    EXPECT_EQ(fixedDecimalText(0.0625, 3), "0.063");
    EXPECT_EQ(*numericValue("2.5"), 2.5);
    EXPECT_FALSE(isNumericText("2,5"));
    std::setlocale(LC_ALL, strOld.c_str());
}

} // namespace
} // namespace kestrix::engine
