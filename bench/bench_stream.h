#pragma once
// A stream like a busy RTK reference station's: types 18/19 on two
// frequencies every second, 20/21, 1 and 3, with line ends between frames.
#include <cmath>
#include <cstdint>
#include <vector>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

namespace tessaly::bench {

inline const std::vector<std::uint8_t>& realistic_stream() {
    static const std::vector<std::uint8_t> stream = [] {
        using namespace tessaly::testing;
        StreamEncoder s;
        std::uint8_t seq = 0;
        auto send = [&](std::uint8_t type, int t, std::vector<std::uint32_t> data) {
            s.frame({.type = type, .station = 100, .zcount = std::uint16_t((t * 10 / 6) % 6000),
                     .sequence = seq, .data = std::move(data)});
            seq = std::uint8_t((seq + 1) & 7u);
            s.raw({'\r', '\n'});
        };
        for (int t = 0; s.bytes().size() < 4u * 1024 * 1024; ++t) {
            std::vector<Phase18> ph;
            std::vector<Range19> pr;
            std::vector<PhaseCorr20> pc;
            std::vector<RangeCorr21> rc;
            std::vector<CorrectionBlock> cb;
            for (std::uint8_t sv = 1; sv <= 12; ++sv) {
                ph.push_back({false, false, sv, 2, 0, std::int32_t(sv * 1000003 + t * 977)});
                pr.push_back({false, sv, 3, 4, std::int32_t(1100000000 + sv * 1000 + t * 21)});
                pc.push_back({false, sv, 1, 0, sv, std::int32_t(sv * 17 - t)});
                rc.push_back({false, false, false, sv, 2, 3, sv, std::int16_t(sv * 5), std::int8_t(-sv)});
                cb.push_back({false, 1, sv, std::int16_t(sv * 50 - t), std::int8_t(sv), sv});
            }
            for (std::uint8_t f : {std::uint8_t(0), std::uint8_t(2)}) {
                send(18, t, words_18(f, 1000, ph));
                send(19, t, words_19(f, 1, 1000, pr));
            }
            send(20, t, words_20(0, 1000, pc));
            send(21, t, words_21(0, 0, 1000, rc));
            if (t % 5 == 0) send(1, t, correction_words(cb));
            if (t % 10 == 0) send(3, t, station_words(1, 2, 3));
        }
        return s.take();
    }();
    return stream;
}

}  // namespace tessaly::bench
