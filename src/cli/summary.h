#pragma once
// The counts that `--format summary` prints at the end of the stream.

#include <cstdint>
#include <array>
#include <ostream>
#include <vector>

#include "rtcmdecw.h"

namespace tessaly::cli {

class SummaryReport {
public:
    // Bytes given to the decoder.
    void count_bytes(std::size_t n) { bytes_ += n; }
    // Called whenever the decoder's `frame_completed` is set.
    void frame_completed(const RtcmDecoder& decoder);
    void write(std::ostream& out, const RtcmDecoder& decoder) const;

private:
    std::uint64_t bytes_ = 0;
    std::array<std::uint64_t, 64> per_type_{};  // by message type (six bits)
    std::vector<std::uint32_t> stations_;  // in order of first appearance
};

}  // namespace tessaly::cli
