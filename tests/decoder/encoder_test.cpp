// The test encoder reproduces the published byte examples, so that streams
// it builds for other tests mean what they claim.
#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

using namespace tessaly::testing;
using Bytes = std::vector<std::uint8_t>;

TEST(Encoder, ReproducesTheHeaderAndMessage1ByteExamples) {
    WordEncoder w(false, false);
    EXPECT_EQ(word_to_chars(w.encode(header_word_1(1, 5))), (Bytes{0x66, 0x41, 0x42, 0x68, 0x48}));
    EXPECT_EQ(word_to_chars(w.encode(header_word_2(1000, 3, 5, 0))), (Bytes{0x78, 0x4B, 0x4C, 0x45, 0x5D}));

    StreamEncoder s(false);
    FrameSpec f;
    f.type = 1;
    f.station = 5;
    f.zcount = 1000;
    f.sequence = 3;
    f.data = correction_words({{false, 0, 5, 100, -10, 33}});
    s.frame(f);
    EXPECT_EQ(s.bytes(), (Bytes{0x66, 0x41, 0x42, 0x68, 0x48, 0x78, 0x4B, 0x4C, 0x42, 0x6C,
                                0x5F, 0x7D, 0x5F, 0x76, 0x4C, 0x6F, 0x51, 0x58, 0x55, 0x79}));
}

TEST(Encoder, ComplementsDataAfterD30Set) {
    WordEncoder w(true, true);
    EXPECT_EQ(word_to_chars(w.encode(header_word_1(1, 5))), (Bytes{0x59, 0x7E, 0x7D, 0x57, 0x77}));
}

TEST(Encoder, PacksFieldsAcrossWordsWithAlternatingFill) {
    BitPacker p;
    p.put(0xABC, 12).put(0x5, 4);
    EXPECT_EQ(p.words(), (std::vector<std::uint32_t>{0xABC5AAu}));
    EXPECT_EQ(text_words("ABCD"), (std::vector<std::uint32_t>{0x414243u, 0x440000u}));
    EXPECT_EQ(station_words(-1, 0, 1).size(), 4u);
}
