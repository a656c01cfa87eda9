// Frame header, frame hour, latency, dispatch bookkeeping and publication.

#include <cstdlib>
#include <ctime>

#include "decoder_test_util.h"
#include "rtcm_encoder.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

ClockReading at(int h, int m, int s = 0, int ms = 0) { return {2026, 12, 6, h, m, s, ms}; }

}  // namespace

// The Z-count counts GPS time within the hour, so the default clock must
// read UTC: in a zone 5:45 from UTC local time would move the frame hour.
TEST(Clock, DefaultClockReadsUtcWhateverTheLocalZone) {
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    ::setenv("TZ", "<+0545>-5:45", 1);
    ::tzset();
    const std::time_t before = std::time(nullptr);
    const ClockReading r = system_clock().now_utc();
    const std::time_t after = std::time(nullptr);
    zone ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    std::tm t{.tm_sec = r.second, .tm_min = r.minute, .tm_hour = r.hour, .tm_mday = r.day, .tm_mon = r.month - 1,
              .tm_year = r.year - 1900};
    EXPECT_GE(::timegm(&t), before);
    EXPECT_LE(::timegm(&t), after);
}

// The hour is the clock's, moved by one where the Z-count lies more than
// half an hour away; the latency is the frame's age plus the leap seconds
// (18 unless told otherwise: GPS - UTC since 2017).
TEST(Header, FrameHourAndLatencyAcrossHourAndDay) {
    struct Case {
        const char* name;
        ClockReading now;
        std::uint16_t zcount;
        std::uint8_t type;
        double frame_time, latency;
    };
    const Case cases[] = {
        {"plain", at(10, 10, 2, 500), 1000, 1, 36600, 2.5 + 18},
        {"within the hour, in the future", at(9, 20), 2500, 1, 9 * 3600 + 1500.0, -300 + 18},
        {"largest Z-count", at(0, 30), 8191, 1, 8191 * 0.6, 1800 - 8191 * 0.6 + 18},
        {"end of previous hour", at(14, 14, 59), 4500, 1, 13 * 3600 + 2700.0, 1799 + 18},
        {"end of previous hour, across midnight", at(0, 5), 4500, 1, 23 * 3600 + 2700.0, 1200 + 18},
        {"frame from the previous hour", at(11, 0, 10), 5983, 1, 39589.8, 20.2 + 18},  // 10:59:49.8
        {"frame from before midnight", at(0, 2, 0), 5900, 1, 86340, 180 + 18},       // 23:59:00
        {"start of next hour", at(9, 46), 100, 1, 10 * 3600 + 60.0, -900 + 18},
        {"start of next hour, across midnight", at(23, 50), 100, 1, 60.0, -660 + 18},
        {"frame slightly in the future", at(10, 0, 0), 10, 1, 36006, -6 + 18},
        {"GLONASS types subtract the leap seconds once more", at(10, 10, 2, 500), 1000, 32, 36600, 2.5},
        {"type 36 as well", at(10, 10, 2, 500), 1000, 36, 36600, 2.5},
        {"type 37 not", at(10, 10, 2, 500), 1000, 37, 36600, 2.5 + 18},
    };
    for (const auto& c : cases) {
        Link l(c.now);
        l.send({.type = c.type, .station = 1, .zcount = c.zcount, .data = {}});
        EXPECT_DOUBLE_EQ(l.d.header.frame_time, c.frame_time) << c.name;
        EXPECT_NEAR(l.d.latency, c.latency, 1e-6) << c.name;
    }
}

TEST(Frames, OtherTypeWithLengthZeroAndOne) {
    Link l(at(10, 0));
    // N = 0 ends at header word 2, publishes its header there and leaves
    // the store alone.
    l.send({.type = 6, .station = 2, .zcount = 10, .data = {}});
    EXPECT_TRUE(l.d.frame_done && l.d.frame_done_rec && l.d.frame_completed && l.d.header_info.new_header &&
                l.d.header_info.msg_type == 6u && l.d.header_info.frame_time == 36006.0);
    l.d.header_info.new_header = false;
    EXPECT_EQ(std::tuple(l.d.state.word_index, l.d.frames_completed, l.d.stores.data_other.msg_type), std::tuple(0, 1u, 0));

    // N = 1: the raw characters as received, parity failure or not.
    l.send({.type = 6, .station = 2, .zcount = 20, .data = {0xABCDEF}, .corrupt = {2}});
    EXPECT_EQ(std::tuple(l.d.stores.data_other.msg_type, l.d.stores.data_other.frame_length), std::tuple(6, 3));
    EXPECT_DOUBLE_EQ(l.d.stores.data_other.time, 10 * 3600 + 12.0);
    // Published at header word 2 for the pages' header strip.
    const auto& h = l.d.header_info;
    EXPECT_TRUE(h.new_header && h.msg_type == 6u && h.station_id == 2u && h.frame_time == 36012.0);
    EXPECT_EQ(l.d.stores.data_other.raw, std::string(l.enc.bytes().end() - 5, l.enc.bytes().end()));
}

TEST(Frames, ThirtyOneDataWordsThenTheNextHeader) {
    Link l(at(10, 0));
    std::vector<std::uint32_t> data(31);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint32_t(i * 0x010203u);
    StreamEncoder s;
    s.frame({.type = 22, .station = 2, .zcount = 10, .data = data});
    s.frame({.type = 23, .station = 2, .zcount = 11, .data = {7}});
    const auto& bytes = s.bytes();
    // Up to the last data word of the first frame.
    feed(l.d, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1 + 33 * 5));
    EXPECT_EQ(std::tuple(l.d.header.frame_length, l.d.state.word_index, l.d.stores.data_other.raw.size()),
              std::tuple(33, 0, 155u));
    feed(l.d, std::vector<std::uint8_t>(bytes.begin() + 1 + 33 * 5, bytes.end()));
    EXPECT_EQ(std::tuple(l.d.frames_completed, l.d.stores.data_other.msg_type), std::tuple(2u, 23));
}
