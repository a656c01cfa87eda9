// Number texts: exact rounding with ties away from zero, fields, the
// switch to scientific notation.
#include <gtest/gtest.h>

#include <cmath>

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

// Multiples of 1/256 (type 18 phases) against integer arithmetic: every
// fourth one is an exact tie at two decimals.
TEST(FixedText, AgreesWithIntegerRoundingOnEighths) {
    for (long n = -70000; n <= 70000; n += 1) {
        const long mag = std::labs(n);
        const long hundredths = (mag * 100 + 128) / 256;  // half away from zero
        std::string want = std::to_string(hundredths / 100) + "." + (hundredths % 100 < 10 ? "0" : "") +
                           std::to_string(hundredths % 100);
        if (n < 0 && hundredths != 0) want.insert(0, "-");
        ASSERT_EQ(fixed_text(double(n) / 256.0, 2), want) << n;
        ASSERT_EQ(FormatFixed(double(n) / 256.0, 15, 2), want) << n;
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
