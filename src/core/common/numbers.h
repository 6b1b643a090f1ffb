#pragma once
// Number rules of the ledger: how texts are read as figures, how figures are
// rounded and narrowed, and how they are written back as text. The ledger holds
// texts; every computation goes through these functions so the results are the
// same byte for byte wherever they are produced.

#include <QString>
#include <QStringView>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace tovira {

// Lenient reading: the longest leading numeric prefix (leading blanks, sign,
// digits with at most one point, optional exponent); no prefix reads 0.
double ReadNumber(QStringView text);

// Strict reading: after trimming blanks the whole text must be a number.
std::optional<double> StrictNumber(QStringView text);

// Strict 16-bit integer conversion: rounds half to even, fails outside
// -32768..32767.
std::optional<int16_t> StrictInt16(QStringView text);

// The three rules below run for every figure of every row of a pass: inline.

// single(x): narrow to float. Values outside the float range become +-inf so
// that the assignment that stores them fails.
inline double Single(double x) {
    if (std::isnan(x)) return x;
    if (std::fabs(x) > static_cast<double>(FLT_MAX)) {
        return x > 0 ? std::numeric_limits<double>::infinity()
                     : -std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(static_cast<float>(x));
}

// The nearest integer, ties to even: what std::nearbyint gives in the default
// rounding mode, bit for bit (signed zeros, infinities and NaN included), but
// inline. The baseline x86-64 instruction set has no rounding instruction, so
// std::nearbyint is a library call, several times per row of every pass.
// Below 2^52 in magnitude, adding 2^52 leaves no bits below the units, so the
// addition itself rounds to an integer, ties to even; subtracting 2^52 again
// is exact. From 2^52 on every double is an integer already. Needs strict
// IEEE arithmetic in the default rounding mode (no -ffast-math, which would
// fold the two operations away; the check below refuses such a build).
#ifdef __FAST_MATH__
#error "The ledger's number rules need strict IEEE arithmetic: build without -ffast-math."
#endif
inline double NearestInteger(double y) {
    constexpr double kTwo52 = 4503599627370496.0;
    const double magnitude = std::fabs(y);
    // Adding 0 quiets a signalling NaN, as the library does.
    if (!(magnitude < kTwo52)) return y + 0.0;
    return std::copysign((magnitude + kTwo52) - kTwo52, y);
}

inline double PowerOfTen(int decimals) {
    constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0};
    return decimals >= 0 && decimals <= 5 ? kScale[decimals] : std::pow(10.0, decimals);
}

// round(x, d): ties to even, in double.
inline double Round(double x, int decimals) {
    const double scale = PowerOfTen(decimals);
    return NearestInteger(x * scale) / scale;
}

// The same through the C library's std::nearbyint; must give the same bits.
inline double RoundWithLibrary(double x, int decimals) {
    const double scale = PowerOfTen(decimals);
    return std::nearbyint(x * scale) / scale;
}

// Stores v into target when v is a finite value inside the float range.
// Returns false (target untouched) otherwise: a failing assignment keeps the
// previous value.
inline bool Assign(float& target, double v) {
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(FLT_MAX)) return false;
    target = static_cast<float>(v);
    return true;
}

// Decimal form of a figure: printed with 7 significant digits, read back.
double Dec(float value);

// General number text of a figure: at most 7 significant digits, no trailing
// zeros, exponent form for large and tiny magnitudes, never "-0".
QString GeneralText(float value);
// Same for a double value (spin steps and similar texts).
QString GeneralText(double value);
// The same text written into out (at least kGeneralTextMax bytes, ASCII, not
// terminated); returns its length. Lets bulk writers skip unchanged cells
// without making a string.
inline constexpr int kGeneralTextMax = 48;
int GeneralTextTo(double value, char* out);

// Format patterns used by the settings and the estimates: "0.00", "0.0#", "0",
// "0.0000", "0.#####", "0.####" (any "0.0..0#..#" form). Rounds the value's
// 15-significant-digit decimal form half away from zero.
QString FormatPattern(double value, QStringView pattern);

}  // namespace tovira
