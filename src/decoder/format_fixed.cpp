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

namespace detail {

char* put_real_slow(char* p, double value, int width, int decimals) {
    const std::string text = exact::fixed_text(value, decimals);
    p = pad(p, width, int(text.size()));
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

char* put_json_decimal_slow(char* p, double value, int decimals) {
    const std::string text = exact::json_decimal(value, decimals);
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

}  // namespace detail

std::string fixed_text(double value, int decimals) {
    std::array<char, max_number_chars> buf;
    return {buf.data(), put_real(buf.data(), value, 0, decimals)};
}

std::string FormatFixed(double value, int precision, int decimals) {
    std::uint64_t units = 0;
    if (detail::scaled_units(value, decimals, false, units)) {
        // While the integer part and the decimals fit the precision, the
        // decimals are the coarser limit and the text is fixed_text's.
        const std::uint64_t whole = units / detail::powers_of_ten[std::size_t(decimals)];
        const int digits = whole == 0 ? 0 : detail::digit_count(whole);
        if (digits + decimals <= precision) {
            std::array<char, max_number_chars> buf;
            return {buf.data(), detail::put_units(buf.data(), std::signbit(value), units, decimals, 0)};
        }
    }
    return exact::FormatFixed(value, precision, decimals);
}

void append_json_decimal(std::string& out, double value, int decimals) {
    std::array<char, max_number_chars> buf;
    out.append(buf.data(), put_json_decimal(buf.data(), value, decimals));
}

std::string json_decimal(double value, int decimals) {
    std::string s;
    append_json_decimal(s, value, decimals);
    return s;
}

void put_real(std::string& out, double value, int width, int decimals) {
    if (width <= 32) {
        std::array<char, 32 + max_number_chars> buf;
        out.append(buf.data(), put_real(buf.data(), value, width, decimals));
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + std::size_t(width) + max_number_chars);
    out.resize(std::size_t(put_real(out.data() + at, value, width, decimals) - out.data()));
}

void put_int(std::string& out, std::int64_t value, int width) {
    if (width <= 32) {
        std::array<char, 32 + 64> buf;  // a whole number has 20 characters at most
        out.append(buf.data(), put_int(buf.data(), value, width));
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + std::size_t(width) + max_number_chars);
    out.resize(std::size_t(put_int(out.data() + at, value, width) - out.data()));
}

}  // namespace tessaly
