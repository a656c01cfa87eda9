#include "fault_stream.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

namespace tessaly::testing {

namespace {

constexpr double start = fault_stream_start;
constexpr double step = 0.6;          // one Z-count
constexpr double length = 2880;       // s

}  // namespace

// The defaults (a recovery of 30 s), types 1 and 3 expected.
const std::vector<Fault>& faults() {
    static const std::vector<Fault> table = {
    {"DoNotUse", "do_not_use", 660, 720, 660, 720},
    {"Health7", "health", 900, 960, 900, 960},
    // A jump, and the jump back 20 s later while the alarm still stands.
    {"PrcJump50m", "prc_step", 1140, 1160, 1140, 1161.2},
    {"Prc200m", "prc", 1380, 1440, 1380, 1440},
    {"StationMoved1m", "position", 1620, 1740, 1623, 1743},
    // The last type 1 came at 1854; 3 intervals of 6 s later it is missing.
    {"Type1Missing2min", "missing", 1860, 1980, 1872, 1980},
    {"StationIdChanged", "station", 2100, 2120, 2100, 2121.2},
    // 5 % of the words: the 60 s window holds more than 1 % after 12 s.
    {"BrokenParity5Percent", "parity", 2340, 2430, 2352, 2430},
    // The last frame came at 2578.8: 20 s of silence later.
    {"Silence", "outage", 2580, 2640, 2598.8, 2640},
    };
    return table;
}

namespace {

bool during(const char* name, double t) {
    for (const Fault& f : faults())
        if (std::string(f.name) == name) return t >= f.from && t < f.to;
    return false;
}

struct Sat {
    std::uint8_t sv, iod, udre;
    double base;  // m
    int rate;     // 0.002 m/s
};
const Sat sats[] = {{2, 11, 0, 12.4, 5}, {5, 23, 1, -8.2, -3}, {7, 37, 0, 3.1, 4}, {9, 41, 1, -15.7, 2},
                    {12, 52, 0, 20.3, -6}, {15, 66, 1, -2.5, 1}, {21, 78, 0, 6.6, -2}, {27, 90, 1, -11.1, 3}};

CorrectionBlock block(const Sat& s, double t, bool marks) {
    double prc = s.base + s.rate * 0.002 * t;
    if (s.sv == 7 && during("PrcJump50m", t)) prc += 50;
    if (s.sv == 9 && during("Prc200m", t)) prc = 200;
    std::int16_t range = std::int16_t(std::lround(prc / 0.02));
    if (marks && s.sv == 5 && during("DoNotUse", t)) range = -32768;  // 8000 hex
    return {false, s.udre, s.sv, range, std::int8_t(s.rate), s.iod};
}

}  // namespace

FaultStream build_fault_stream() {
    FaultStream out;
    StreamEncoder enc;
    std::uint8_t seq = 0;
    long words = 0;
    for (int n = 0; n * step < length; ++n) {
        const double t = n * step;
        const auto send = [&](std::uint8_t type, std::vector<std::uint32_t> data) {
            FrameFields f{.type = type,
                        .station = std::uint16_t(during("StationIdChanged", t) ? 43 : 42),
                        .zcount = std::uint16_t(std::lround((std::fmod(start, 3600) + 18 + t) / step) % 6000),
                        .sequence = seq,
                        .health = std::uint8_t(during("Health7", t) ? 7 : 0),
                        .data = std::move(data)};
            for (std::size_t w = 0; w < f.data.size() + 2; ++w, ++words)
                if (during("BrokenParity5Percent", t) && words % 20 == 0) f.corrupt.insert(int(w));
            enc.frame(f);
            seq = std::uint8_t((seq + 1) & 7u);
        };
        if (!during("Silence", t)) {
            if (n % 10 == 0 && !during("Type1Missing2min", t)) {
                std::vector<CorrectionBlock> all;
                for (const Sat& s : sats) all.push_back(block(s, t, true));
                send(1, correction_words(all));
            }
            if (n % 2 == 0) {
                const std::size_t first = std::size_t(n / 2 * 3);
                send(9, correction_words({block(sats[first % 8], t, false), block(sats[(first + 1) % 8], t, false),
                                          block(sats[(first + 2) % 8], t, false)}));
            }
            if (n % 50 == 5) send(3, station_words(-258937712 + (during("StationMoved1m", t) ? 100 : 0), 467613298, 449877210));
            if (n % 100 == 13) send(7, {0x2A5B3C, 0x41D2E6, 0x1F0A55});
            if (n % 500 == 17) send(16, text_words("BEACON 42 IN SERVICE"));
        }
        out.steps.push_back({enc.bytes().size(), start + t});
    }
    out.bytes = enc.take();
    return out;
}

alarms::Rules fault_stream_rules() {
    std::string error;
    auto r = alarms::parse_rules(fault_stream_rules_file, error);
    if (!r) throw std::runtime_error(error);
    return *r;
}

}  // namespace tessaly::testing
