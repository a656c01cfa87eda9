// Faults injected one after the other into 48 minutes of a clean
// beacon-like stream (types 9, 1, 3, 7, 16 of station 42): each raises its
// own alarm and nothing else, within 10 s of the time its rule can first
// see it, and ends after the recovery delay; read live and read as a file,
// the stream gives the same events.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "fault_stream.h"

namespace tessaly::testing {
namespace {

constexpr double start = fault_stream_start;

const std::vector<alarms::Event>& events(bool live) {
    static const FaultStream stream = build_fault_stream();
    static const std::vector<alarms::Event> as_file = replay(stream.bytes, stream.steps, fault_stream_rules(), false);
    static const std::vector<alarms::Event> as_live = replay(stream.bytes, stream.steps, fault_stream_rules(), true);
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

INSTANTIATE_TEST_SUITE_P(Faults, InjectedFault, ::testing::Combine(::testing::ValuesIn(faults()), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Live" : "File");
                         });

// Nothing beyond the faults' own events, the same live and from the file.
TEST(InjectedFaults, NothingElseAndTheSameLiveAsFromAFile) {
    const auto& file = events(false);
    const auto& live = events(true);
    EXPECT_EQ(file.size(), 2 * faults().size()) << show(file, start);
    EXPECT_EQ(show(live, start), show(file, start));
    // The details name the figure that crossed the limit.
    EXPECT_NE(show(file, start).find("PRC of G7 jumped 50.0 m (limit 10 m)"), std::string::npos);
}

}  // namespace
}  // namespace tessaly::testing

namespace tessaly::testing {
namespace {

// A rule switched off raises nothing, a limit raised lets its fault pass,
// a shorter recovery ends sooner; the other faults are judged as before.
TEST(InjectedFaults, TheRulesFileTakesEffect) {
    std::string error;
    const auto rules = alarms::parse_rules(std::string(fault_stream_rules_file) +
                                               "[prc_step]\nenabled=false\n[prc]\nlimit=250\n[outage]\nrecover=5\n",
                                           error);
    ASSERT_TRUE(rules) << error;
    const FaultStream stream = build_fault_stream();
    std::vector<alarms::Event> expected;
    for (alarms::Event e : events(false)) {
        if (e.rule == "prc_step" || e.rule == "prc") continue;
        if (e.rule == "outage" && !e.begin) e.time -= 25;
        expected.push_back(e);
    }
    EXPECT_EQ(show(replay(stream.bytes, stream.steps, *rules, false), start), show(expected, start));
}

}  // namespace
}  // namespace tessaly::testing
