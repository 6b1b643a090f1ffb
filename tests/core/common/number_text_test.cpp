#include "core/common/number_text.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace tovira {
namespace {

std::string FloatText(float value) {
    char out[kGeneralTextMax];
    return std::string(out, size_t(FloatTextTo(value, out)));
}

std::string ConvertedText(double value) {
    char out[kGeneralTextMax];
    return std::string(out, size_t(ConvertedGeneralTextTo(value, out)));
}

float FromBits(quint32 bits) {
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint32 BitsOf(float value) {
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The text straight from the float's bits is the converted text, digit for
// digit; the values where the two ways part most easily are written out.
TEST(NumberTextTest, FloatTextIsTheConvertedText) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.0f, "0"},
        {-0.0f, "0"},
        {1e-5f, "1E-05"},
        {0.0001f, "0.0001"},
        {0.00012345678f, "0.0001234568"},
        {9999999.0f, "9999999"},
        {1e7f, "1E+07"},
        {-12345678.0f, "-1.234568E+07"},
        {12345675.0f, "1.234568E+07"},  // a tie: to the even digit, up
        {12345665.0f, "1.234566E+07"},  // a tie: to the even digit, down
        {9999999.5f, "1E+07"},          // rounds into the next power of ten
        {999999.94f, "999999.9"},
        {0.1f, "0.1"},
        {1.0065f, "1.0065"},
        {499.25f, "499.25"},
        {-3.25f, "-3.25"},
        {500000.0f, "500000"},
        {2.5e-7f, "2.5E-07"},
        {1e-30f, "1E-30"},                // too small for the integer way
        {3.4028235e38f, "3.402823E+38"},  // FLT_MAX
        {1.4e-45f, "1.401298E-45"},       // the smallest subnormal
        {std::numeric_limits<float>::infinity(), "0"},
        {std::numeric_limits<float>::quiet_NaN(), "0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FloatText(c.value), c.text) << c.text;
        EXPECT_EQ(FloatText(c.value), ConvertedText(c.value)) << c.text;
    }

    // Every float within 64 steps of a power of ten and of the half-way
    // points where seven digits round up into the next one, both signs.
    for (int k = -12; k <= 20; ++k) {
        for (const double edge : {std::pow(10.0, k), 9.9999995 * std::pow(10.0, k - 1)}) {
            const quint32 middle = BitsOf(static_cast<float>(edge));
            for (quint32 bits = middle - 64; bits <= middle + 64; ++bits) {
                for (const quint32 sign : {0u, 0x80000000u}) {
                    const float value = FromBits(bits | sign);
                    EXPECT_EQ(FloatText(value), ConvertedText(value)) << bits;
                }
            }
        }
    }
    // Ties of the eighth digit: whole numbers and halves ending in 5.
    for (float value = 10000005.0f; value < 16777216.0f; value += 999990.0f) {
        EXPECT_EQ(FloatText(value), ConvertedText(value)) << value;
    }
    for (float value = 1000000.5f; value < 8388608.0f; value += 77777.0f) {
        EXPECT_EQ(FloatText(value), ConvertedText(value)) << value;
    }
    // And a sample of all the others.
    std::mt19937 random(20240601);
    for (int i = 0; i < 300000; ++i) {
        const float value = FromBits(quint32(random()));
        ASSERT_EQ(FloatText(value), ConvertedText(value)) << BitsOf(value);
    }
}

// The general text of a double that no float holds keeps the conversion.
TEST(NumberTextTest, DoublesThatAreNoFloatsAreConverted) {
    for (const double value : {0.1, 1.0 / 3, 1e7 + 0.5, -2.0000001, 1e300, 5e-324}) {
        char out[kGeneralTextMax];
        EXPECT_EQ(std::string(out, size_t(GeneralTextTo(value, out))), ConvertedText(value));
    }
    EXPECT_EQ(GeneralText(0.1), "0.1");
    EXPECT_EQ(GeneralText(1.0 / 3), "0.3333333");
    EXPECT_EQ(GeneralText(std::numeric_limits<double>::quiet_NaN()), "0");
}

}  // namespace
}  // namespace tovira
