#include "core/common/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "support/test_support.h"

using namespace tovira;

TEST(NumbersTest, LenientReadingTakesTheLongestNumericPrefix) {
    EXPECT_DOUBLE_EQ(ReadNumber(u"1.2345"), 1.2345);
    EXPECT_DOUBLE_EQ(ReadNumber(u"  -0.5%"), -0.5);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1000元"), 1000);
    EXPECT_DOUBLE_EQ(ReadNumber(u"+.5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadNumber(u"5."), 5);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1e3x"), 1000);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1E-2"), 0.01);
    EXPECT_DOUBLE_EQ(ReadNumber(u"2e"), 2);  // an exponent without digits is not part of it
    EXPECT_DOUBLE_EQ(ReadNumber(u"2e+"), 2);
    EXPECT_EQ(ReadNumber(u"abc"), 0);
    EXPECT_EQ(ReadNumber(u""), 0);
    EXPECT_EQ(ReadNumber(u"."), 0);
    EXPECT_EQ(ReadNumber(u"-"), 0);
    EXPECT_TRUE(std::isinf(ReadNumber(u"1e999")));
    EXPECT_EQ(ReadNumber(u"1e-999"), 0);
    EXPECT_DOUBLE_EQ(ReadNumber(u"1.494202845份"), 1.494202845);
}

TEST(NumbersTest, StrictReadingNeedsTheWholeText) {
    EXPECT_EQ(StrictNumber(u" 12 "), 12);
    EXPECT_EQ(StrictNumber(u"-0.50"), -0.5);
    EXPECT_FALSE(StrictNumber(u""));
    EXPECT_FALSE(StrictNumber(u"  "));
    EXPECT_FALSE(StrictNumber(u"-"));
    EXPECT_FALSE(StrictNumber(u"12a"));
    EXPECT_FALSE(StrictNumber(u"1 2"));

    EXPECT_EQ(StrictInt16(u"1"), 1);
    EXPECT_EQ(StrictInt16(u"32767"), 32767);
    EXPECT_EQ(StrictInt16(u"-32768"), -32768);
    EXPECT_FALSE(StrictInt16(u"32768"));
    EXPECT_EQ(StrictInt16(u"2.5"), 2);  // half to even
    EXPECT_EQ(StrictInt16(u"3.5"), 4);
    EXPECT_FALSE(StrictInt16(u"abc"));
    EXPECT_FALSE(StrictInt16(u""));
}

TEST(NumbersTest, RoundingIsHalfToEvenAndNarrowingOverflows) {
    EXPECT_EQ(Round(0.125, 2), 0.12);
    EXPECT_EQ(Round(0.375, 2), 0.38);
    EXPECT_EQ(Round(2.5, 0), 2);
    EXPECT_EQ(Round(-3.255, 2), std::nearbyint(-3.255 * 100) / 100);
    EXPECT_TRUE(std::isinf(Single(1e39)));
    EXPECT_EQ(Single(0.1), static_cast<double>(0.1f));

    float target = 7;
    EXPECT_FALSE(Assign(target, 1.0 / 0.0 * 0.0));
    EXPECT_FALSE(Assign(target, 1e39));
    EXPECT_FALSE(Assign(target, std::numeric_limits<double>::infinity()));
    EXPECT_EQ(target, 7);
    EXPECT_TRUE(Assign(target, 2.5));
    EXPECT_EQ(target, 2.5f);
}

// The inline rounding must give std::nearbyint's bits for every double: the
// ties, the signed zeros, the edge of 2^52, the tiny and the huge, NaN.
TEST(NumbersTest, InlineRoundingGivesTheLibrarysBits) {
    const auto bits = [](double v) {
        uint64_t b = 0;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    const double two52 = 4503599627370496.0;
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  1.5,
                                  2.5,
                                  -0.5,
                                  -2.5,
                                  0.49999999999999994,
                                  -0.49999999999999994,
                                  1e-310,
                                  -1e-310,
                                  two52 - 0.5,
                                  two52 - 1.5,
                                  -(two52 - 0.5),
                                  two52,
                                  two52 + 1,
                                  2 * two52 + 2,
                                  1e300,
                                  -1e300,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(20261209);
    for (int k = 0; k < 200000; ++k) {
        const uint64_t b = random();
        double v = 0;
        std::memcpy(&v, &b, sizeof v);
        values.push_back(v);
        // Figures as the pass sees them: cents and their halves.
        values.push_back(static_cast<double>(static_cast<int64_t>(b % 2000000001) - 1000000000) /
                         2 * 100.0 / 100);
    }
    for (double v : values) {
        EXPECT_EQ(bits(NearestInteger(v)), bits(std::nearbyint(v))) << v;
        for (int decimals : {2, 4}) {
            EXPECT_EQ(bits(Round(v, decimals)), bits(RoundWithLibrary(v, decimals))) << v;
        }
    }
}

// A figure the pass rounded to 2 decimals and stored as a float comes back
// unchanged when rounded again: the pass keeps such a figure as it stands on
// days without trades. (Checked for every float when the rule was made; here
// a sample of floats and of cents.)
TEST(NumbersTest, RoundingAStoredFigureAgainKeepsIt) {
    std::mt19937 random(20261209);
    for (int k = 0; k < 1000000; ++k) {
        const uint32_t b = static_cast<uint32_t>(random());
        float x = 0;
        std::memcpy(&x, &b, sizeof x);
        const double cents = static_cast<double>(static_cast<int32_t>(b)) / 100;
        for (double input : {static_cast<double>(x), cents}) {
            float stored = 0;
            if (!std::isfinite(input) || !Assign(stored, Round(input, 2))) continue;
            float again = 0;
            ASSERT_TRUE(Assign(again, Round(stored, 2)));
            ASSERT_EQ(std::memcmp(&again, &stored, sizeof again), 0) << input;
        }
    }
}

TEST(NumbersTest, DecimalFormUsesSevenDigits) {
    EXPECT_EQ(Dec(0.1f), 0.1);
    EXPECT_EQ(Dec(1092.0f), 1092.0);
    EXPECT_EQ(Dec(1.2345678f), 1.234568);
    EXPECT_EQ(Dec(0.0f), 0.0);
}

TEST(NumbersTest, GeneralTextOfFigures) {
    EXPECT_EQ(GeneralText(0.0f), "0");
    EXPECT_EQ(GeneralText(-0.0f), "0");
    EXPECT_EQ(GeneralText(500.0f), "500");
    EXPECT_EQ(GeneralText(499.25f), "499.25");
    EXPECT_EQ(GeneralText(-3.25f), "-3.25");
    EXPECT_EQ(GeneralText(0.1f), "0.1");
    EXPECT_EQ(GeneralText(1.0065f), "1.0065");
    EXPECT_EQ(GeneralText(1234567.0f), "1234567");
    EXPECT_EQ(GeneralText(9999999.0f), "9999999");
    EXPECT_EQ(GeneralText(12345678.0f), "1.234568E+07");
    EXPECT_EQ(GeneralText(10000000.0f), "1E+07");
    EXPECT_EQ(GeneralText(-123456789.0f), "-1.234568E+08");
    EXPECT_EQ(GeneralText(0.0001f), "0.0001");
    EXPECT_EQ(GeneralText(0.00001f), "1E-05");
    EXPECT_EQ(GeneralText(0.000012345f), "1.2345E-05");
    EXPECT_EQ(GeneralText(3.4e38f), "3.4E+38");
    EXPECT_EQ(GeneralText(123.456789f), "123.4568");
}

TEST(NumbersTest, FormatPatternsRoundHalfAwayFromZero) {
    EXPECT_EQ(FormatPattern(-0.5, u"0.00"), "-0.50");
    EXPECT_EQ(FormatPattern(9, u"0.00"), "9.00");
    EXPECT_EQ(FormatPattern(0.125, u"0.00"), "0.13");
    EXPECT_EQ(FormatPattern(-0.125, u"0.00"), "-0.13");
    EXPECT_EQ(FormatPattern(0.125, u"0.0#"), "0.13");
    EXPECT_EQ(FormatPattern(0.3, u"0.0#"), "0.3");
    EXPECT_EQ(FormatPattern(0.05, u"0.0#"), "0.05");
    EXPECT_EQ(FormatPattern(45.5, u"0"), "46");
    EXPECT_EQ(FormatPattern(44.5, u"0"), "45");
    EXPECT_EQ(FormatPattern(0.4, u"0"), "0");
    EXPECT_EQ(FormatPattern(1.15, u"0.0"),
              "1.2");  // 1.15 is 1.14999... in binary; 15 digits say 1.15
    EXPECT_EQ(FormatPattern(99.995, u"0.00"), "100.00");
    EXPECT_EQ(FormatPattern(1.23456789, u"0.####"), "1.2346");
    EXPECT_EQ(FormatPattern(2, u"0.#####"), "2");
    EXPECT_EQ(FormatPattern(1.2345, u"0.0000"), "1.2345");
    EXPECT_EQ(FormatPattern(-0.001, u"0.00"), "0.00");
    EXPECT_EQ(FormatPattern(0, u"0.00"), "0.00");
    EXPECT_EQ(FormatPattern(123456.789, u"0.00"), "123456.79");
}
