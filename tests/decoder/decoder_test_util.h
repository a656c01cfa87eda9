#pragma once
#include <cstdint>
#include <vector>

#include "rtcmdecw.h"

namespace tessaly::testing {

inline void feed(RtcmDecoder& d, const std::vector<std::uint8_t>& bytes) {
    for (auto b : bytes) d.rtcm_decode_byte(b);
}

// D1..D24 of the decoder's last word, as the encoder takes them.
inline std::uint32_t data_bits(const RtcmDecoder& d) { return d.state.word >> 8; }

}  // namespace tessaly::testing
