// `tessaly-decode --format json`: one object per completed frame with what
// that frame delivered, numbers at the precision the stream carries.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "json_output.h"
#include "rtcm_messages.h"
#include "tool_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// The JSON lines of every frame the stream completes (clock 10:20, leap 13).
std::vector<std::string> json_lines(const std::vector<std::uint8_t>& bytes) {
    FixedClock clock({2026, 12, 6, 10, 20, 0, 0});
    RtcmDecoder d(clock);
    std::vector<std::string> out;
    for (auto b : bytes) {
        d.rtcm_decode_byte(b);
        if (d.frame_completed) out.push_back(cli::frame_json(d));
    }
    return out;
}

const std::vector<std::uint8_t> message_1_example{0x40, 0x66, 0x41, 0x42, 0x68, 0x48, 0x78, 0x4B, 0x4C, 0x42, 0x6C,
                                                  0x5F, 0x7D, 0x5F, 0x76, 0x4C, 0x6F, 0x51, 0x58, 0x55, 0x79};
const std::string message_1_json =
    R"({"class":"RTCM2","type":1,"station_id":5,"zcount":600,"seqnum":3,"length":2,"station_health":0,)"
    R"("frame_time":36600,"latency":613,"satellites":[{"ident":5,"scale":false,"udre":0,"prc":2,"rrc":-0.02,)"
    R"("iod":33,"prc_problem":false,"rrc_problem":false}]})";

std::string head(int type, int length, const std::string& tail) {
    return R"({"class":"RTCM2","type":)" + std::to_string(type) +
           R"(,"station_id":7,"zcount":6,"seqnum":0,"length":)" + std::to_string(length) +
           R"(,"station_health":0,"frame_time":36006,"latency":1207)" + tail + "}";
}

}  // namespace

TEST(Json, NumbersAndStrings) {
    struct Case {
        double v;
        int decimals;
        const char* text;
    };
    const Case cases[] = {{100 * 0.02, 2, "2"},      {35 * 0.02, 2, "0.7"},        {-1 * 0.02, 2, "-0.02"},
                          {32767 * 0.32, 2, "10485.44"}, {-0.0001, 2, "0"},        {double(-0.02f), 3, "-0.02"},
                          {-1 / 256.0, 8, "-0.00390625"}, {36060.9, 6, "36060.9"}, {1641.0000000000002, 1, "1641"}};
    for (const auto& c : cases) EXPECT_EQ(cli::json_number(c.v, c.decimals), c.text) << c.v;
    EXPECT_EQ(cli::json_string(std::string("a\"b\\c\x01\x7f\xe9\0", 9)), R"("a\"b\\c\u0001\u007f\u00e9\u0000")");
}

TEST(Json, HeaderAndCorrections) {
    EXPECT_EQ(json_lines(message_1_example), std::vector<std::string>{message_1_json});

    // Only the satellites this frame completed: a failed word B costs 1 and 2.
    StreamEncoder s;
    s.frame({.type = 9, .station = 7, .zcount = 10,
             .data = correction_words({{true, 1, 1, -32768, -128, 1}, {false, 2, 2, 35, 3, 2}, {false, 3, 0, -256, 0, 3}}),
             .corrupt = {3}});
    s.frame({.type = 2, .station = 7, .zcount = 10, .data = correction_words({{true, 1, 4, -32768, -128, 1}})});
    s.frame({.type = 1, .station = 7, .zcount = 10, .data = {}});
    const auto lines = json_lines(s.bytes());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], head(9, 5, R"(,"satellites":[{"ident":32,"scale":false,"udre":3,"prc":-5.12,"rrc":0,"iod":3}])"));
    EXPECT_EQ(lines[1], head(2, 2, R"(,"satellites":[{"ident":4,"scale":true,"udre":1,"prc":-10485.76,"rrc":-4.096,)"
                                   R"("iod":1,"prc_problem":true,"rrc_problem":true}])"));
    EXPECT_EQ(lines[2], head(1, 0, R"(,"satellites":[])"));
}

TEST(Json, StationTextAndOtherTypes) {
    StreamEncoder s;
    s.frame({.type = 3, .station = 7, .zcount = 10, .data = station_words(-1, 66378276, -503069032)});
    s.frame({.type = 3, .station = 7, .zcount = 10, .data = station_words(1, 2, 3), .corrupt = {3}});
    s.frame({.type = 16, .station = 7, .zcount = 10, .data = text_words(std::string("Hi\"\\\x01\xe9", 6)), .corrupt = {}});
    s.frame({.type = 16, .station = 7, .zcount = 10, .data = {}});
    s.frame({.type = 6, .station = 7, .zcount = 10, .data = {0x31D2C5}});
    const std::string raw(s.bytes().end() - 5, s.bytes().end());
    ASSERT_EQ(raw.find_first_of("\\\x7f"), std::string::npos);  // needs no escape
    const auto lines = json_lines(s.bytes());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], head(3, 4, R"(,"x":-0.01,"y":663782.76,"z":-5030690.32)"));
    EXPECT_EQ(lines[1], head(3, 4, ""));
    EXPECT_EQ(lines[2], head(16, 2, R"(,"message":"Hi\"\\\u0001\u00e9")"));
    EXPECT_EQ(lines[3], head(16, 0, R"(,"message":"")"));
    EXPECT_EQ(lines[4], head(6, 1, R"(,"raw":")" + raw + "\""));
}

TEST(Json, Measurements) {
    StreamEncoder s;
    s.frame({.type = 18, .station = 7, .zcount = 10, .data = words_18(0, 250000, {{true, false, 1, 2, 3, -256}})});
    // The second frame of a multiple-message set delivers its own satellite only.
    s.frame({.type = 18, .station = 7, .zcount = 10, .data = words_18(0, 250000, {{false, true, 2, 7, 0, 257}})});
    s.frame({.type = 19, .station = 7, .zcount = 10, .data = words_19(2, 1, 5, {{true, 0, 15, 0, 1000000000}})});
    s.frame({.type = 20, .station = 7, .zcount = 10, .data = words_20(1, 0, {{true, 9, 0, 31, 255, -1}})});
    s.frame({.type = 21, .station = 7, .zcount = 10, .data = words_21(3, 3, 999999, {{true, false, true, 5, 7, 1, 8, -1, -128}})});
    s.frame({.type = 21, .station = 7, .zcount = 10, .data = {}});
    const auto lines = json_lines(s.bytes());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], head(18, 3, R"(,"f":0,"tom":250000,"meas_time":36006.25,"satellites":[{"sv":1,"half_wave":true,)"
                                    R"("p_code":false,"phase_err":0.01239,"loss":3,"phase":-2}])"));
    EXPECT_EQ(lines[1], head(18, 3, R"(,"f":0,"tom":250000,"meas_time":36006.25,"satellites":[{"sv":2,"half_wave":false,)"
                                    R"("p_code":true,"phase_err":0.2223,"loss":0,"phase":1.00390625}])"));
    EXPECT_EQ(lines[2], head(19, 3, R"(,"f":2,"sm":1,"tom":5,"meas_time":36006.000005,"satellites":[{"sv":32,)"
                                    R"("p_code":true,"pr_err":8.069,"mp_err":0.1,"pseudorange":20000000}])"));
    EXPECT_EQ(lines[3], head(20, 3, R"(,"f":1,"tom":0,"meas_time":36006,"satellites":[{"sv":9,"half_wave":true,)"
                                    R"("phase_err":0.00391,"loss":31,"iod":255,"phase_corr":-0.00390625}])"));
    EXPECT_EQ(lines[4], head(21, 3, R"(,"f":3,"sm":3,"tom":999999,"meas_time":36006.999999,"satellites":[{"sv":5,)"
                                    R"("rr_scale":true,"p_code":false,"pr_scale":true,"pr_err":8.069,"mp_err":0.149,)"
                                    R"("iod":8,"prc":-0.32,"rrc":-4.096}])"));
    EXPECT_EQ(lines[5], head(21, 0, R"(,"satellites":[])"));
}

TEST(Json, CommandLineWritesOneLinePerFrame) {
    const auto r = run_tool(TESSALY_DECODE, {"--format", "json", "--clock", "2026-12-06T10:20:00Z", "--leap", "13"},
                            std::string(message_1_example.begin(), message_1_example.end()) + "\r\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, message_1_json + "\n");
}
