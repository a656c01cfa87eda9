// Word assembly, parity and synchronisation; the test encoder against the
// published byte examples, so that the streams it builds mean what they claim.
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "rtcm_encoder.h"
#include "rtcmtype.h"

using namespace tessaly;
using namespace tessaly::testing;
using Bytes = std::vector<std::uint8_t>;

namespace {
const Bytes header1_plain{0x66, 0x41, 0x42, 0x68, 0x48};        // type 1, station 5, D29*=D30*=0
const Bytes header1_complemented{0x59, 0x7E, 0x7D, 0x57, 0x77};  // the same after D29*=D30*=1

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
}  // namespace

TEST(Encoder, ReproducesTheHeaderAndMessage1ByteExamples) {
    WordEncoder plain(false, false), complemented(true, true);
    EXPECT_EQ(word_to_chars(plain.encode(header_word_1(1, 5))), header1_plain);
    EXPECT_EQ(word_to_chars(plain.encode(header_word_2(1000, 3, 5, 0))), (Bytes{0x78, 0x4B, 0x4C, 0x45, 0x5D}));
    EXPECT_EQ(word_to_chars(complemented.encode(header_word_1(1, 5))), header1_complemented);
    StreamEncoder s(false);
    s.frame({.type = 1, .station = 5, .zcount = 1000, .sequence = 3, .data = correction_words({{false, 0, 5, 100, -10, 33}})});
    EXPECT_EQ(s.bytes(), cat(header1_plain, {0x78, 0x4B, 0x4C, 0x42, 0x6C, 0x5F, 0x7D, 0x5F, 0x76, 0x4C, 0x6F, 0x51,
                                             0x58, 0x55, 0x79}));
}

TEST(Parity, EverySingleBitFlipOfAValidWordFails) {
    // Words from the encoder, whose parity is written independently of the
    // decoder's, for all four D29*/D30* combinations.
    for (int star = 0; star < 4; ++star) {
        const bool d29 = star & 1, d30 = star & 2;
        for (std::uint32_t data : {0x660405u, 0x000000u, 0xFFFFFFu, 0x123456u, 0xA5A5A5u, 0x7FFFFEu}) {
            std::uint32_t raw = WordEncoder(d29, d30).encode(data);
            if (d30) raw ^= 0xFFFFFFu;  // back to the source bits, as the decoder does
            ASSERT_TRUE(parity_check(raw, d29, d30)) << std::hex << data;
            for (int bit = 0; bit < 30; ++bit)
                EXPECT_FALSE(parity_check(raw ^ (1u << bit), d29, d30)) << "data " << std::hex << data << " bit " << std::dec << bit;
            EXPECT_FALSE(parity_check(raw, !d29, d30) || parity_check(raw, d29, !d30));
        }
    }
}

TEST(WordLayer, HeaderWord1IsFoundOnItsFifthByteWithThePolarityOfTheByteBefore) {
    const struct {
        const char* name;
        Bytes bytes;
        bool found;
    } cases[] = {
        {"plain after a byte with bits 4 and 5 clear", cat({0x40}, header1_plain), true},
        {"complemented after a byte with both set", cat({0x70}, header1_complemented), true},
        // D30* = 0: the data is not complemented back and the parity fails.
        {"complemented after a byte with bit 5 clear", cat({0x40}, header1_complemented), false},
        // The search takes D29*/D30* from the byte leaving the window: the
        // initial blank (bit 5 set) spoils a plain header at byte 0, which is
        // why the first frame of a stream may be lost.
        {"plain at the start of the stream", header1_plain, false},
    };
    for (const auto& c : cases) {
        RtcmDecoder d;
        feed(d, Bytes(c.bytes.begin(), c.bytes.end() - 1));
        EXPECT_FALSE(d.state.in_sync) << c.name;
        d.rtcm_decode_byte(c.bytes.back());
        EXPECT_EQ(d.state.in_sync, c.found) << c.name;
        EXPECT_EQ(d.parity_failures + d.sync_losses, c.found ? 0u : 2u) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(d.unused_chars, c.bytes.size() - 1) << c.name;  // every valid byte short of a candidate
        EXPECT_EQ(std::tuple(d.state.word_index, d.header.msg_type, d.header.station_id), std::tuple(1, 1, 5u)) << c.name;
    }
}

TEST(WordLayer, InvalidBytesAreCountedAndNeverShiftOrEndAnything) {
    RtcmDecoder d;
    Bytes noise;
    for (int b = 0; b < 256; ++b)
        if (b < 64 || b > 127) noise.push_back(std::uint8_t(b));
    feed(d, noise);
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(d.unused_chars, noise.size());
    // Invalid bytes between the bytes of the candidate and of the next word.
    RtcmDecoder e;
    feed(e, {0x40, 0x66, 0x0A, 0x41, 0x42, 0xFF, 0x68, 0x48});
    EXPECT_EQ(e.state.word_index, 1);
    const auto before = e.unused_chars;
    feed(e, {0x78, 0x4B, 0x0D, 0x0A, 0x4C, 0x45, 0x00, 0x5D});
    EXPECT_EQ(e.unused_chars, before + 3);
    EXPECT_EQ(std::tuple(e.header.frame_length, e.state.word_index), std::tuple(7, 2));
}

TEST(SyncLoss, OnlyOnHeaderWordsAndNeverOnOtherDataWords) {
    const struct {
        const char* name;
        std::set<int> corrupt;
        std::uint64_t frames, losses;
    } cases[] = {
        {"clean", {}, 2, 0},
        {"header word 1 of the first frame", {0}, 1, 1},
        {"header word 2 of the first frame", {1}, 1, 1},
        {"a data word", {3}, 2, 0},
    };
    for (const auto& c : cases) {
        RtcmDecoder d;
        StreamEncoder s;
        s.frame({.type = 22, .station = 3, .zcount = 5, .data = {1, 2, 3}, .corrupt = c.corrupt});
        s.frame({.type = 22, .station = 3, .zcount = 6, .data = {4, 5, 6}});
        feed(d, s.bytes());
        EXPECT_EQ(std::tuple(d.frames_completed, d.sync_losses), std::tuple(c.frames, c.losses)) << c.name;
        EXPECT_EQ(d.stores.data_other.raw.size(), 15u) << c.name;
    }
}

TEST(SyncLoss, WrongPreambleClearsTheHeaderAndResetKeepsCountersAndStores) {
    RtcmDecoder d;
    StreamEncoder s;
    s.frame({.type = 22, .station = 1023, .zcount = 5, .data = {1}});
    feed(d, s.bytes());
    EXPECT_EQ(d.header.station_id, 1023u);
    s.word((0x67u << 16) | (1u << 10) | 1023u);  // preamble 103, good parity
    feed(d, Bytes(s.bytes().end() - 5, s.bytes().end()));
    EXPECT_TRUE(d.state.parity_ok);
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(std::tuple(d.header.station_id, d.header.msg_type, d.sync_losses), std::tuple(0u, 0, 1u));
    feed(d, {0x66, 0x41});
    d.rtcm_decoder_reset();
    EXPECT_TRUE(!d.state.in_sync && d.state.d29_star() && d.state.d30_star());
    EXPECT_EQ(d.state.window, (std::array<std::uint8_t, 5>{' ', ' ', ' ', ' ', ' '}));
    EXPECT_EQ(std::tuple(d.frames_completed, d.stores.data_other.msg_type), std::tuple(1u, 22));
}

// Frame header, frame hour, latency, dispatch bookkeeping and publication.
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

// Ageing. Purge and insert-or-replace are followed
// through whole streams in the message tests.
TEST(Staleness, AgesAcrossMidnightAndKeepsEqualOrNewerRecords) {
    EXPECT_FALSE(is_stale(100, 100));           // the same Z-count: a multiple-message set
    EXPECT_FALSE(is_stale(100, 100.25));        // measurement time after the frame time
    EXPECT_FALSE(is_stale(160, 100));           // 60 s is not more than 60 s
    EXPECT_TRUE(is_stale(161, 100));
    EXPECT_FALSE(is_stale(30, 86390));          // 23:59:50 seen at 00:00:30: 40 s
    EXPECT_TRUE(is_stale(60, 86390));           // at 00:01:00: 70 s
    EXPECT_FALSE(is_stale(10, 86395));          // 15 s
    EXPECT_DOUBLE_EQ(record_age(30, 86390), 40);
}
