// Number texts: exact rounding with ties away from zero, fields, the
// switch to scientific notation.
#include <gtest/gtest.h>
#include <bit>
#include <cmath>
#include <random>
#include <filesystem>
#include <functional>

#include "format_fixed.h"
#include "tool_test_util.h"
#include "storing_file.h"
#include "rtcm_encoder.h"
#include "recorder.h"

using namespace tessaly;
using namespace tessaly::testing;

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

// The integer short cut against the general code on millions of values:
// the scales of the stream (multiples of 1/256 cycle, 0.02 m, 0.002 m/s as
// float), decimal ties, and random bit patterns of every magnitude.
TEST(NumberTexts, ShortCutGivesTheBytesOfTheGeneralCode) {
    std::mt19937_64 random(20261206);
    const auto check = [](double v, int decimals, int precision) {
        ASSERT_EQ(fixed_text(v, decimals), exact::fixed_text(v, decimals)) << v << " " << decimals;
        ASSERT_EQ(FormatFixed(v, precision, decimals), exact::FormatFixed(v, precision, decimals))
            << v << " " << precision << " " << decimals;
        ASSERT_EQ(json_decimal(v, decimals), exact::json_decimal(v, decimals)) << v << " " << decimals;
    };
    for (long n = -200000; n <= 200000; ++n) {
        const int d = int(n & 15);
        check(double(n) / 256.0, d % 9, 15);
        check(double(n) * 0.02, 2, 3 + d);
        check(double(float(n * 0.002)), 3, 15);
        check((double(n) + 0.5) / 1000.0, 2 + d % 3, 4 + d);
    }
    for (int i = 0; i < 100000; ++i) {
        const double magnitude = std::ldexp(1.0, int(random() % 140) - 70);
        check(double(std::int64_t(random())) / 9.2e18 * magnitude, int(random() % 17), 1 + int(random() % 18));
        check(std::bit_cast<double>(random()), int(random() % 17), 1 + int(random() % 18));
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

// The storing file: create, append, written through at every durability
// step, created anew when moved or deleted (log rotation), and failures
// with the system's reason.
TEST(StoringFile, AppendKeepsCreateEmptiesAndARotatedFileIsCreatedAnew) {
    TempPath p("storing"), moved("storing-moved");
    write_file(p.str(), "old\r\n");
    StoringFile f;
    f.check_path_every(std::chrono::seconds(0));
    f.open_append(p.str());
    f.write("more");
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "old\r\nmore");
    f.create(p.str());
    f.write('x');
    f.make_durable();
    std::filesystem::rename(p.str(), moved.str());
    f.write("second");  // still goes to the descriptor opened by the last step
    f.make_durable();
    f.write("third");
    f.make_durable();
    EXPECT_EQ(read_file(moved.str()), "xsecond");
    EXPECT_EQ(read_file(p.str()), "third");
    std::filesystem::remove(p.str());
    f.write("lost");  // into the deleted file
    f.make_durable();
    f.write("fourth");
    f.make_durable();
    EXPECT_EQ(read_file(p.str()), "fourth");
    f.close();
    EXPECT_FALSE(f.is_open());
    EXPECT_THROW(f.write("y"), StoringError);
}

TEST(StoringFile, FailuresCarryTheSystemsReasonAndDropTheAbandonedText) {
    const auto failure = [](const std::function<void()>& step) -> std::string {
        try {
            step();
        } catch (const StoringError& e) {
            return e.what();
        }
        return "no failure";
    };
    StoringFile f;
    EXPECT_EQ(failure([&] { f.create("/nonexistent-folder/RTCM.DAT"); }),
              "cannot create /nonexistent-folder/RTCM.DAT: No such file or directory");
    EXPECT_FALSE(f.is_open());
    f.open_append("/dev/full");
    f.write("lost");
    EXPECT_EQ(failure([&] { f.make_durable(); }), "cannot write to /dev/full: No space left on device");
    EXPECT_NO_THROW(f.close());  // the failed text is not tried again
}

// The storing step over streams built by the test encoder: stamp dates,
// taking over the format, failures. The files it writes are compared
// whole in the golden tests of tessaly-decode.
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
