#pragma once
// The counts that `--format summary` prints at the end of the stream.

#include <cstdint>
#include <array>
#include <ostream>
#include <vector>

#include "ais_input.h"
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

// The AIS lines of the summary, after the RTCM 2 ones: sentences, those
// dropped and why, messages 17 not decoded, and whole messages by type.
void write_ais_summary(std::ostream& out, const AisCounts& counts);

}  // namespace tessaly::cli
