#include "format_fixed.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tessaly {

namespace {

constexpr int max_decimals = 30;

// How many binary fraction digits the value has: the smallest k with
// value * 2^k a whole number (0 for whole numbers). Its exact decimal
// expansion then has exactly k fraction digits, the last of them a 5.
int fraction_bits(double value) {
    int exp2 = 0;
    const double m = std::frexp(std::fabs(value), &exp2);  // value = m * 2^exp2, 0.5 <= m < 1
    const auto mantissa = std::uint64_t(std::ldexp(m, 53));
    if (mantissa == 0) return 0;
    const int k = 53 - exp2 - std::countr_zero(mantissa);
    return k > 0 ? k : 0;
}

std::string non_finite_text(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

// Adds one unit in the last digit of an unsigned decimal text.
void increment_last_digit(std::string& s) {
    for (std::size_t i = s.size(); i-- > 0;) {
        if (s[i] == '.') continue;
        if (s[i] != '9') {
            ++s[i];
            return;
        }
        s[i] = '0';
    }
    s.insert(s.begin(), '1');
}

void drop_negative_zero(std::string& s) {
    if (!s.empty() && s[0] == '-' &&
        std::all_of(s.begin() + 1, s.end(), [](char c) { return c == '0' || c == '.'; }))
        s.erase(0, 1);
}

// The exact decimal value of |value| (finite): value = 0.digits x 10^point,
// digits without leading zeros; no digits for zero.
struct ExactDecimal {
    std::string digits;
    int point = 0;

    explicit ExactDecimal(double value) {
        // 309 integer digits, the point and at most 1074 fraction digits.
        std::array<char, 1400> buf;
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                     std::chars_format::fixed, fraction_bits(value));
        const std::string_view text(buf.data(), std::size_t(r.ptr - buf.data()));
        const std::size_t dot = text.find('.');
        point = int(dot == std::string_view::npos ? text.size() : dot);
        for (char c : text)
            if (c != '.') digits.push_back(c);
        const std::size_t first = digits.find_first_not_of('0');
        if (first == std::string::npos) {
            digits.clear();
            point = 0;
            return;
        }
        digits.erase(0, first);
        point -= int(first);
    }

    bool is_zero() const { return digits.empty(); }

    // Keeps the first `n` digits, rounding half away from zero on the
    // exact value: a dropped first digit of 5 or more rounds up.
    void round_to(int n) {
        if (n >= int(digits.size())) return;
        if (n <= 0) {
            // Nothing kept: one unit at the place above the first digit
            // when that digit is 5 or more and it is the place kept, else zero.
            const bool up = n == 0 && digits[0] >= '5';
            digits = up ? "1" : "";
            point = up ? point + 1 : 0;
            return;
        }
        const bool up = digits[std::size_t(n)] >= '5';
        digits.resize(std::size_t(n));
        if (up) {
            increment_last_digit(digits);
            if (int(digits.size()) > n) {  // 99.9 became 100.0
                digits.pop_back();
                ++point;
            }
        }
    }

    // Digit at the place 10^(point - 1 - index); zero outside the digits.
    char digit_at(int index) const {
        return index >= 0 && index < int(digits.size()) ? digits[std::size_t(index)] : '0';
    }
};

// ---- The short cut ----------------------------------------------------------

__extension__ typedef unsigned __int128 uint128;

constexpr int fast_max_decimals = 15;
// Scaled values from here on leave the short cut (and 64 bits) alone.
constexpr std::uint64_t fast_limit = 1'000'000'000'000'000'000ULL;

constexpr std::array<std::uint64_t, fast_max_decimals + 1> powers_of_ten = [] {
    std::array<std::uint64_t, fast_max_decimals + 1> t{};
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
    return t;
}();

// |value| x 10^decimals rounded to a whole number on the exact binary value
// (a tie away from zero, or to even), when the short cut can: a double is
// m x 2^e with a 53-bit m, so the product m x 10^decimals (at most 103 bits)
// and its remainder after the shift decide the rounding exactly.
bool scaled_units(double value, int decimals, bool ties_to_even, std::uint64_t& units) {
    if (decimals < 0 || decimals > fast_max_decimals) return false;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biased = int((bits >> 52) & 0x7FFu);
    if (biased == 0x7FF) return false;  // not a number, infinities
    std::uint64_t m = bits & ((std::uint64_t(1) << 52) - 1);
    int e = -1074;
    if (biased != 0) {
        m |= std::uint64_t(1) << 52;
        e = biased - 1075;
    }
    if (m == 0) {
        units = 0;
        return true;
    }
    const uint128 product = uint128(m) * powers_of_ten[std::size_t(decimals)];
    uint128 q = 0;
    if (e >= 0) {
        if (e > 64) return false;
        q = product << e;
        if ((q >> e) != product) return false;
    } else if (-e < 120) {
        const int s = -e;
        q = product >> s;
        const uint128 rest = product - (q << s);
        const uint128 half = uint128(1) << (s - 1);
        if (rest > half || (rest == half && (!ties_to_even || (q & 1u)))) ++q;
    }  // else: below 2^-119 x 2^103, nothing is left at any decimal
    if (q >= fast_limit) return false;
    units = std::uint64_t(q);
    return true;
}

constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[std::size_t(2 * i)] = char('0' + i / 10);
        t[std::size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return t;
}();

// "-"? integer part "." `decimals` digits of `units` / 10^decimals, at
// least one digit before the point. The digits are made from the right,
// two at a time, by constant divisions.
char* write_units(char* p, bool negative, std::uint64_t units, int decimals) {
    if (negative && units != 0) *p++ = '-';
    std::array<char, 24> digits;
    char* const end = digits.data() + digits.size();
    char* d = end;
    while (units >= 100) {
        d -= 2;
        std::memcpy(d, &digit_pairs[std::size_t(units % 100) * 2], 2);
        units /= 100;
    }
    if (units >= 10) {
        d -= 2;
        std::memcpy(d, &digit_pairs[std::size_t(units) * 2], 2);
    } else {
        *--d = char('0' + units);
    }
    while (end - d <= decimals) *--d = '0';
    const std::size_t whole = std::size_t(end - d - decimals);
    std::memcpy(p, d, whole);
    p += whole;
    if (decimals > 0) {
        *p++ = '.';
        std::memcpy(p, d + whole, std::size_t(decimals));
        p += decimals;
    }
    return p;
}

}  // namespace

namespace exact {

std::string fixed_text(double value, int decimals) {
    decimals = std::clamp(decimals, 0, max_decimals);
    if (!std::isfinite(value)) return non_finite_text(value);
    std::array<char, 350> buf;  // 309 integer digits, sign, point, decimals
    std::string s;
    if (fraction_bits(value) != decimals + 1) {
        // No tie: the correctly rounded text is the nearest, whatever rule
        // to_chars follows for ties.
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                     std::chars_format::fixed, decimals);
        s.assign(buf.data(), r.ptr);
    } else {
        // An exact tie: one more decimal is exact and ends in 5; drop it
        // and round the magnitude up.
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                     std::chars_format::fixed, decimals + 1);
        s.assign(buf.data(), r.ptr - 1);
        if (s.back() == '.') s.pop_back();
        increment_last_digit(s);
        if (value < 0) s.insert(s.begin(), '-');
    }
    drop_negative_zero(s);
    return s;
}

std::string FormatFixed(double value, int precision, int decimals) {
    precision = std::max(precision, 1);
    decimals = std::clamp(decimals, 0, max_decimals);
    if (!std::isfinite(value)) return non_finite_text(value);

    ExactDecimal x(value);
    // One rounding, at the coarser of the two limits.
    x.round_to(std::min(precision, x.point + decimals));
    const bool negative = value < 0 && !x.is_zero();
    std::string s = negative ? "-" : "";

    if (x.point > precision) {
        // Scientific: the rounding above kept exactly `precision` digits.
        std::string mantissa = x.digits;
        const std::size_t last = mantissa.find_last_not_of('0');
        mantissa.resize(last + 1);
        s += mantissa[0];
        if (mantissa.size() > 1) s += "." + mantissa.substr(1);
        const int exp10 = x.point - 1;
        s += exp10 < 0 ? "E-" : "E+";
        if (std::abs(exp10) < 10) s += '0';
        s += std::to_string(std::abs(exp10));
        return s;
    }

    if (x.point <= 0) s += '0';
    for (int i = 0; i < x.point; ++i) s += x.digit_at(i);
    if (decimals > 0) {
        s += '.';
        for (int i = 0; i < decimals; ++i) s += x.digit_at(x.point + i);
    }
    return s;
}

std::string json_decimal(double value, int decimals) {
    decimals = std::clamp(decimals, 0, max_decimals);
    std::array<char, 350> buf;
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
    std::string s(buf.data(), r.ptr);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

}  // namespace exact

std::string fixed_text(double value, int decimals) {
    std::uint64_t units = 0;
    if (!scaled_units(value, decimals, false, units)) return exact::fixed_text(value, decimals);
    std::array<char, 40> buf;
    return {buf.data(), write_units(buf.data(), std::signbit(value), units, decimals)};
}

std::string FormatFixed(double value, int precision, int decimals) {
    std::uint64_t units = 0;
    if (scaled_units(value, decimals, false, units)) {
        // While the integer part and the decimals fit the precision, the
        // decimals are the coarser limit and the text is fixed_text's.
        const std::uint64_t whole = units / powers_of_ten[std::size_t(decimals)];
        int digits = 0;
        for (std::uint64_t w = whole; w != 0; w /= 10) ++digits;
        if (digits + decimals <= precision) {
            std::array<char, 40> buf;
            return {buf.data(), write_units(buf.data(), std::signbit(value), units, decimals)};
        }
    }
    return exact::FormatFixed(value, precision, decimals);
}

void append_json_decimal(std::string& out, double value, int decimals) {
    std::uint64_t units = 0;
    if (!scaled_units(value, decimals, true, units)) {
        out += exact::json_decimal(value, decimals);
        return;
    }
    // Trailing zeros of the fraction go before writing.
    while (decimals > 0 && units % 10 == 0) {
        units /= 10;
        --decimals;
    }
    std::array<char, 40> buf;
    out.append(buf.data(), write_units(buf.data(), std::signbit(value), units, decimals));
}

std::string json_decimal(double value, int decimals) {
    std::string s;
    append_json_decimal(s, value, decimals);
    return s;
}

void put_real(std::string& out, double value, int width, int decimals) {
    std::uint64_t units = 0;
    if (scaled_units(value, decimals, false, units)) {
        std::array<char, 40> buf;
        const auto len = std::size_t(write_units(buf.data(), std::signbit(value), units, decimals) - buf.data());
        if (len < std::size_t(std::max(width, 0))) out.append(std::size_t(width) - len, ' ');
        out.append(buf.data(), len);
        return;
    }
    const std::string text = exact::fixed_text(value, decimals);
    if (int(text.size()) < width) out.append(std::size_t(width) - text.size(), ' ');
    out += text;
}

void put_int(std::string& out, std::int64_t value, int width) {
    std::array<char, 24> buf;
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    const auto len = std::size_t(r.ptr - buf.data());
    if (len < std::size_t(std::max(width, 0))) out.append(std::size_t(width) - len, ' ');
    out.append(buf.data(), len);
}

}  // namespace tessaly
