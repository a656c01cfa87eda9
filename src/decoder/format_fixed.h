#pragma once
// Number texts of the window fields and of the storing file.
//
// Every rounding here works on the exact binary value of the double and
// sends a tie away from zero: 0.125 to two decimals is "0.13", -0.125 is
// "-0.13", while 2.675 (2.67499999... in binary) is "2.67". Type 18 phases
// are multiples of 1/256 cycle and land on such ties all the time. A value
// that rounds to zero never keeps its minus sign.
//
// The decimal separator is always a point: the texts are built from whole
// numbers or with std::to_chars, so a locale set by the toolkit cannot
// change them.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tessaly {

// The text of a real value shown in a window field: rounded once, to at
// most `precision` significant digits and to at most `decimals` decimals,
// then written in fixed-point notation with exactly `decimals` digits after
// the point (zeros appended), "-" for a negative value, at least one digit
// before the point, no separators, no blanks.
//
// When the integer part (after that rounding) needs more than `precision`
// digits, the value is written in scientific notation instead: the mantissa
// rounded to `precision` significant digits with trailing zeros dropped
// (and the point with them), "E", the exponent's sign and at least two
// exponent digits: FormatFixed(123456789, 4, 2) is "1.235E+08",
// FormatFixed(1e20, 15, 2) is "1E+20".
//
// Not-a-number is "NAN", infinities are "INF" and "-INF". `precision` below
// 1 counts as 1, `decimals` is taken within 0..30.
std::string FormatFixed(double value, int precision, int decimals);

// `value` with exactly `decimals` decimals (0..30), no leading blanks.
std::string fixed_text(double value, int decimals);

// R(w,d) of the storing file: fixed_text right-aligned in `width`
// characters; a longer text is written whole.
void put_real(std::string& out, double value, int width, int decimals);

// I(w) of the storing file: a whole number right-aligned in `width`
// characters; I(0) has no leading blanks.
void put_int(std::string& out, std::int64_t value, int width);

// The numbers of the JSON output: `value` rounded to `decimals` decimals
// (0..30) on its exact binary value, a tie to the even last digit, then
// trailing zeros dropped (and the point with them); never "-0".
std::string json_decimal(double value, int decimals);
void append_json_decimal(std::string& out, double value, int decimals);

// The same three texts written straight into a character buffer at `p`,
// returning the end of the text. The caller gives room for
// max_number_chars characters beyond `width`: the usual values are written
// with fixed-size stores that may touch up to 32 characters past their end.
inline constexpr std::size_t max_number_chars = 352;
inline char* put_real(char* p, double value, int width, int decimals);
inline char* put_int(char* p, std::int64_t value, int width);
inline char* put_json_decimal(char* p, double value, int decimals);

// The general forms of the three texts above, which work on the exact
// decimal expansion of any double. The functions above take a short cut
// through integer arithmetic for the usual magnitudes and decimals and
// fall back on these for the rest; both must give the same bytes.
namespace exact {
std::string FormatFixed(double value, int precision, int decimals);
std::string fixed_text(double value, int decimals);
std::string json_decimal(double value, int decimals);
}  // namespace exact

// ---- The short cut, inline: the layouts call it for every field ------------

namespace detail {

__extension__ typedef unsigned __int128 uint128;

inline constexpr int fast_max_decimals = 15;
// Scaled values from here on leave the short cut (and 64 bits) alone.
inline constexpr std::uint64_t fast_limit = 1'000'000'000'000'000'000ULL;

inline constexpr std::array<std::uint64_t, 20> powers_of_ten = [] {
    std::array<std::uint64_t, 20> t{};
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
    return t;
}();

inline constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[std::size_t(2 * i)] = char('0' + i / 10);
        t[std::size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return t;
}();

// |value| x 10^decimals rounded to a whole number on the exact binary value
// (a tie away from zero, or to even), when the short cut can: a double is
// m x 2^e with a 53-bit m, so the product m x 10^decimals (at most 103 bits)
// and its remainder after the shift decide the rounding exactly.
[[gnu::always_inline]] inline bool scaled_units(double value, int decimals, bool ties_to_even, std::uint64_t& units) {
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
        const uint128 half = uint128(1) << (s - 1);
        // Away from zero, a remainder of half or more rounds up; to even,
        // a remainder of exactly half only when the kept part is odd.
        const uint128 bias = ties_to_even ? half - 1 + ((product >> s) & 1u) : half;
        q = (product + bias) >> s;
    }  // else: below 2^-119 x 2^103, nothing is left at any decimal
    if (q >= fast_limit) return false;
    units = std::uint64_t(q);
    return true;
}

// Decimal digits of x, at least one.
[[gnu::always_inline]] inline int digit_count(std::uint64_t x) {
    const int guess = (std::bit_width(x | 1) * 1233) >> 12;  // log10 from log2, at most one low
    return guess + int((x | 1) >= powers_of_ten[std::size_t(guess)]);
}

// The `count` lowest digits of x, ending at `end`, made two at a time by
// constant divisions (for the numbers beyond sixteen digits).
inline void digits_backward(char* end, std::uint64_t x, int count) {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, &digit_pairs[std::size_t(x % 100) * 2], 2);
        x /= 100;
    }
    if (count) end[-1] = char('0' + x % 10);
}

// The eight digits of n < 10^8, leading zeros included, as characters in
// memory order: all eight made at once, by splitting the number into lanes
// of one 64-bit word (halves, then quarters, then bytes), each division a
// multiplication and a shift that is exact for the range of its lane.
[[gnu::always_inline]] inline std::uint64_t eight_digits(std::uint32_t n) {
    std::uint64_t v = (n / 10000) | (std::uint64_t(n % 10000) << 32);
    std::uint64_t high = ((v * 10486) >> 20) & 0x0000007F0000007FULL;  // each lane / 100
    v = high | ((v - high * 100) << 16);
    high = ((v * 103) >> 10) & 0x000F000F000F000FULL;  // each lane / 10
    v = high | ((v - high * 10) << 8);
    return v | 0x3030303030303030ULL;  // to little-endian characters
}

// The sixteen digits of x < 10^16, leading zeros included, as characters
// in the order of a little-endian 128-bit word (the first digit lowest),
// and how many of them at the end are zeros.
struct SixteenDigits {
    uint128 text;
    int trailing_zeros;
};

[[gnu::always_inline]] inline SixteenDigits sixteen_digits(std::uint64_t x) {
    constexpr std::uint64_t zeros = 0x3030303030303030ULL;
    const std::uint64_t high = x < 100'000'000 ? zeros : eight_digits(std::uint32_t(x / 100'000'000));
    const std::uint64_t low = eight_digits(std::uint32_t(x % 100'000'000));
    // The last digit is the top byte of `low`.
    const int trailing = low != zeros ? std::countl_zero(low ^ zeros) / 8
                                      : 8 + (high != zeros ? std::countl_zero(high ^ zeros) / 8 : 8);
    return {high | (uint128(low) << 64), trailing};
}

// The 16 characters of `text` at p, the lowest first.
[[gnu::always_inline]] inline void store16(char* p, uint128 text) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &text, 16);
    } else {
        for (int i = 0; i < 16; ++i) p[i] = char(text >> (8 * i));
    }
}

inline constexpr std::uint64_t below_sixteen_digits = 10'000'000'000'000'000ULL;

// `width - len` blanks (none when negative), then the position after them.
[[gnu::always_inline]] inline char* pad(char* p, int width, int len) {
    if (width <= len) return p;
    if (width <= 16) std::memcpy(p, "                ", 16);
    else std::memset(p, ' ', std::size_t(width - len));
    return p + (width - len);
}

// "-"? integer part "." `decimals` digits of `units` / 10^decimals, at least
// one digit before the point, right-aligned in `width`. With `drop_zeros`,
// trailing zeros of the fraction are left out, and the point with them.
[[gnu::always_inline]] inline char* put_units(char* p, bool negative, std::uint64_t units, int decimals, int width,
                                              bool drop_zeros = false) {
    const int whole_digits = std::max(digit_count(units) - decimals, 1);
    negative = negative && units != 0;
    p = pad(p, width, int(negative) + whole_digits + (decimals > 0 ? decimals + 1 : 0));
    *p = '-';
    p += negative;
    if (units >= below_sixteen_digits) [[unlikely]] {
        char* const point = p + whole_digits;
        digits_backward(point, units / powers_of_ten[std::size_t(decimals)], whole_digits);
        if (decimals == 0) return point;
        *point = '.';
        digits_backward(point + 1 + decimals, units % powers_of_ten[std::size_t(decimals)], decimals);
        p = point + 1 + decimals;
    } else {
        // whole_digits + decimals <= 16: the digits of units, the fraction
        // 15 at most.
        // The digits go straight from registers to p (a detour through a
        // stack buffer costs a stalled load on every number).
        const SixteenDigits d = sixteen_digits(units);
        store16(p, d.text >> (8 * (16 - decimals - whole_digits)));
        p += whole_digits;
        const int fraction = drop_zeros ? decimals - std::min(d.trailing_zeros, decimals) : decimals;
        if (fraction == 0) return p;
        *p = '.';
        store16(p + 1, d.text >> (8 * (16 - decimals)));
        return p + 1 + fraction;
    }
    if (drop_zeros) {
        while (*(p - 1) == '0') --p;  // the point stops it
        p -= *(p - 1) == '.';
    }
    return p;
}

char* put_real_slow(char* p, double value, int width, int decimals);
char* put_json_decimal_slow(char* p, double value, int decimals);

}  // namespace detail

[[gnu::always_inline]] inline char* put_real(char* p, double value, int width, int decimals) {
    std::uint64_t units = 0;
    if (!detail::scaled_units(value, decimals, false, units)) [[unlikely]]
        return detail::put_real_slow(p, value, width, decimals);
    return detail::put_units(p, (std::bit_cast<std::uint64_t>(value) >> 63) != 0, units, decimals, width);
}

[[gnu::always_inline]] inline char* put_int(char* p, std::int64_t value, int width) {
    const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    if (magnitude < 100) {  // most whole numbers of the stream
        const int digits = 1 + int(magnitude >= 10);
        p = detail::pad(p, width, digits + int(value < 0));
        *p = '-';
        p += value < 0;
        std::memcpy(p, &detail::digit_pairs[std::size_t(magnitude) * 2 + std::size_t(2 - digits)], 2);
        return p + digits;
    }
    return detail::put_units(p, value < 0, magnitude, 0, width);
}

[[gnu::always_inline]] inline char* put_json_decimal(char* p, double value, int decimals) {
    std::uint64_t units = 0;
    if (!detail::scaled_units(value, decimals, true, units)) [[unlikely]]
        return detail::put_json_decimal_slow(p, value, decimals);
    return detail::put_units(p, (std::bit_cast<std::uint64_t>(value) >> 63) != 0, units, decimals, 0, true);
}

}  // namespace tessaly
