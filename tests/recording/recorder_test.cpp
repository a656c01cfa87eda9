// The storing step over streams built by the test encoder: stamp dates,
// taking over the format, failures. The files it writes are compared
// whole in the golden tests of tessaly-decode.
#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "recorder.h"
#include "tool_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

ClockReading at(int y, int mo, int d, int h, int mi, int s = 0) { return {y, mo, d, h, mi, s, 0}; }

struct Rig {
    FixedClock clock;
    RtcmDecoder d{clock};
    RecordingControl control;
    TempPath path{"recording"};
    StoringFile file;
    std::vector<std::string> errors;
    Recorder rec{control, file, [this](const std::string& e) { errors.push_back(e); }};

    explicit Rig(ClockReading now, const std::string& file_name = "") : clock(now) {
        file.create(file_name.empty() ? path.str() : file_name);
        d.set_storing_hook(&rec);
        d.rtcm_decoder_reset();
    }
    void start(StoreFormat f) {
        control.format = f;
        control.storing_active = true;
        control.apply_pending = true;
    }
    void feed(const std::vector<std::uint8_t>& bytes) {
        for (auto b : bytes) d.rtcm_decode_byte(b);
    }
};

constexpr std::uint16_t z_10_10 = 1000;  // 600 s into the hour

}  // namespace

TEST(Stamp, DateFromTheClockMendedAtMidnightInBothDirections) {
    const struct {
        const char* name;
        ClockReading clock;
        std::uint16_t zcount;
        const char* stamp;
    } cases[] = {
        {"same day", at(2026, 12, 31, 23, 59, 58), 5999, "(- 31.12.2026 - 23:59:59 -)"},
        {"frame after midnight, clock before", at(2026, 12, 31, 23, 59, 59), 2, "(-  1. 1.2027 -  0: 0: 1 -)"},
        {"frame before midnight, clock after", at(2027, 1, 1, 0, 0, 1), 5999, "(- 31.12.2026 - 23:59:59 -)"},
        {"2100 is no leap year", at(2100, 2, 28, 23, 59, 59), 2, "(-  1. 3.2100 -  0: 0: 1 -)"},
        {"2024 is one", at(2024, 2, 28, 23, 59, 59), 2, "(- 29. 2.2024 -  0: 0: 1 -)"},
        {"back into a leap day", at(2024, 3, 1, 0, 0, 1), 5999, "(- 29. 2.2024 - 23:59:59 -)"},
    };
    for (const auto& c : cases) {
        Rig r(c.clock);
        EXPECT_EQ(r.rec.stamp, "-1");
        StreamEncoder s;
        s.frame({.type = 6, .station = 5, .zcount = c.zcount, .data = {0}});
        r.feed(s.bytes());
        EXPECT_EQ(r.rec.stamp, c.stamp) << c.name;
    }
}

TEST(Control, FormatIsTakenOverAtTheNextByteOnly) {
    Rig r(at(2026, 12, 6, 10, 20));
    // In sync, before the last word of a frame: each step below only adds a
    // character to that word, which the decoder may take without the step.
    StreamEncoder s;
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {0}});
    r.feed({s.bytes().begin(), s.bytes().end() - 5});
    ASSERT_TRUE(r.d.state.in_sync);
    auto step = [&] { r.d.rtcm_decode_byte(0x40); };
    r.start(StoreFormat::code);
    r.control.storing_active = false;  // Stop and Start with no byte between
    r.start(StoreFormat::text);
    const auto modes = [&] { return std::tuple(r.rec.code_mode, r.rec.text_mode, r.control.raw_mode); };
    step();
    EXPECT_EQ(modes(), std::tuple(false, true, false));
    EXPECT_FALSE(r.control.apply_pending);
    r.control.format = StoreFormat::raw;  // changed while storing: no effect
    step();
    EXPECT_EQ(modes(), std::tuple(false, true, false));
    r.control.storing_active = false;
    r.control.apply_pending = true;
    step();
    EXPECT_EQ(modes(), std::tuple(false, false, false));
    r.start(StoreFormat::raw);
    step();
    EXPECT_EQ(modes(), std::tuple(false, false, true));
}

TEST(Failures, ReachTheSinkAndTheDecoderGoesOn) {
    Rig r(at(2026, 12, 6, 10, 20), "/dev/full");
    r.start(StoreFormat::text);
    StreamEncoder s;
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {1}});
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {2}});
    r.feed(s.bytes());
    EXPECT_EQ(r.errors, std::vector<std::string>(2, "cannot write to /dev/full: No space left on device"));
    EXPECT_EQ(std::tuple(r.rec.failures(), r.d.frames_completed), std::tuple(2u, 2u));
    EXPECT_FALSE(r.d.frame_done_rec || r.d.new_byte);
}
