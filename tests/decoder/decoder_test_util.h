#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "rtcmdecw.h"

namespace tessaly::testing {

inline void feed(RtcmDecoder& d, const std::vector<std::uint8_t>& bytes) {
    for (auto b : bytes) d.rtcm_decode_byte(b);
}

// A decoder fed frame by frame from one continuous encoded stream, by
// default with the clock at 10:20 so that a Z-count z gives the frame time
// 36000 + 0.6 z.
struct Link {
    FixedClock clock;
    RtcmDecoder d{clock};
    StreamEncoder enc;
    std::size_t sent = 0;
    explicit Link(ClockReading now = {2026, 12, 6, 10, 20, 0, 0}) : clock(now) {}
    Link& send(const FrameFields& f) {
        enc.frame(f);
        const auto& b = enc.bytes();
        for (; sent < b.size(); ++sent) d.rtcm_decode_byte(b[sent]);
        return *this;
    }
    std::vector<int> delivered() const {
        return {d.delivery.svs.begin(), d.delivery.svs.begin() + d.delivery.sv_count};
    }
};

template <class List>
std::vector<int> svs_of(const List& list) {
    std::vector<int> out;
    for (const auto& s : list) out.push_back(s.sv);
    return out;
}

template <class List>
const typename List::value_type* find_sv(const List& list, int sv) {
    for (const auto& s : list)
        if (s.sv == sv) return &s;
    return nullptr;
}

}  // namespace tessaly::testing
