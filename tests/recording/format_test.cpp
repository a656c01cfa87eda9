// Number texts: exact rounding with ties away from zero, fields, the
// switch to scientific notation.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "format_fixed.h"

using namespace tessaly;

TEST(FormatFixed, RoundsTheExactBinaryValueOnceTiesAwayFromZero) {
    const struct {
        const char* name;
        double value;
        int precision, decimals;
        const char* text;
    } cases[] = {
        {"tie up", 0.125, 15, 2, "0.13"},
        {"negative tie away from zero", -0.125, 15, 2, "-0.13"},
        {"tie in a large value", 649641.625, 15, 2, "649641.63"},
        {"2.675 is 2.67499.. in binary", 2.675, 15, 2, "2.67"},
        {"no negative zero", -0.001, 15, 2, "0.00"},
        {"negative zero itself", -0.0, 15, 2, "0.00"},
        {"zeros appended", 3.0, 15, 3, "3.000"},
        {"digit before the point", 0.5, 15, 1, "0.5"},
        {"half to no decimals", 2.5, 15, 0, "3"},
        {"precision cuts decimals", 12.3456, 3, 2, "12.30"},
        {"precision tie", 1234.5, 4, 1, "1235.0"},
        {"one rounding, not two", 0.1449, 2, 2, "0.14"},
        {"small value by precision", 0.000123456, 3, 6, "0.000123"},
        {"carry to a new digit", 9.996, 15, 2, "10.00"},
        {"tiny rounds to zero", -1e-300, 15, 2, "0.00"},
        {"integer part too long", 123456789.0, 4, 2, "1.235E+08"},
        {"scientific trims zeros", 1e20, 15, 2, "1E+20"},
        {"negative scientific", -98765.0, 3, 1, "-9.88E+04"},
        {"rounding makes the integer part too long", 9999.97, 4, 2, "1E+04"},
        {"not a number", std::nan(""), 15, 2, "NAN"},
        {"minus infinity", -INFINITY, 15, 2, "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.precision, c.decimals), c.text) << c.name;
}

// The integer short cut against the general code on millions of values:
// the scales of the stream (multiples of 1/256 cycle, 0.02 m, 0.002 m/s as
// float), decimal ties, and random bit patterns of every magnitude.
TEST(NumberTexts, ShortCutGivesTheBytesOfTheGeneralCode) {
    std::mt19937_64 random(20261206);
    const auto check = [](double v, int decimals, int precision) {
        ASSERT_EQ(fixed_text(v, decimals), exact::fixed_text(v, decimals)) << v << " " << decimals;
        ASSERT_EQ(FormatFixed(v, precision, decimals), exact::FormatFixed(v, precision, decimals))
            << v << " " << precision << " " << decimals;
        ASSERT_EQ(json_decimal(v, decimals), exact::json_decimal(v, decimals)) << v << " " << decimals;
    };
    for (long n = -200000; n <= 200000; ++n) {
        const int d = int(n & 15);
        check(double(n) / 256.0, d % 9, 15);
        check(double(n) * 0.02, 2, 3 + d);
        check(double(float(n * 0.002)), 3, 15);
        check((double(n) + 0.5) / 1000.0, 2 + d % 3, 4 + d);
    }
    for (int i = 0; i < 100000; ++i) {
        const double magnitude = std::ldexp(1.0, int(random() % 140) - 70);
        check(double(std::int64_t(random())) / 9.2e18 * magnitude, int(random() % 17), 1 + int(random() % 18));
        check(std::bit_cast<double>(random()), int(random() % 17), 1 + int(random() % 18));
    }
}

TEST(Fields, RightAlignAndWriteOverlongNumbersWhole) {
    std::string s;
    put_real(s, -1.5, 9, 2);
    put_real(s, 100000000.0, 11, 2);  // 12 characters: pushes the line right
    put_int(s, 0, 3);
    put_int(s, 1234, 0);
    put_int(s, -7, 2);
    EXPECT_EQ(s, "    -1.50100000000.00  01234-7");
    EXPECT_EQ(fixed_text(1.5, 3), "1.500");
    EXPECT_EQ(fixed_text(-0.0004, 3), "0.000");
}
