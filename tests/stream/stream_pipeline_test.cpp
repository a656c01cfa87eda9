// The stream's time axis and byte shares, as every consumer of completed
// frames sees them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "ais_sentences.h"
#include "rtcm_encoder.h"
#include "stream_pipeline.h"

namespace tessaly::stream {
namespace {

using testing::FrameFields;
using testing::StreamEncoder;

// 2026-12-06T00:00:00Z
constexpr double kDay = 1796515200.0;

struct Step {
    ClockReading clock;  // the decoder's clock when the frame arrives
    int type;
    int zcount;
    double utc;          // expected, seconds after kDay
};

struct AxisCase {
    const char* name;
    std::vector<Step> steps;
};

class StreamTimeTest : public ::testing::TestWithParam<AxisCase> {};

TEST_P(StreamTimeTest, PlacesEachFrameOnOneUtcAxis) {
    FixedClock clock;
    RtcmDecoder decoder(clock);
    StreamPipeline pipeline(decoder);
    StreamEncoder enc;
    std::size_t sent = 0;
    for (const Step& s : GetParam().steps) {
        clock.set(s.clock);
        enc.frame(FrameFields{.type = std::uint8_t(s.type), .station = 7, .zcount = std::uint16_t(s.zcount)});
        const auto& bytes = enc.bytes();
        std::vector<double> seen;
        pipeline.feed(std::span(bytes).subspan(sent), [&](const CompletedFrame& f) { seen.push_back(f.utc); });
        sent = bytes.size();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NEAR(seen[0] - kDay, s.utc, 1e-6) << "type " << s.type << " zcount " << s.zcount;
    }
}

// GPS types count in GPS time (18 s ahead of UTC), GLONASS types in UTC.
const ClockReading at1020{2026, 12, 6, 10, 20, 0, 0};
INSTANTIATE_TEST_SUITE_P(Frames, StreamTimeTest, ::testing::Values(
    AxisCase{"GpsFrameTakesTheClocksHourAndDate", {{at1020, 1, 1000, 36600 - 18}}},
    AxisCase{"GlonassFrameCountsInUtc", {{at1020, 1, 1000, 36582}, {at1020, 31, 1030, 36618}}},
    // A recording read in a moment: the fixed clock never leaves 10:20,
    // yet the Z-count passes the hour and the next.
    AxisCase{"FastReplayKeepsItsOwnHours",
             {{at1020, 1, 5990, 39594 - 18}, {at1020, 1, 10, 39606 - 18}, {at1020, 1, 2000, 40800 - 18},
              {at1020, 1, 4000, 42000 - 18}, {at1020, 1, 5995, 43197 - 18}, {at1020, 1, 5, 43203 - 18}}},
    AxisCase{"FrameSlightlyOlderThanThePrevious", {{at1020, 19, 1010, 36588}, {at1020, 18, 1005, 36585}}},
    AxisCase{"PastMidnight", {{{2026, 12, 6, 23, 55, 0, 0}, 1, 5900, 86340 - 18},
                              {{2026, 12, 6, 23, 55, 0, 0}, 1, 100, 86460 - 18}}},
    // A frame from just before midnight read just after it belongs to the
    // day before the clock's.
    AxisCase{"ClockAlreadyPastMidnight", {{{2026, 12, 7, 0, 0, 30, 0}, 1, 5980, 86388 - 18}}},
    // A live source back after an hour and more: the clock places it again.
    AxisCase{"ClockJumpPlacesTheFrameAgain", {{at1020, 1, 1000, 36582}, {{2026, 12, 6, 11, 40, 0, 0}, 1, 1000, 40182}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The demonstration stream with AIS sentences among its bytes, read in
// chunks of odd sizes (frames end anywhere within them) and a byte at a time
// (as the window feeds it): the same frames, theirs included, every byte
// taken and the frames' shares adding up to them; bytes held back at the end
// are the stream's.
TEST(StreamPipeline, AisSentencesAmongTheBytes) {
    std::ifstream in(TESSALY_DEMO, std::ios::binary);
    const std::string demo{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(demo.empty());
    const std::vector<std::uint32_t> text{testing::header_word_1(16, 9), testing::header_word_2(1001, 1, 1, 0), 0x414243};
    const auto lines = testing::ais_sentences(testing::message_17(1, 0, 0, text), 10, 0, 'B');
    std::string input;
    for (std::size_t at = 0; at < demo.size(); at += 4001) {
        input += demo.substr(at, 4001);
        for (const auto& l : lines) input += l;
    }
    input += "!AI";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    std::vector<int> types[2];
    for (const bool bytewise : {false, true}) {
        FixedClock clock({2026, 12, 6, 10, 12, 0, 0});
        RtcmDecoder decoder(clock);
        StreamPipeline pipeline(decoder);
        std::uint64_t shares = 0;
        const auto take = [&](const CompletedFrame& f) {
            shares += f.bytes;
            types[bytewise].push_back(f.decoder.carrier.ais ? -f.frame.type : f.frame.type);
        };
        if (bytewise)
            for (std::uint8_t b : bytes) pipeline.feed_byte(b, take);
        else
            for (std::size_t at = 0; at < bytes.size(); at += 997) pipeline.feed(bytes.subspan(at, std::min<std::size_t>(997, bytes.size() - at)), take);
        pipeline.finish(take);
        EXPECT_EQ(types[bytewise].size(), decoder.frames_completed);
        EXPECT_EQ(std::count(types[bytewise].begin(), types[bytewise].end(), -16), 12);
        EXPECT_EQ(shares + pipeline.bytes_since_frame(), bytes.size());
        EXPECT_EQ(pipeline.bytes(), bytes.size());
        // The demonstration stream's, and the '!' held back at the end ("AI"
        // go into the word after the last frame).
        EXPECT_EQ(decoder.unused_chars, 133u + 1u);
    }
    EXPECT_EQ(types[0], types[1]);
}

}  // namespace
}  // namespace tessaly::stream
