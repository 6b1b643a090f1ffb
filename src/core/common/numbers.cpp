#include "core/common/numbers.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

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

int GeneralTextTo(double value, char* out) {
    if (value == 0.0 || !std::isfinite(value)) {
        out[0] = '0';
        return 1;
    }
    return GeneralFromScientific(ToScientific(value, 6), out);
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
