#pragma once
// Sending side of the word layer: 24 source data bits become a 30-bit word
// with GPS parity (ICD-GPS-200), its data bits complemented after a word
// that ended in D30 = 1, and five 6-of-8 characters (first bit in bit 0).
// Used where a stream is made rather than read: the live re-timing of a
// served recording and the frames re-encoded from AIS message 17.
//
// Written out bit by bit, apart from the decoder's parity tables, so that
// each checks the other.

#include <cstdint>
#include <string>

namespace tessaly {

// The six parity bits D25..D30 (bit 0 = D25) of 24 source data bits (bit
// 23 = d1) after a word that ended in D29*, D30*.
unsigned gps_parity(std::uint32_t data24, bool d29, bool d30);

// The 30 bits as sent (bit k-1 holds D(k)): the data complemented when
// D30* is set, then `parity6` in D25..D30.
constexpr std::uint32_t sent_word(std::uint32_t data24, unsigned parity6, bool d30) {
    std::uint32_t t = 0;
    for (int k = 1; k <= 24; ++k) t |= std::uint32_t(((data24 >> (24 - k)) & 1u) ^ unsigned(d30)) << (k - 1);
    return t | std::uint32_t(parity6 & 63u) << 24;
}

// The source data (d1 = bit 23) of 30 sent bits after D30*.
constexpr std::uint32_t source_data(std::uint32_t sent30, bool d30) {
    std::uint32_t data = 0;
    for (int k = 1; k <= 24; ++k) data |= std::uint32_t(((sent30 >> (k - 1)) & 1u) ^ unsigned(d30)) << (24 - k);
    return data;
}

// The five 6-of-8 characters that carry 30 sent bits.
constexpr char word_character(std::uint32_t sent30, int i) { return char(0x40u | ((sent30 >> (6 * i)) & 0x3Fu)); }

// Words of a stream in the making, each with parity over the one before.
class WordChain {
public:
    // D29 and D30 of the word before the first.
    explicit WordChain(bool d29 = false, bool d30 = false) : d29_(d29), d30_(d30) {}

    // Appends the five characters of the word that carries `data24`.
    void append(std::uint32_t data24, std::string& out);

    bool d29() const { return d29_; }
    bool d30() const { return d30_; }

private:
    bool d29_;
    bool d30_;
};

}  // namespace tessaly
