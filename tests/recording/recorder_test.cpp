// The storing step over streams built by the test encoder and decoded by
// the real decoder, compared with the whole storing file.
#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "recorder.h"
#include "recording_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;
using Bytes = std::vector<std::uint8_t>;

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
    void start(StoreFormat f, std::initializer_list<std::uint8_t> types = {}) {
        control.format = f;
        control.all_types = types.size() == 0;
        for (auto t : types) control.select(t);
        control.storing_active = true;
        control.apply_pending = true;
    }
    void feed(const Bytes& bytes) {
        for (auto b : bytes) d.rtcm_decode_byte(b);
    }
    std::string written() {
        file.make_durable();
        return read_file(path.str());
    }
};

// The characters of a stream from byte `from` for `count` bytes.
std::string chars(const Bytes& b, std::size_t from, std::size_t count) {
    return std::string(b.begin() + long(from), b.begin() + long(from + count));
}

Bytes frame(StreamEncoder& s, const FrameSpec& f) {
    const std::size_t from = s.bytes().size();
    s.frame(f);
    return Bytes(s.bytes().begin() + long(from), s.bytes().end());
}

constexpr std::uint16_t z_10_10 = 1000;  // 600 s into the hour

}  // namespace

TEST(CodeFormat, AllTypesLinesStampsWrappingAndLossOfSync) {
    Rig r(at(2026, 12, 6, 10, 20));
    r.start(StoreFormat::code);
    StreamEncoder s;  // lead byte '@'
    std::vector<Phase18> sats;
    for (std::uint8_t sv = 1; sv <= 15; ++sv) sats.push_back({.sv = sv});
    const Bytes f18 = frame(s, {.type = 18, .station = 5, .zcount = z_10_10, .data = words_18(0, 0, sats)});
    ASSERT_EQ(f18.size(), 33u * 5);
    const Bytes lost = frame(s, {.type = 1, .station = 5, .zcount = z_10_10, .corrupt = {1}});
    const Bytes f6 = frame(s, {.type = 6, .station = 5, .zcount = z_10_10, .data = {0x123456}});
    r.feed(s.bytes());

    EXPECT_EQ(r.written(),
              // Until the first word the window's reset blanks come out, then the lead byte.
              "    @\r\n(-  6.12.2026 - 10:10: 0 -)\r\n(18) " + chars(f18, 0, 155) +
                  " -\r\n     " + chars(f18, 155, 10) +
                  // Header word 2 fails: the held-back start of the line, then
                  // the characters one by one while searching.
                  "( 1) " + chars(lost, 0, 5) + " +\r\n(  ) " + chars(lost, 5, 5) +
                  "\r\n( 6) " + chars(f6, 0, 15));
    EXPECT_TRUE(r.errors.empty());
}

TEST(CodeFormat, SelectedTypesOnlyWholeFramesOfThoseTypes) {
    Rig r(at(2026, 12, 6, 10, 20));
    r.start(StoreFormat::code, {18});
    StreamEncoder s;
    frame(s, {.type = 1, .station = 5, .zcount = z_10_10, .data = correction_words({{.id = 3}})});
    const Bytes a = frame(s, {.type = 18, .station = 5, .zcount = z_10_10, .data = words_18(0, 0, {{.sv = 4}})});
    // A failed first data word of type 18 ends synchronisation.
    const Bytes b = frame(s, {.type = 18, .station = 5, .zcount = z_10_10, .data = words_18(2, 0, {}), .corrupt = {2}});
    const Bytes c = frame(s, {.type = 18, .station = 5, .zcount = z_10_10, .data = words_18(2, 0, {})});
    r.feed(s.bytes());
    EXPECT_EQ(r.written(), "\r\n(-  6.12.2026 - 10:10: 0 -)\r\n(18) " + chars(a, 0, 25) + "\r\n(18) " +
                               chars(b, 0, 15) + " +\r\n(  ) " + "\r\n(18) " + chars(c, 0, 15));
}

TEST(TextFormat, AllTypesStampLinesBlocksAndTheTypeZeroBlock) {
    Rig r(at(2026, 12, 6, 10, 20));
    r.start(StoreFormat::text);
    StreamEncoder s;
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {0x123456}});
    s.word(header_word_1(6, 5), true);  // a header word 1 that fails parity
    s.frame({.type = 22, .station = 5, .zcount = 1001, .data = {}});
    r.feed(s.bytes());
    r.clock.set(at(2026, 12, 6, 11, 5));  // the next hour
    StreamEncoder t(r.d.state.d29_star, r.d.state.d30_star);
    t.frame({.type = 17, .station = 5, .zcount = 200, .data = {1, 2}});
    r.feed(t.bytes());

    EXPECT_EQ(r.written(),
              "(-  6.12.2026 - 10:10: 0 -) delay:613.000\r\n"
              "frame: 6 latency: 613.000\r\n"
              "other frame  :   6      Length :  3\r\n"
              "m-z-count    : 36600.0\r\n"
              "frame: 0 latency: 613.000\r\n"
              "other frame  :   0      Length :  0\r\n"
              "m-z-count    :     0.0\r\n"
              // N = 0 frame: no stamp of its own, the hour is unchanged.
              "frame: 22 latency: 612.400\r\n"
              "other frame  :  22      Length :  2\r\n"
              "m-z-count    : 36600.6\r\n"
              "(-  6.12.2026 - 11: 2: 0 -) delay:193.000\r\n"
              "frame: 17 latency: 193.000\r\n"
              "other frame  :  17      Length :  4\r\n"
              "m-z-count    : 39720.0\r\n");
}

TEST(TextFormat, SelectedTypesWriteNothingForOthers) {
    Rig r(at(2026, 12, 6, 10, 20));
    r.start(StoreFormat::text, {1, 16});
    StreamEncoder s;
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {0x123456}});
    s.word(header_word_1(6, 5), true);
    s.frame({.type = 16, .station = 5, .zcount = 1002, .data = {}});
    r.feed(s.bytes());
    EXPECT_FALSE(r.d.frame_done_rec);
    EXPECT_EQ(r.written(), "(-  6.12.2026 - 10:10: 0 -) delay:611.800\r\n"
                           "frame: 16 latency: 611.800\r\n"
                           "Special Frame  INFOTEXT                            FRAME 16\r\n" +
                               std::string(90, ' ') + "\r\n\r\n");
}

TEST(Stamp, DateFromTheClockMendedAtMidnightInBothDirections) {
    struct Case {
        const char* name;
        ClockReading clock;
        std::uint16_t zcount;
        const char* stamp;
    };
    const Case cases[] = {
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
    auto step = [&] { r.d.rtcm_decode_byte(0x40); };
    r.start(StoreFormat::code);
    r.control.storing_active = false;  // Stop and Start with no byte between
    r.start(StoreFormat::text);
    step();
    EXPECT_FALSE(r.rec.code_mode);
    EXPECT_TRUE(r.rec.text_mode);
    EXPECT_FALSE(r.control.apply_pending);
    r.control.format = StoreFormat::raw;  // changed while storing: no effect
    step();
    EXPECT_TRUE(r.rec.text_mode);
    EXPECT_FALSE(r.control.raw_mode);
    r.control.storing_active = false;
    r.control.apply_pending = true;
    step();
    EXPECT_FALSE(r.rec.text_mode);
    r.start(StoreFormat::raw);
    step();
    EXPECT_TRUE(r.control.raw_mode);
    EXPECT_FALSE(r.rec.code_mode || r.rec.text_mode);
    EXPECT_FALSE(r.control.selects(4));
    EXPECT_FALSE(r.control.select(4));
}

TEST(Failures, ReachTheSinkAndTheDecoderGoesOn) {
    Rig r(at(2026, 12, 6, 10, 20), "/dev/full");
    r.start(StoreFormat::text);
    StreamEncoder s;
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {1}});
    s.frame({.type = 6, .station = 5, .zcount = z_10_10, .data = {2}});
    r.feed(s.bytes());
    EXPECT_EQ(r.errors, std::vector<std::string>(2, "cannot write to /dev/full: No space left on device"));
    EXPECT_EQ(r.rec.failures(), 2u);
    EXPECT_EQ(r.d.frames_completed, 2u);
    EXPECT_FALSE(r.d.frame_done_rec);
    EXPECT_FALSE(r.d.new_byte);
}
