#pragma once
// Number texts of the window fields and of the storing file.
//
// Every rounding here works on the exact binary value of the double and
// sends a tie away from zero: 0.125 to two decimals is "0.13", -0.125 is
// "-0.13", while 2.675 (2.67499999... in binary) is "2.67". Type 18 phases
// are multiples of 1/256 cycle and land on such ties all the time. A value
// that rounds to zero never keeps its minus sign.
//
// The decimal separator is always a point: the texts are built with
// std::to_chars, so a locale set by the toolkit cannot change them.

#include <cstdint>
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

// The general forms of the three texts above, which work on the exact
// decimal expansion of any double. The functions above take a short cut
// through integer arithmetic for the usual magnitudes and decimals and
// fall back on these for the rest; both must give the same bytes.
namespace exact {
std::string FormatFixed(double value, int precision, int decimals);
std::string fixed_text(double value, int decimals);
std::string json_decimal(double value, int decimals);
}  // namespace exact

}  // namespace tessaly
