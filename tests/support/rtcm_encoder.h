#pragma once
// A small RTCM SC-104 version 2 encoder for tests, the benchmark, the fuzz
// seeds and the demonstration stream. It builds 30-bit words with GPS parity
// (ICD-GPS-200), complements the data bits after a word ending in D30 = 1,
// and packs each word into five 6-of-8 characters (first bit in bit 0).
//
// Its parity is written out bit by bit, independently of the decoder's
// mask table, and both are checked against the published byte examples.

#include <cstdint>
#include <set>
#include <vector>

namespace tessaly::testing {

// 24 data bits are given as a number whose bit 23 is D1 and bit 0 is D24.
class WordEncoder {
public:
    // D29 and D30 of the word sent before the first one.
    explicit WordEncoder(bool d29 = false, bool d30 = false) : d29_(d29), d30_(d30) {}
    // The 30 bits as transmitted: bit k-1 holds D(k).
    std::uint32_t encode(std::uint32_t data24);
    bool d29() const { return d29_; }
    bool d30() const { return d30_; }

private:
    bool d29_;
    bool d30_;
};

// Five 6-of-8 characters of a transmitted word.
std::vector<std::uint8_t> word_to_chars(std::uint32_t transmitted30);

struct FrameFields {
    std::uint8_t type = 1;
    std::uint16_t station = 0;
    std::uint16_t zcount = 0;  // modified Z-count, 0..8191 (units of 0.6 s)
    std::uint8_t sequence = 0;
    std::uint8_t health = 0;
    std::vector<std::uint32_t> data;  // data words, 24 bits each
    int length = -1;                  // N in header word 2; -1: data.size()
    // Words sent with a broken parity bit (D25): 0 is header word 1, 1 header
    // word 2, 2 the first data word, and so on.
    std::set<int> corrupt;
};

class StreamEncoder {
public:
    // Starts with a byte whose bits 4 and 5 are clear, so that a decoder
    // searching from the first byte takes D29* = D30* = 0 for the first word.
    explicit StreamEncoder(bool lead_byte = true);
    // Continues a stream whose last word ended in these D29 and D30.
    StreamEncoder(bool d29, bool d30) : enc_(d29, d30) {}
    StreamEncoder& frame(const FrameFields& f);
    StreamEncoder& word(std::uint32_t data24, bool corrupt = false);
    // Bytes sent as they are (noise, line ends); the word encoder's D29/D30
    // are left as they are.
    StreamEncoder& raw(const std::vector<std::uint8_t>& bytes);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    WordEncoder enc_;
    std::vector<std::uint8_t> bytes_;
};

// Header words of a frame.
std::uint32_t header_word_1(std::uint8_t type, std::uint16_t station);
std::uint32_t header_word_2(std::uint16_t zcount, std::uint8_t sequence, std::uint8_t n,
                            std::uint8_t health);

}  // namespace tessaly::testing
