#include "word_encoding.h"

#include <initializer_list>

namespace tessaly {

namespace {

bool x(std::uint32_t data24, std::initializer_list<int> ks) {
    bool v = false;
    for (int k : ks) v ^= (data24 >> (24 - k)) & 1u;
    return v;
}

}  // namespace

unsigned gps_parity(std::uint32_t data24, bool d29, bool d30) {
    const bool D25 = d29 ^ x(data24, {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
    const bool D26 = d30 ^ x(data24, {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
    const bool D27 = d29 ^ x(data24, {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
    const bool D28 = d30 ^ x(data24, {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
    const bool D29 = d30 ^ x(data24, {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
    const bool D30 = d29 ^ x(data24, {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
    return unsigned(D25) | unsigned(D26) << 1 | unsigned(D27) << 2 | unsigned(D28) << 3 | unsigned(D29) << 4 |
           unsigned(D30) << 5;
}

void WordChain::append(std::uint32_t data24, std::string& out) {
    data24 &= 0xFFFFFFu;
    const std::uint32_t sent = sent_word(data24, gps_parity(data24, d29_, d30_), d30_);
    for (int i = 0; i < 5; ++i) out += word_character(sent, i);
    d29_ = (sent >> 28) & 1u;
    d30_ = (sent >> 29) & 1u;
}

}  // namespace tessaly
