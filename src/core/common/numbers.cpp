#include "core/common/numbers.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/common/number_text.h"

namespace tovira {
namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Length of the numeric prefix starting at `from` (sign, digits with at most
// one point, optional exponent). 0 when there is none.
qsizetype NumericPrefix(QStringView t, qsizetype from) {
    qsizetype i = from;
    const qsizetype n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-')) ++i;
    bool digits = false;
    bool point = false;
    while (i < n) {
        if (IsDigit(t[i])) {
            digits = true;
        } else if (t[i] == u'.' && !point) {
            point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits) return 0;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (t[j] == u'+' || t[j] == u'-')) ++j;
        if (j < n && IsDigit(t[j])) {
            while (j < n && IsDigit(t[j])) ++j;
            i = j;
        }
    }
    return i - from;
}

// A signed decimal exponent in [first, last); the buffers are not terminated.
long ParseExponent(const char* first, const char* last) {
    bool negative = false;
    if (first < last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    long value = 0;
    for (; first < last && *first >= '0' && *first <= '9'; ++first) {
        if (value < 100000000) value = value * 10 + (*first - '0');
    }
    return negative ? -value : value;
}

// Converts an ASCII number of the form NumericPrefix accepts. from_chars is
// locale-independent, unlike strtod under a GUI locale.
double ConvertAscii(QStringView t) {
    char small[64];
    std::string large;
    char* begin = small;
    if (t.size() >= static_cast<qsizetype>(sizeof small)) {
        large.resize(static_cast<size_t>(t.size()));
        begin = large.data();
    }
    char* end = begin;
    for (QChar c : t) *end++ = static_cast<char>(c.unicode());
    const char* first = begin;
    const char* last = end;
    bool negative = false;
    if (first < last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Either too large or too small for a double: decide by the exponent.
        const char* e = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; });
        long exponent = 0;
        if (e != last) exponent = ParseExponent(e + 1, last);
        const char* lead = std::find_if(first, e, [](char c) { return c >= '1' && c <= '9'; });
        const char* dot = std::find(first, e, '.');
        long magnitude = exponent;
        if (lead < dot) {
            magnitude += static_cast<long>(dot - lead);
        } else {
            magnitude -= static_cast<long>(lead - dot);
        }
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

struct Scientific {
    bool negative = false;
    char digits[24] = {};  // significant digits without the point
    int count = 0;
    int exponent = 0;  // decimal exponent of the first digit
};

// value printed as d.ddd...E+xx with `precision` digits after the point.
Scientific ToScientific(double value, int precision) {
    char buf[64];
    auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
    Scientific s;
    const char* p = buf;
    if (*p == '-') {
        s.negative = true;
        ++p;
    }
    for (; p < res.ptr && *p != 'e'; ++p) {
        if (*p != '.') s.digits[s.count++] = *p;
    }
    if (p < res.ptr) s.exponent = static_cast<int>(ParseExponent(p + 1, res.ptr));
    return s;
}

int GeneralFromScientific(const Scientific& s, char* out) {
    int count = s.count;
    while (count > 1 && s.digits[count - 1] == '0') --count;
    int n = 0;
    if (s.negative) out[n++] = '-';
    const int e = s.exponent;
    if (e >= 7 || e < -4) {
        out[n++] = s.digits[0];
        if (count > 1) {
            out[n++] = '.';
            for (int i = 1; i < count; ++i) out[n++] = s.digits[i];
        }
        out[n++] = 'E';
        out[n++] = e < 0 ? '-' : '+';
        const int ae = std::abs(e);
        if (ae >= 100) out[n++] = static_cast<char>('0' + ae / 100);
        out[n++] = static_cast<char>('0' + (ae / 10) % 10);
        out[n++] = static_cast<char>('0' + ae % 10);
    } else if (e >= 0) {
        for (int i = 0; i <= e; ++i) out[n++] = i < count ? s.digits[i] : '0';
        if (count > e + 1) {
            out[n++] = '.';
            for (int i = e + 1; i < count; ++i) out[n++] = s.digits[i];
        }
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = -1; i > e; --i) out[n++] = '0';
        for (int i = 0; i < count; ++i) out[n++] = s.digits[i];
    }
    return n;
}

}  // namespace

double ReadNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    const qsizetype len = NumericPrefix(text, i);
    if (len == 0) return 0;
    return ConvertAscii(text.mid(i, len));
}

std::optional<double> StrictNumber(QStringView text) {
    QStringView t = text;
    while (!t.isEmpty() && IsBlank(t.front())) t = t.mid(1);
    while (!t.isEmpty() && IsBlank(t.back())) t.chop(1);
    if (t.isEmpty()) return std::nullopt;
    if (NumericPrefix(t, 0) != t.size()) return std::nullopt;
    return ConvertAscii(t);
}

std::optional<int16_t> StrictInt16(QStringView text) {
    const std::optional<double> v = StrictNumber(text);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    const double r = std::nearbyint(*v);
    if (r < -32768.0 || r > 32767.0) return std::nullopt;
    return static_cast<int16_t>(r);
}

double Dec(float value) {
    if (value == 0.0f) return 0.0;
    char buf[48];
    auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                             std::chars_format::scientific, 6);
    double out = 0;
    std::from_chars(buf, res.ptr, out, std::chars_format::general);
    return out;
}

QString GeneralText(float value) { return GeneralText(static_cast<double>(value)); }

int ConvertedGeneralTextTo(double value, char* out) {
    if (value == 0.0 || !std::isfinite(value)) {
        out[0] = '0';
        return 1;
    }
    return GeneralFromScientific(ToScientific(value, 6), out);
}

namespace {

// 10^0 .. 10^19, the most 64 bits hold.
constexpr int kMaxPowerOfTen = 19;
constexpr quint64 PowerOfTen(int n) {
    quint64 p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}
struct PowersOfTen {
    quint64 p[kMaxPowerOfTen + 1];
    constexpr PowersOfTen() : p() {
        for (int i = 0; i <= kMaxPowerOfTen; ++i) p[i] = PowerOfTen(i);
    }
};
constexpr PowersOfTen kPowersOfTen;

// The float's value as m * 2^e2 with m odd.
struct BinaryForm {
    quint32 m = 0;
    int e2 = 0;
};

BinaryForm BinaryOf(float value) {
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int((bits >> 23) & 0xFF);
    BinaryForm b;
    b.m = bits & 0x7FFFFF;
    if (biased == 0) {
        b.e2 = -149;  // subnormal
    } else {
        b.m |= 0x800000;
        b.e2 = biased - 150;
    }
    const int zeros = __builtin_ctz(b.m);
    b.m >>= zeros;
    b.e2 += zeros;
    return b;
}

// floor(m * 2^e2 / 10^(e - 6)) into q, and whether the rest is below, at or
// above one half (-1, 0, 1). False when the integers would not fit 64 bits:
// magnitudes below about 1e-6 or from 1.8e19 on, which no ledger figure
// reaches; those take the library's conversion.
bool ScaledDigits(const BinaryForm& b, int e, quint64& q, int& rest) {
    const int p = 6 - e;  // the power of ten the value is scaled by
    // m < 2^24, and 2^24 * 10^12 < 2^64.
    if (p > 12 || -p > kMaxPowerOfTen) return false;
    quint64 n = b.m;
    if (p >= 0) n *= kPowersOfTen.p[p];
    if (b.e2 < 0) {
        // Values of 1e7 and more hold no binary fraction.
        const int k = -b.e2;
        if (p < 0 || k >= 64) return false;
        // A power of two: shifts instead of a division.
        const quint64 r = n & ((quint64(1) << k) - 1);
        const quint64 half = quint64(1) << (k - 1);
        q = n >> k;
        rest = r < half ? -1 : (r == half ? 0 : 1);
        return true;
    }
    if (b.e2 >= 64 || (b.e2 > 0 && (n >> (64 - b.e2)) != 0)) return false;
    n <<= b.e2;
    if (p >= 0) {  // a whole number below 1e7
        q = n;
        rest = -1;
        return true;
    }
    const quint64 d = kPowersOfTen.p[-p];
    q = n / d;
    const quint64 r = n - q * d;
    rest = r < d - r ? -1 : (r == d - r ? 0 : 1);
    return true;
}

// "00" to "99", the digits of a number below 100.
struct DigitPairs {
    char text[200];
    constexpr DigitPairs() : text() {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = char('0' + i / 10);
            text[2 * i + 1] = char('0' + i % 10);
        }
    }
};
constexpr DigitPairs kDigitPairs;

quint64 DigitPair(quint32 n) {
    quint16 pair = 0;
    std::memcpy(&pair, kDigitPairs.text + 2 * n, 2);
    return pair;
}

// The seven digits of 1e6 <= q < 1e7 (and a zero byte) into digits[0..7],
// put together in a register and stored at once: the reads that follow take
// them from that one store.
void SevenDigits(quint32 q, char* digits) {
    const quint32 high = q / 10000;  // 100 .. 999
    const quint32 low = q % 10000;
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "digits are put together low byte first");
    const quint64 bytes = quint64('0' + high / 100) | DigitPair(high % 100) << 8 |
                          DigitPair(low / 100) << 24 | DigitPair(low % 100) << 40;
    std::memcpy(digits, &bytes, 8);
}

}  // namespace

int FloatTextTo(float value, char* out) {
    if (value == 0.0f || !std::isfinite(value)) {
        out[0] = '0';
        return 1;
    }
    const BinaryForm b = BinaryOf(value);
    // The decimal exponent from the binary one (78913 / 2^18 is log10(2) to
    // more places than a float's exponents need; the shift floors); one too
    // small at most, which the digits' count shows.
    const int bits = 32 - __builtin_clz(b.m);
    int e = ((b.e2 + bits - 1) * 78913) >> 18;
    quint64 q = 0;
    int rest = 0;
    for (int tries = 0;; ++tries) {
        if (tries == 3 || !ScaledDigits(b, e, q, rest)) {
            return ConvertedGeneralTextTo(static_cast<double>(value), out);
        }
        if (q >= 10000000) {
            ++e;
        } else if (q < 1000000) {
            --e;
        } else {
            break;
        }
    }
    // Half to even, as the conversion rounds the exact value.
    if (rest > 0 || (rest == 0 && (q & 1) != 0)) ++q;
    if (q == 10000000) {
        q = 1000000;
        ++e;
    }
    Scientific s;
    s.negative = value < 0;
    s.exponent = e;
    SevenDigits(quint32(q), s.digits);
    s.count = 7;
    while (s.count > 1 && s.digits[s.count - 1] == '0') --s.count;
    if (e >= 7 || e < -4) return GeneralFromScientific(s, out);
    // The common forms, a piece at a time: 1234.5, 0.0012.
    char* p = out;
    if (s.negative) *p++ = '-';
    if (e >= 0) {
        const int whole = std::min(s.count, e + 1);
        std::memcpy(p, s.digits, size_t(whole));
        p += whole;
        if (s.count > e + 1) {
            *p++ = '.';
            std::memcpy(p, s.digits + whole, size_t(s.count - whole));
            p += s.count - whole;
        } else {
            std::memset(p, '0', size_t(e + 1 - whole));
            p += e + 1 - whole;
        }
    } else {
        std::memcpy(p, "0.000", size_t(1 - e));
        p += 1 - e;
        std::memcpy(p, s.digits, size_t(s.count));
        p += s.count;
    }
    return int(p - out);
}

int GeneralTextTo(double value, char* out) {
    // Figures are floats: nearly every text is of one.
    if (std::fabs(value) <= static_cast<double>(FLT_MAX)) {
        const auto narrow = static_cast<float>(value);
        if (static_cast<double>(narrow) == value) return FloatTextTo(narrow, out);
    }
    return ConvertedGeneralTextTo(value, out);
}

QString GeneralText(double value) {
    char out[kGeneralTextMax];
    const int n = GeneralTextTo(value, out);
    return QString::fromLatin1(out, n);
}

QString FormatPattern(double value, QStringView pattern) {
    // Pattern "0" or "0." followed by mandatory zeros and optional hashes.
    int minDecimals = 0;
    int maxDecimals = 0;
    const qsizetype point = pattern.indexOf(u'.');
    if (point >= 0) {
        for (QChar c : pattern.mid(point + 1)) {
            if (c == u'0') ++minDecimals;
            ++maxDecimals;
        }
    }
    if (!std::isfinite(value)) value = 0;

    // Work on the 15-significant-digit decimal form.
    const Scientific s = ToScientific(value, 14);
    // Digits of the value as an integer number of 10^-maxDecimals units.
    // Position of the first digit relative to the rounding point:
    const int keep = s.exponent + 1 + maxDecimals;  // digits kept before rounding
    std::string digits;                             // integer part and decimals, without a point
    if (value != 0 && keep >= 0) {
        for (int i = 0; i < keep; ++i) digits.push_back(i < s.count ? s.digits[i] : '0');
        const bool roundUp = keep < s.count && s.digits[keep] >= '5';
        if (roundUp) {
            int i = static_cast<int>(digits.size()) - 1;
            while (i >= 0 && digits[static_cast<size_t>(i)] == '9') {
                digits[static_cast<size_t>(i)] = '0';
                --i;
            }
            if (i >= 0) {
                ++digits[static_cast<size_t>(i)];
            } else {
                digits.insert(digits.begin(), '1');
            }
        }
    }
    // Pad so that there is at least one integer digit.
    while (static_cast<int>(digits.size()) < maxDecimals + 1) digits.insert(digits.begin(), '0');
    std::string integer = digits.substr(0, digits.size() - static_cast<size_t>(maxDecimals));
    std::string decimals = digits.substr(digits.size() - static_cast<size_t>(maxDecimals));
    size_t lead = integer.find_first_not_of('0');
    integer = lead == std::string::npos ? std::string("0") : integer.substr(lead);
    while (static_cast<int>(decimals.size()) > minDecimals && decimals.back() == '0')
        decimals.pop_back();

    const bool zero = integer == "0" && decimals.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (s.negative && !zero) out.push_back('-');
    out += integer;
    if (!decimals.empty()) {
        out.push_back('.');
        out += decimals;
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

}  // namespace tovira
