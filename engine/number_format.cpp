#include "number_format.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

namespace kim {
namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr double kEps = DBL_EPSILON;

enum class Rounding { HalfAwayFromZero, HalfEven };

// A rounded decimal number as digit strings, without sign handling beyond a flag.
struct Fixed {
    bool negative = false;
    std::string intDigits; // at least "0", no leading zeros otherwise
    std::string fracDigits;
};

// Adds one unit in the last place of a digit string; returns false if it overflowed.
bool incrementDigits(std::string& digits) {
    for (auto i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return true;
        }
    }
    return false;
}

// Fast path of the rounding: |v| scaled to units in the last place to keep, rounded to
// the nearest whole unit. Nothing when a value this large or this close to a half needs
// the decimal digits of its shortest form (a few ulps decide there, and the rule for an
// exact half).
std::optional<uint64_t> nearestUnits(double v, int decimals) {
    if (decimals < 0 || decimals > 15) return std::nullopt;
    const double scaled = std::fabs(v) * kPow10[decimals];
    if (!(scaled < 4e15)) return std::nullopt;
    const double whole = std::floor(scaled);
    const double frac = scaled - whole;
    if (std::fabs(frac - 0.5) <= 8 * kEps * scaled + 1e-300) return std::nullopt;
    return static_cast<uint64_t>(whole) + (frac > 0.5 ? 1 : 0);
}

// The shortest decimal form of v (the digits a person reads), rounded to `decimals`.
Fixed toFixed(double v, int decimals, Rounding mode) {
    Fixed f;
    f.negative = std::signbit(v);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
    auto ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c != '.') digits += c;
    int exp10 = 0;
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(),
                    exp10);
    const int n = static_cast<int>(digits.size());
    const int pointPos = exp10 + 1; // digits before the decimal point
    if (pointPos >= n) {
        f.intDigits = digits + std::string(static_cast<size_t>(pointPos - n), '0');
    } else if (pointPos > 0) {
        f.intDigits = digits.substr(0, static_cast<size_t>(pointPos));
        f.fracDigits = digits.substr(static_cast<size_t>(pointPos));
    } else {
        f.intDigits.assign(1, '0');
        f.fracDigits = std::string(static_cast<size_t>(-pointPos), '0') + digits;
    }
    if (static_cast<int>(f.fracDigits.size()) > decimals) {
        const char next = f.fracDigits[static_cast<size_t>(decimals)];
        const bool restZero = f.fracDigits.find_first_not_of('0', static_cast<size_t>(decimals) +
                                                                      1) == std::string::npos;
        f.fracDigits.resize(static_cast<size_t>(decimals));
        bool up;
        if (mode == Rounding::HalfAwayFromZero || next != '5' || !restZero) {
            up = next >= '5';
        } else {
            const char last = decimals > 0 ? f.fracDigits.back() : f.intDigits.back();
            up = (last - '0') % 2 == 1;
        }
        if (up) {
            std::string all = f.intDigits + f.fracDigits;
            if (!incrementDigits(all)) all.insert(all.begin(), '1');
            f.intDigits = all.substr(0, all.size() - f.fracDigits.size());
            f.fracDigits = all.substr(f.intDigits.size());
        }
    } else {
        f.fracDigits.resize(static_cast<size_t>(decimals), '0');
    }
    auto firstNonZero = f.intDigits.find_first_not_of('0');
    f.intDigits = firstNonZero == std::string::npos ? "0" : f.intDigits.substr(firstNonZero);
    return f;
}

// The value of rounded digits.
double toDouble(const Fixed& f) {
    const std::string text = f.intDigits + "." + f.fracDigits;
    double r = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), r, std::chars_format::fixed);
    return f.negative ? -r : r;
}

void appendDigits(std::string& out, bool negative, std::string_view intDigits,
                  std::string_view fracDigits, const NumberPattern& p) {
    // Trailing zeros beyond the pattern's required decimals are optional digits.
    auto fracLen = fracDigits.size();
    while (fracLen > static_cast<size_t>(p.minDec) && fracDigits[fracLen - 1] == '0')
        --fracLen;
    const bool zero = intDigits == "0" && fracDigits.substr(0, fracLen).find_first_not_of('0') ==
                                              std::string_view::npos;
    const bool sign = negative && !zero;
    // "0" as the integer part is no digit of its own when padding supplies zeros.
    const size_t len = std::max(intDigits.size(), static_cast<size_t>(p.minInt));
    const size_t pad = len - intDigits.size();
    const size_t commas = p.group ? (len - 1) / 3 : 0;
    const bool point = fracLen > 0 || p.minDec > 0;
    const size_t start = out.size();
    out.resize(start + (sign ? 1 : 0) + len + commas + (point ? 1 + fracLen : 0));
    char* w = out.data() + start;
    if (sign) *w++ = '-';
    for (size_t i = 0; i < len; ++i) {
        if (p.group && i > 0 && (len - i) % 3 == 0) *w++ = ',';
        *w++ = i < pad ? '0' : intDigits[i - pad];
    }
    if (point) {
        *w++ = '.';
        std::memcpy(w, fracDigits.data(), fracLen);
    }
}

} // namespace

void appendNumber(std::string& out, double v, const NumberPattern& p) {
    if (!std::isfinite(v)) { // never produced by the study; keep the text readable all the same
        out += std::isnan(v) ? "NaN" : (v < 0 ? "-Infinity" : "Infinity");
        return;
    }
    if (const std::optional<uint64_t> units = nearestUnits(v, p.maxDec)) {
        // Whole units and decimals as integers, written from the right into a buffer.
        // Five decimals, as most patterns have, divide by a constant: a multiplication.
        const uint64_t scale = p.maxDec == 5 ? 100000 : static_cast<uint64_t>(kPow10[p.maxDec]);
        uint64_t whole = p.maxDec == 5 ? *units / 100000 : *units / scale;
        uint64_t decimals = *units - whole * scale;
        int kept = p.maxDec; // decimals beyond minDec are dropped when they are zeros
        while (kept > p.minDec && decimals % 10 == 0) {
            decimals /= 10;
            --kept;
        }
        char buffer[64];
        char* const end = buffer + sizeof buffer;
        char* w = end;
        for (int i = 0; i < kept; ++i, decimals /= 10)
            *--w = static_cast<char>('0' + decimals % 10);
        if (kept > 0) *--w = '.';
        for (int n = 0; whole > 0 || n < std::max(p.minInt, 1); ++n, whole /= 10) {
            if (p.group && n > 0 && n % 3 == 0) *--w = ',';
            *--w = static_cast<char>('0' + whole % 10);
        }
        if (std::signbit(v) && *units != 0) *--w = '-';
        out.append(w, static_cast<size_t>(end - w));
        return;
    }
    Fixed f = toFixed(v, p.maxDec, Rounding::HalfAwayFromZero);
    appendDigits(out, f.negative, f.intDigits, f.fracDigits, p);
}

std::string formatCount(uint64_t n) {
    char buffer[32];
    char* const end = buffer + sizeof buffer;
    char* w = end;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) *--w = ',';
        *--w = static_cast<char>('0' + n % 10);
        n /= 10;
        ++digits;
    } while (n > 0);
    return std::string(w, end);
}

std::string formatNumber(double v, const NumberPattern& p) {
    std::string s;
    appendNumber(s, v, p);
    return s;
}

namespace {
// The span of the leading number once commas are dropped, copied without commas.
std::string leadingNumberText(std::string_view text, bool* wholeText) {
    std::string num;
    bool point = false;
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') continue;
        if (c >= '0' && c <= '9') {
            num += c;
        } else if (c == '.' && !point) {
            point = true;
            num += c;
        } else {
            break;
        }
    }
    if (wholeText) *wholeText = i == text.size();
    return num;
}

double parseDecimal(const std::string& num) {
    if (num.find_first_of("0123456789") == std::string::npos) return 0.0;
    double v = 0.0;
    auto res = std::from_chars(num.data(), num.data() + num.size(), v, std::chars_format::fixed);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large for a double, or too small to be anything but zero.
        const auto point = num.find('.');
        const auto intPart = num.substr(0, point);
        return intPart.find_first_not_of('0') != std::string::npos ? DBL_MAX : 0.0;
    }
    return v;
}
} // namespace

double readLeadingNumber(std::string_view text) {
    return parseDecimal(leadingNumberText(text, nullptr));
}

bool isPlainNumber(std::string_view text) {
    bool whole = false;
    const std::string num = leadingNumberText(text, &whole);
    if (!whole || num.find_first_of("0123456789") == std::string::npos) return false;
    double v = 0.0;
    auto res = std::from_chars(num.data(), num.data() + num.size(), v, std::chars_format::fixed);
    if (res.ec != std::errc::result_out_of_range) return true;
    // out of range: only tiny values (which read as 0) count as numbers
    const auto intPart = num.substr(0, num.find('.'));
    return intPart.find_first_not_of('0') == std::string::npos;
}

double roundDecimals(double v, int decimals) {
    if (!std::isfinite(v)) return v;
    return toDouble(toFixed(v, decimals, Rounding::HalfAwayFromZero));
}

double readStudyNumber(std::string_view text) {
    return roundDecimals(readLeadingNumber(text), 5);
}

double roundToHertz(double mhz) {
    if (!std::isfinite(mhz)) return mhz;
    if (std::optional<uint64_t> units = nearestUnits(mhz, 6))
        return std::copysign(static_cast<double>(*units) / 1e6, mhz);
    return toDouble(toFixed(mhz, 6, Rounding::HalfEven));
}

} // namespace kim
