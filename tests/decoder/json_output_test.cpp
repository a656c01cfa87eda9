// `tessaly-decode --format json`: numbers at the precision the stream
// carries, strings escaped; every type is in the golden file of the
// recording tests.
#include <gtest/gtest.h>

#include "json_output.h"
#include "tool_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

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

// The published message 1 example, with a line end after it.
TEST(Json, CommandLineWritesOneLinePerFrame) {
    const std::string example{0x40, 0x66, 0x41, 0x42, 0x68, 0x48, 0x78, 0x4B, 0x4C, 0x42, 0x6C,
                              0x5F, 0x7D, 0x5F, 0x76, 0x4C, 0x6F, 0x51, 0x58, 0x55, 0x79, '\r', '\n'};
    const auto r = run_tool(TESSALY_DECODE, {"--format", "json", "--clock", "2026-12-06T10:20:00Z", "--leap", "13"}, example);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, R"({"class":"RTCM2","type":1,"station_id":5,"zcount":600,"seqnum":3,"length":2,"station_health":0,)"
                     R"("frame_time":36600,"latency":613,"satellites":[{"ident":5,"scale":false,"udre":0,"prc":2,)"
                     R"("rrc":-0.02,"iod":33,"prc_problem":false,"rrc_problem":false}]})" "\n");
}
