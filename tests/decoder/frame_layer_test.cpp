// Frame header, frame hour, latency, dispatch bookkeeping and publication.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "rtcm_encoder.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

ClockReading at(int h, int m, int s = 0, int ms = 0) { return {2026, 12, 6, h, m, s, ms}; }

struct Fixture {
    FixedClock clock;
    RtcmDecoder d{clock};
    explicit Fixture(ClockReading now) : clock(now) {}
    void frame(const FrameSpec& f) {
        StreamEncoder s;
        s.frame(f);
        feed(d, s.bytes());
    }
};

}  // namespace

TEST(Header, TenByteExample) {
    Fixture f(at(10, 30));
    feed(f.d, {0x40, 0x66, 0x41, 0x42, 0x68, 0x48, 0x78, 0x4B, 0x4C, 0x45, 0x5D});
    EXPECT_EQ(f.d.header.msg_type, 1);
    EXPECT_EQ(f.d.header.station_id, 5u);
    EXPECT_DOUBLE_EQ(f.d.header.frame_time, 10 * 3600 + 600.0);
    EXPECT_EQ(f.d.header.sequence, 3);
    EXPECT_EQ(f.d.header.frame_length, 7);
    EXPECT_EQ(f.d.header.health, 0);
    EXPECT_EQ(f.d.state.word_index, 2);
    // Published right after header word 2.
    EXPECT_TRUE(f.d.header_info.new_header);
    EXPECT_EQ(f.d.header_info.msg_type, 1u);
    EXPECT_EQ(f.d.header_info.station_id, 5u);
    EXPECT_EQ(f.d.header_info.sequence, 3);
    EXPECT_DOUBLE_EQ(f.d.header_info.frame_time, 36600.0);
}

TEST(Header, FrameHourFromTheClock) {
    struct Case {
        const char* name;
        ClockReading now;
        std::uint16_t zcount;
        double frame_time;
    };
    const Case cases[] = {
        {"largest Z-count", at(0, 30), 8191, 8191 * 0.6},
        {"end of previous hour, across midnight", at(0, 5), 4500, 23 * 3600 + 2700.0},
        {"end of previous hour", at(14, 14, 59), 4500, 13 * 3600 + 2700.0},
        {"start of next hour, across midnight", at(23, 50), 100, 60.0},
        {"start of next hour", at(9, 46), 100, 10 * 3600 + 60.0},
        {"within the hour", at(9, 20), 2500, 9 * 3600 + 1500.0},
    };
    for (const auto& c : cases) {
        Fixture f(c.now);
        f.frame({.type = 1, .station = 1, .zcount = c.zcount, .data = {}});
        EXPECT_DOUBLE_EQ(f.d.header.frame_time, c.frame_time) << c.name;
    }
}

TEST(Header, LatencyIsTheFramesAgeAcrossHourAndDay) {
    struct Case {
        const char* name;
        ClockReading now;
        std::uint16_t zcount;
        std::uint8_t type;
        double latency;
    };
    const Case cases[] = {
        {"plain", at(10, 10, 2, 500), 1000, 1, 2.5 + 13},
        {"frame from the previous hour", at(11, 0, 10), 5983, 1, 20.2 + 13},  // 59:49.8
        {"frame from before midnight", at(0, 2, 0), 5900, 1, 180 + 13},      // 23:59:00
        {"frame slightly in the future", at(10, 0, 0), 10, 1, -6 + 13},
        {"GLONASS types subtract the leap seconds once more", at(10, 10, 2, 500), 1000, 32, 2.5},
        {"type 36 as well", at(10, 10, 2, 500), 1000, 36, 2.5},
        {"type 37 not", at(10, 10, 2, 500), 1000, 37, 2.5 + 13},
    };
    for (const auto& c : cases) {
        Fixture f(c.now);
        f.frame({.type = c.type, .station = 1, .zcount = c.zcount, .data = {}});
        EXPECT_NEAR(f.d.latency, c.latency, 1e-6) << c.name;
    }
}

TEST(Frames, LengthZeroEndsAtHeaderWord2WithoutPublication) {
    Fixture f(at(10, 0));
    f.frame({.type = 16, .station = 2, .zcount = 10, .data = {}});
    EXPECT_EQ(f.d.state.word_index, 0);
    EXPECT_TRUE(f.d.frame_done);
    EXPECT_TRUE(f.d.frame_done_rec);
    EXPECT_FALSE(f.d.header_info.new_header);
    EXPECT_EQ(f.d.frames_completed, 1u);
    EXPECT_TRUE(f.d.frame_completed);
}

TEST(Frames, ThirtyOneDataWordsThenTheNextHeader) {
    Fixture f(at(10, 0));
    std::vector<std::uint32_t> data(31);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint32_t(i * 0x010203u);
    StreamEncoder s;
    s.frame({.type = 22, .station = 2, .zcount = 10, .data = data});
    s.frame({.type = 23, .station = 2, .zcount = 11, .data = {7}});
    const auto& bytes = s.bytes();
    // Up to the last data word of the first frame.
    feed(f.d, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1 + 33 * 5));
    EXPECT_EQ(f.d.header.frame_length, 33);
    EXPECT_EQ(f.d.state.word_index, 0);
    EXPECT_EQ(f.d.stores.data_other.raw.size(), 155u);
    feed(f.d, std::vector<std::uint8_t>(bytes.begin() + 1 + 33 * 5, bytes.end()));
    EXPECT_EQ(f.d.frames_completed, 2u);
    EXPECT_EQ(f.d.stores.data_other.msg_type, 23);
}

TEST(Frames, OtherTypesStoreTheRawCharactersOfTheirDataWords) {
    Fixture f(at(10, 0));
    f.frame({.type = 6, .station = 2, .zcount = 10, .data = {}});
    EXPECT_EQ(f.d.stores.data_other.msg_type, 0);  // N = 0 leaves the store alone
    EXPECT_EQ(f.d.stores.data_other.raw, "");

    StreamEncoder s;
    s.frame({.type = 6, .station = 2, .zcount = 20, .data = {0xABCDEF}, .corrupt = {2}});
    feed(f.d, s.bytes());
    const auto& bytes = s.bytes();
    EXPECT_EQ(f.d.stores.data_other.msg_type, 6);
    EXPECT_EQ(f.d.stores.data_other.frame_length, 3);
    EXPECT_DOUBLE_EQ(f.d.stores.data_other.time, 10 * 3600 + 12.0);
    // Stored as received, parity failure or not.
    EXPECT_EQ(f.d.stores.data_other.raw, std::string(bytes.end() - 5, bytes.end()));
}

TEST(Frames, DataWordsOfEveryTypeAreFollowedToTheFrameEnd) {
    for (std::uint8_t type : {1, 2, 9, 16, 18, 19, 20, 21, 22, 63}) {
        Fixture f(at(10, 0));
        StreamEncoder s;
        s.frame({.type = type, .station = 4, .zcount = 1, .data = {0x400000, 0x123456, 0x654321, 0x0F0F0F, 0x111111}});
        s.frame({.type = type, .station = 4, .zcount = 2, .data = {0x400000, 0x222222, 0x333333}});
        feed(f.d, s.bytes());
        EXPECT_EQ(f.d.frames_completed, 2u) << int(type);
        EXPECT_EQ(f.d.sync_losses, 0u) << int(type);
    }
}
