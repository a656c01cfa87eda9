// The test encoder reproduces the published byte examples, so that streams
// it builds for other tests mean what they claim.
#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

using namespace tessaly::testing;
using Bytes = std::vector<std::uint8_t>;

TEST(Encoder, ReproducesTheHeaderAndMessage1ByteExamples) {
    WordEncoder plain(false, false), complemented(true, true);
    EXPECT_EQ(word_to_chars(plain.encode(header_word_1(1, 5))), (Bytes{0x66, 0x41, 0x42, 0x68, 0x48}));
    EXPECT_EQ(word_to_chars(plain.encode(header_word_2(1000, 3, 5, 0))), (Bytes{0x78, 0x4B, 0x4C, 0x45, 0x5D}));
    // After D30* = 1 the data bits go out complemented.
    EXPECT_EQ(word_to_chars(complemented.encode(header_word_1(1, 5))), (Bytes{0x59, 0x7E, 0x7D, 0x57, 0x77}));

    StreamEncoder s(false);
    s.frame({.type = 1, .station = 5, .zcount = 1000, .sequence = 3, .data = correction_words({{false, 0, 5, 100, -10, 33}})});
    EXPECT_EQ(s.bytes(), (Bytes{0x66, 0x41, 0x42, 0x68, 0x48, 0x78, 0x4B, 0x4C, 0x42, 0x6C,
                                0x5F, 0x7D, 0x5F, 0x76, 0x4C, 0x6F, 0x51, 0x58, 0x55, 0x79}));
}
