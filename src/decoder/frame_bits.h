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
    // Taken in runs of the bits that lie in one word: D1..D24 are bits 31..8.
    std::uint64_t u(std::size_t pos, int n) const {
        std::uint64_t v = 0;
        while (n > 0) {
            const int off = int(pos % 24);
            const int take = n < 24 - off ? n : 24 - off;
            const std::uint32_t run = (w_.word[pos / 24] >> (32 - off - take)) & ((1u << take) - 1u);
            v = (v << take) | run;
            pos += std::size_t(take);
            n -= take;
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
