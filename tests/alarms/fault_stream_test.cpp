// Faults injected one after the other into 48 minutes of a clean
// beacon-like stream (types 9, 1, 3, 7, 16 of station 42): each raises its
// own alarm and nothing else, within 10 s of the time its rule can first
// see it, and ends after the recovery delay; read live and read as a file,
// the stream gives the same events.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "alarm_test_util.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"

namespace tessaly::testing {
namespace {

constexpr double start = 1796544000;  // 2026-12-06T08:00:00Z
constexpr double step = 0.6;          // one Z-count
constexpr double length = 2880;       // s

struct Fault {
    const char* name;
    const char* rule;
    double from, to;  // s after the start
    // When the rule can first see the fault (its own measure: 3 intervals
    // of a type, a window filling, the silence limit) and when the fault's
    // trace leaves the rule's view; both in s after the start.
    double seen, cleared;
};

// The defaults, with a recovery of 30 s, and types 1 and 3 expected.
const Fault faults[] = {
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

bool during(const char* name, double t) {
    for (const Fault& f : faults)
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

struct FaultStream {
    std::vector<std::uint8_t> bytes;
    std::vector<Step> steps;  // one per Z-count
};

FaultStream build() {
    FaultStream out;
    StreamEncoder enc;
    std::uint8_t seq = 0;
    long words = 0;
    for (int n = 0; n * step < length; ++n) {
        const double t = n * step;
        const auto send = [&](std::uint8_t type, std::vector<std::uint32_t> data) {
            FrameSpec f{.type = type,
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

alarms::Rules rules() {
    std::string error;
    auto r = alarms::parse_rules("[missing]\nexpect=1(6),3(30)\n", error);
    EXPECT_TRUE(r) << error;
    return *r;
}

const std::vector<alarms::Event>& events(bool live) {
    static const FaultStream stream = build();
    static const std::vector<alarms::Event> as_file = replay(stream.bytes, stream.steps, rules(), false);
    static const std::vector<alarms::Event> as_live = replay(stream.bytes, stream.steps, rules(), true);
    return live ? as_live : as_file;
}

class InjectedFault : public ::testing::TestWithParam<std::tuple<Fault, bool>> {};

TEST_P(InjectedFault, RaisesItsOwnAlarmOnly) {
    const auto& [fault, live] = GetParam();
    const auto& all = events(live);
    const double recover = 30;
    // Its events: from the fault on until its alarm has ended, with a few
    // seconds for the next frame of the right kind.
    std::vector<alarms::Event> mine;
    for (const alarms::Event& e : all)
        if (e.time >= start + fault.from && e.time <= start + fault.cleared + 60 + recover + 5) mine.push_back(e);
    ASSERT_EQ(mine.size(), 2u) << show(all, start);
    const alarms::Event& begin = mine[0];
    const alarms::Event& end = mine[1];
    EXPECT_EQ(std::tuple(begin.rule, begin.begin, end.rule, end.begin), std::tuple(std::string(fault.rule), true,
                                                                                  std::string(fault.rule), false))
        << show(all, start);
    EXPECT_GE(begin.time - start, fault.seen - 0.01) << begin.detail;
    EXPECT_LE(begin.time - start, fault.seen + 10) << begin.detail;
    EXPECT_EQ(begin.station, fault.rule == std::string("station") ? 43u : 42u);
    // The parity window lets the failures out over the minute after.
    const double lag = fault.rule == std::string("parity") ? 60 : 0;
    EXPECT_GE(end.time - start, fault.cleared + recover - 0.01) << end.detail;
    EXPECT_LE(end.time - start, fault.cleared + lag + recover + 4) << end.detail;
}

INSTANTIATE_TEST_SUITE_P(Faults, InjectedFault, ::testing::Combine(::testing::ValuesIn(faults), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Live" : "File");
                         });

// Nothing beyond the faults' own events, the same live and from the file.
TEST(InjectedFaults, NothingElseAndTheSameLiveAsFromAFile) {
    const auto& file = events(false);
    const auto& live = events(true);
    EXPECT_EQ(file.size(), 2 * std::size(faults)) << show(file, start);
    EXPECT_EQ(show(live, start), show(file, start));
    // The details name the figure that crossed the limit.
    EXPECT_NE(show(file, start).find("PRC of G7 jumped 50.0 m (limit 10 m)"), std::string::npos);
}

}  // namespace
}  // namespace tessaly::testing
