// The "$DGPS" line format and the receive loop's line cutting.
#include <gtest/gtest.h>

#include "RTCM_U5_stations.h"

using namespace tessaly;

namespace {

struct LineCase {
    const char* name;
    const char* line;
    bool parsed;
    char running;
};

class StationLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(StationLine, ParsedOrDropped) {
    const LineCase& c = GetParam();
    const auto s = parse_station_line(c.line);
    ASSERT_EQ(s.has_value(), c.parsed);
    if (s) {
        EXPECT_EQ(s->running, c.running);
    }
}

const LineCase line_cases[] = {
    {"Running", "$DGPS;10.0.0.5;2101;StA;D;ver;m13;x;y;z;1;\r", true, '1'},
    {"NotRunning", "$DGPS;h;1;S;D;a;b;c;d;e;0;\r", true, '0'},
    {"OtherCharacterRuns", "$DGPS;h;1;S;D;a;b;c;d;e;x;\r", true, '1'},
    {"OnlyFirstCharacterCounts", "$DGPS;h;1;S;D;a;b;c;d;e;01;\r", true, '0'},
    {"TenSemicolons", "$DGPS;h;1;S;D;a;b;c;d;e;1\r", false, 0},
    {"NotADgpsLine", "$GPGGA;h;1;S;D;a;b;c;d;e;1;\r", false, 0},
};

INSTANTIATE_TEST_SUITE_P(Format, StationLine, ::testing::ValuesIn(line_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StationLine, FieldsAndItemTextOfTheExampleLine) {
    const auto s = parse_station_line("$DGPS;10.0.0.5;2101;StA;D;ver;m13;x;y;z;1;tail;more\r");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, (TServer{.station = "StA", .address = "10.0.0.5", .port = "2101",
                           .country = "D", .info1 = "ver", .info2 = "m13", .info3 = "x",
                           .info4 = "y", .info5 = "z", .running = '1'}));
    EXPECT_EQ(station_item_text(*s), "+ StA ver m13 x y z 1 ");
}

TEST(StationLines, CutAtCarriageReturnsKeepingTheRestPending) {
    std::string text = "230 ok\r\n$DGPS;a;1;A;D;;;;;;1;\r\n\r\nnoise$DGPS;b;2;B;D;;;;;;0;\r\n$DGPS;c;3";
    const auto lines = take_station_lines(text);
    EXPECT_EQ(lines, (std::vector<std::string>{"$DGPS;a;1;A;D;;;;;;1;\r", "$DGPS;b;2;B;D;;;;;;0;\r"}));
    EXPECT_EQ(text, "$DGPS;c;3");

    std::string no_station = "220 welcome\r\n";
    EXPECT_TRUE(take_station_lines(no_station).empty());
    EXPECT_EQ(no_station, "220 welcome\r\n");  // the login still reads it
}

}  // namespace
