#include "rtcm_encoder.h"

#include <initializer_list>

namespace tessaly::testing {

namespace {
// d(k) of a 24-bit source number whose bit 23 is d1.
bool d(std::uint32_t data24, int k) { return (data24 >> (24 - k)) & 1u; }
}  // namespace

std::uint32_t WordEncoder::encode(std::uint32_t data24) {
    data24 &= 0xFFFFFFu;
    auto x = [&](std::initializer_list<int> ks) {
        bool v = false;
        for (int k : ks) v ^= d(data24, k);
        return v;
    };
    const bool D25 = d29_ ^ x({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
    const bool D26 = d30_ ^ x({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
    const bool D27 = d29_ ^ x({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
    const bool D28 = d30_ ^ x({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
    const bool D29 = d30_ ^ x({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
    const bool D30 = d29_ ^ x({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
    std::uint32_t out = 0;
    for (int k = 1; k <= 24; ++k) out |= std::uint32_t(d(data24, k) ^ d30_) << (k - 1);
    const bool parity[6] = {D25, D26, D27, D28, D29, D30};
    for (int i = 0; i < 6; ++i) out |= std::uint32_t(parity[i]) << (24 + i);
    d29_ = D29;
    d30_ = D30;
    return out;
}

std::vector<std::uint8_t> word_to_chars(std::uint32_t transmitted30) {
    std::vector<std::uint8_t> chars(5);
    for (int i = 0; i < 5; ++i) chars[std::size_t(i)] = std::uint8_t(0x40 | ((transmitted30 >> (6 * i)) & 0x3Fu));
    return chars;
}

std::uint32_t header_word_1(std::uint8_t type, std::uint16_t station) {
    return (0x66u << 16) | (std::uint32_t(type & 63u) << 10) | (station & 1023u);
}

std::uint32_t header_word_2(std::uint16_t zcount, std::uint8_t sequence, std::uint8_t n,
                            std::uint8_t health) {
    return (std::uint32_t(zcount & 8191u) << 11) | (std::uint32_t(sequence & 7u) << 8) |
           (std::uint32_t(n & 31u) << 3) | (health & 7u);
}

StreamEncoder::StreamEncoder(bool lead_byte) {
    if (lead_byte) bytes_.push_back(0x40);
}

StreamEncoder& StreamEncoder::word(std::uint32_t data24, bool corrupt) {
    std::uint32_t tx = enc_.encode(data24);
    if (corrupt) tx ^= 1u << 24;  // D25: breaks parity, leaves D29/D30 alone
    for (auto c : word_to_chars(tx)) bytes_.push_back(c);
    return *this;
}

StreamEncoder& StreamEncoder::raw(const std::vector<std::uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

StreamEncoder& StreamEncoder::frame(const FrameFields& f) {
    const int n = f.length >= 0 ? f.length : int(f.data.size());
    word(header_word_1(f.type, f.station), f.corrupt.count(0) > 0);
    word(header_word_2(f.zcount, f.sequence, std::uint8_t(n), f.health), f.corrupt.count(1) > 0);
    for (std::size_t i = 0; i < f.data.size(); ++i) word(f.data[i], f.corrupt.count(int(i) + 2) > 0);
    return *this;
}

}  // namespace tessaly::testing
