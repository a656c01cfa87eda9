// `tessaly-decode --format json`: numbers at the precision the stream
// carries, strings escaped; every type is in the golden file of the
// recording tests.
#include <gtest/gtest.h>

#include "json_output.h"

using namespace tessaly;

TEST(Json, NumbersAndStrings) {
    const struct {
        double v;
        int decimals;
        const char* text;
    } cases[] = {{100 * 0.02, 2, "2"},      {35 * 0.02, 2, "0.7"},        {-1 * 0.02, 2, "-0.02"},
                 {32767 * 0.32, 2, "10485.44"}, {-0.0001, 2, "0"},        {double(-0.02f), 3, "-0.02"},
                 {-1 / 256.0, 8, "-0.00390625"}, {36060.9, 6, "36060.9"}, {1641.0000000000002, 1, "1641"}};
    for (const auto& c : cases) EXPECT_EQ(cli::json_number(c.v, c.decimals), c.text) << c.v;
    EXPECT_EQ(cli::json_string(std::string("a\"b\\c\x01\x7f\xe9\0", 9)), R"("a\"b\\c\u0001\u007f\u00e9\u0000")");
}
