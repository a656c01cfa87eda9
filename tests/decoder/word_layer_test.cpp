// Word assembly, parity and synchronisation.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "rtcm_encoder.h"

using namespace tessaly;
using namespace tessaly::testing;
using Bytes = std::vector<std::uint8_t>;

namespace {
const Bytes header1_plain{0x66, 0x41, 0x42, 0x68, 0x48};        // type 1, station 5, D29*=D30*=0
const Bytes header1_complemented{0x59, 0x7E, 0x7D, 0x57, 0x77};  // the same after D29*=D30*=1

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
}  // namespace

TEST(Parity, EverySingleBitFlipOfAValidWordFails) {
    // Words from the encoder, whose parity is written independently of the
    // decoder's, for all four D29*/D30* combinations.
    const std::uint32_t samples[] = {0x660405, 0x000000, 0xFFFFFF, 0x123456, 0xA5A5A5, 0x7FFFFE};
    for (int star = 0; star < 4; ++star) {
        const bool d29 = star & 1, d30 = star & 2;
        for (auto data : samples) {
            WordEncoder enc(d29, d30);
            std::uint32_t raw = enc.encode(data);
            if (d30) raw ^= 0xFFFFFFu;  // back to the source bits, as the decoder does
            ASSERT_TRUE(parity_check(raw, d29, d30)) << std::hex << data;
            for (int bit = 0; bit < 30; ++bit)
                EXPECT_FALSE(parity_check(raw ^ (1u << bit), d29, d30)) << "data " << std::hex << data << " bit " << std::dec << bit;
            EXPECT_FALSE(parity_check(raw, !d29, d30));
            EXPECT_FALSE(parity_check(raw, d29, !d30));
        }
    }
}

TEST(WordLayer, HeaderWord1IsFoundOnItsFifthByteWithThePolarityOfTheByteBefore) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool found;
    };
    const Case cases[] = {
        {"plain after a byte with bits 4 and 5 clear", cat({{0x40}, header1_plain}), true},
        {"complemented after a byte with both set", cat({{0x70}, header1_complemented}), true},
        // D30* = 0: the data is not complemented back and the parity fails.
        {"complemented after a byte with bit 5 clear", cat({{0x40}, header1_complemented}), false},
        // At start D29* and D30* are true, but the search takes them from the
        // byte leaving the window: the initial blank (bit 5 set) spoils a plain
        // header at byte 0, which is why the first frame of a stream may be lost.
        {"plain at the start of the stream", header1_plain, false},
    };
    for (const auto& c : cases) {
        RtcmDecoder d;
        feed(d, Bytes(c.bytes.begin(), c.bytes.end() - 1));
        EXPECT_FALSE(d.state.in_sync) << c.name;
        d.rtcm_decode_byte(c.bytes.back());
        EXPECT_EQ(d.state.in_sync, c.found) << c.name;
        EXPECT_EQ(d.parity_failures, c.found ? 0u : 1u) << c.name;
        EXPECT_EQ(d.sync_losses, c.found ? 0u : 1u) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(d.unused_chars, c.bytes.size() - 1) << c.name;  // every valid byte short of a candidate
        EXPECT_TRUE(d.state.parity_ok && !d.state.word_ready) << c.name;
        EXPECT_EQ(d.state.word_index, 1) << c.name;
        EXPECT_EQ(d.header.msg_type, 1) << c.name;
        EXPECT_EQ(d.header.station_id, 5u) << c.name;
        EXPECT_EQ(data_bits(d), 0x660405u) << c.name;
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
    EXPECT_TRUE(e.state.parity_ok);
    EXPECT_EQ(e.unused_chars, before + 3);
    EXPECT_EQ(e.header.frame_length, 7);
    EXPECT_EQ(e.state.word_index, 2);
}

TEST(SyncLoss, OnlyOnHeaderWordsAndNeverOnOtherDataWords) {
    struct Case {
        const char* name;
        std::set<int> corrupt;
        std::uint64_t frames, losses;
    };
    const Case cases[] = {
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
        EXPECT_EQ(d.frames_completed, c.frames) << c.name;
        EXPECT_EQ(d.sync_losses, c.losses) << c.name;
        EXPECT_EQ(d.stores.data_other.raw.size(), 15u) << c.name;
    }
}

TEST(SyncLoss, WrongPreambleClearsTheHeader) {
    RtcmDecoder d;
    StreamEncoder s;
    s.frame({.type = 1, .station = 1023, .zcount = 5, .data = {}});
    feed(d, s.bytes());
    EXPECT_EQ(d.header.station_id, 1023u);
    EXPECT_EQ(d.frames_completed, 1u);
    s.word((0x67u << 16) | (1u << 10) | 1023u);  // preamble 103, good parity
    feed(d, Bytes(s.bytes().end() - 5, s.bytes().end()));
    EXPECT_TRUE(d.state.parity_ok);
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(d.header.station_id, 0u);
    EXPECT_EQ(d.header.msg_type, 0);
    EXPECT_EQ(d.sync_losses, 1u);
}

TEST(WordLayer, ResetRestoresTheSearchButKeepsCountersAndStores) {
    RtcmDecoder d;
    StreamEncoder s;
    s.frame({.type = 22, .station = 3, .zcount = 5, .data = {1}});
    feed(d, s.bytes());
    feed(d, {0x66, 0x41});
    d.rtcm_decoder_reset();
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_TRUE(d.state.d29_star);
    EXPECT_TRUE(d.state.d30_star);
    EXPECT_EQ(d.state.window, (std::array<std::uint8_t, 5>{' ', ' ', ' ', ' ', ' '}));
    EXPECT_EQ(d.frames_completed, 1u);
    EXPECT_EQ(d.stores.data_other.msg_type, 22);
}
