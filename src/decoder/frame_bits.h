#pragma once
// The data bits of a collected frame as one bit string: bit 0 is D1 of the
// first data word, bit 24 D1 of the second, and so on; fields that
// straddle words are read in one piece.

#include <cstdint>

#include "rtcm_more_types.h"

namespace tessaly {

class FrameBits {
public:
    explicit FrameBits(const rtcm_frame_words& w) : w_(w) {}

    std::size_t size() const { return std::size_t(w_.count) * 24; }

    // `n` bits (n <= 63) from bit `pos`, most significant first.
    std::uint64_t u(std::size_t pos, int n) const {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const std::size_t b = pos + std::size_t(i);
            const std::uint32_t word = w_.word[b / 24];
            v = (v << 1) | ((word >> (31 - b % 24)) & 1u);
        }
        return v;
    }
    // The same, two's complement.
    std::int64_t s(std::size_t pos, int n) const {
        const std::uint64_t v = u(pos, n);
        return (v >> (n - 1)) & 1u ? std::int64_t(v) - (std::int64_t(1) << n) : std::int64_t(v);
    }
    bool bit(std::size_t pos) const { return u(pos, 1) != 0; }

private:
    const rtcm_frame_words& w_;
};

}  // namespace tessaly
