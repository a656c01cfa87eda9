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

TEST(Extractors, TakeUnsignedAndTwosComplementFields) {
    EXPECT_EQ(get_u8(0x80000000u, 24), 0x80);
    EXPECT_EQ(get_s8(0x80000000u, 24), -128);
    EXPECT_EQ(get_s8(0x7F000000u, 24), 127);
    EXPECT_EQ(get_u16(0xFFFF0000u, 16), 0xFFFF);
    EXPECT_EQ(get_s16(0xFFFF0000u, 16), -1);
    EXPECT_EQ(get_s16(0x80000000u, 16), -32768);
    EXPECT_EQ(get_s16(0x00FF0000u, 8), -256);
}

TEST(WordLayer, PlainAndComplementedHeaderGiveTheSameDataBits) {
    RtcmDecoder plain, complemented;
    feed(plain, cat({{0x40}, header1_plain}));           // bits 4 and 5 of the lead byte clear
    feed(complemented, cat({{0x70}, header1_complemented}));  // both set
    for (auto* d : {&plain, &complemented}) {
        EXPECT_TRUE(d->state.parity_ok);
        EXPECT_TRUE(d->state.in_sync);
        EXPECT_EQ(d->state.word_index, 1);
        EXPECT_EQ(d->header.msg_type, 1);
        EXPECT_EQ(d->header.station_id, 5u);
        EXPECT_EQ(data_bits(*d), 0x660405u);
    }
    EXPECT_NE(plain.state.word & 0xFCu, complemented.state.word & 0xFCu);  // parity bits differ
}

TEST(WordLayer, CandidateIsProcessedOnItsFifthByte) {
    RtcmDecoder d;
    feed(d, {0x40, 0x66, 0x41, 0x42, 0x68});
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(d.unused_chars, 5u);  // every valid byte short of a candidate
    d.rtcm_decode_byte(0x48);
    EXPECT_TRUE(d.state.in_sync);
    EXPECT_FALSE(d.state.word_ready);
    EXPECT_EQ(d.state.word_index, 1);
    EXPECT_EQ(d.unused_chars, 5u);
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

TEST(WordLayer, ComplementedCandidateWithD30ClearFailsAndSearchGoesOn) {
    RtcmDecoder d;
    // 0x59 after a byte with bit 5 clear: D30* = 0, so the data is not
    // complemented back and header word 1 fails.
    feed(d, {0x40, 0x59, 0x7E, 0x7D, 0x57, 0x77});
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(d.sync_losses, 1u);
    EXPECT_EQ(d.parity_failures, 1u);
    EXPECT_TRUE(d.frame_done);
    // The search resumes with the next byte and finds a good frame; the byte
    // before its preamble is 0x77, so it is sent complemented.
    StreamEncoder s(true, true);
    s.frame({.type = 7, .station = 9, .zcount = 10, .data = {0x111111}});
    feed(d, s.bytes());
    EXPECT_EQ(d.frames_completed, 1u);
    EXPECT_EQ(d.stores.data_other.msg_type, 7);
}

TEST(WordLayer, FreshDecoderTakesD30StarFromTheByteBeforeTheCandidate) {
    // At start D29* and D30* are true, but the search takes them from the
    // byte leaving the window: the initial blank (bit 5 set) spoils a plain
    // header at byte 0, which is why the first frame of a stream may be lost.
    RtcmDecoder d;
    feed(d, header1_plain);
    EXPECT_FALSE(d.state.in_sync);
    EXPECT_EQ(d.parity_failures, 1u);
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
    s.word((0x67u << 16) | (1u << 10) | 1023u);  // preamble 103, good parity
    const auto& bytes = s.bytes();
    feed(d, Bytes(bytes.begin(), bytes.end() - 5));
    EXPECT_EQ(d.header.station_id, 1023u);
    EXPECT_EQ(d.frames_completed, 1u);
    feed(d, Bytes(bytes.end() - 5, bytes.end()));
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
