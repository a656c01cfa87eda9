// Faults injected one after the other into 48 minutes of a clean
// beacon-like stream (types 9, 1, 3, 7, 16 of station 42): each raises its
// own alarm and nothing else, within 10 s of the time its rule can first
// see it, and ends after the recovery delay; read live and read as a file,
// the stream gives the same events.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>

#include "fault_stream.h"
#include "alarm_engine.h"
#include "alarm_test_util.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "stream_pipeline.h"

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

// The newest correction set (the age rule's measure, which the network
// monitor publishes too) moves with frames that carry a satellite, not with
// empty ones, and is kept whatever rules are on.
TEST(InjectedFaults, NewestCorrectionSetIsOneWithSatellites) {
    StreamEncoder enc;
    enc.frame({.type = 1, .station = 7, .zcount = 100, .data = correction_words({{.id = 3}})});
    enc.frame({.type = 9, .station = 7, .zcount = 110, .data = correction_words({{.id = 5}})});
    enc.frame({.type = 1, .station = 7, .zcount = 120});
    enc.frame({.type = 1, .station = 7, .zcount = 130});
    std::string error;
    const auto off = alarms::parse_rules("[age]\nenabled=false\n[prc]\nenabled=false\n[satellites]\nenabled=false\n", error);
    ASSERT_TRUE(off) << error;
    for (const alarms::Rules& rules : {alarms::Rules::defaults(), *off}) {
        FixedClock clock(reading_at(1796544000));  // 08:00:00 UTC, the start of a GPS hour but for 18 s
        RtcmDecoder decoder(clock);
        stream::StreamPipeline pipeline(decoder);
        alarms::AlarmEngine engine(rules, "test");
        EXPECT_FALSE(engine.newest_correction());
        std::vector<double> times;
        pipeline.feed(std::span(enc.bytes()), [&](const stream::CompletedFrame& f) {
            times.push_back(f.utc);
            engine.frame(f);
        });
        ASSERT_EQ(times.size(), 4u);
        EXPECT_EQ(engine.newest_correction(), times[1]);
    }
}

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

// The rules file: every key of every section, the INI manners of the
// settings file, and each error naming its line.
namespace tessaly::alarms {
namespace {

struct Case {
    const char* name;
    std::string text;
    std::string error;  // empty: parses
    std::function<void(const Rules&)> check = [](const Rules&) {};
};

void same_as_defaults_but(const Rules& r, const char* rule, RuleConfig want) {
    for (const auto& [name, c] : Rules::defaults().rules) {
        const RuleConfig& got = r[name];
        const RuleConfig& expected = name == rule ? want : c;
        EXPECT_EQ(std::tuple(got.enabled, got.limit, got.fail, got.recover),
                  std::tuple(expected.enabled, expected.limit, expected.fail, expected.recover))
            << name;
    }
}

class RulesFile : public ::testing::TestWithParam<Case> {};

TEST_P(RulesFile, Parses) {
    std::string error;
    const auto rules = parse_rules(GetParam().text, error);
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(bool(rules), GetParam().error.empty());
    if (rules) GetParam().check(*rules);
}

INSTANTIATE_TEST_SUITE_P(Texts, RulesFile, ::testing::Values(
    Case{"EmptyIsTheDefaults", "", "", [](const Rules& r) {
        EXPECT_EQ(r.rules.size(), AlarmEngine::rule_names().size());
        same_as_defaults_but(r, "", {});
        EXPECT_EQ(std::tuple(r["age"].limit, r["age"].fail, r["age"].recover), std::tuple(30.0, 0.0, 30.0));
        EXPECT_EQ(r.sync_loss_limit, 5);
        EXPECT_FALSE(r.reference);
        EXPECT_TRUE(r.expect.empty());
    }},
    Case{"EveryKeyOfARule", "[age]\nlimit=45\nfail=5\nrecover=60.5\nenabled=false\n", "",
         [](const Rules& r) { same_as_defaults_but(r, "age", {false, 45, 5, 60.5}); }},
    Case{"InTheSettingsManner", "\xEF\xBB\xBF; a comment\r\n# another\r\n\r\n  [ prc ]  \r\nlimit = \"150\"\r\nenabled=1",
         "", [](const Rules& r) { same_as_defaults_but(r, "prc", {true, 150, 0, 30}); }},
    Case{"UdreIsTheSatellitesRule", "[udre]\nlimit=5\n", "",
         [](const Rules& r) { same_as_defaults_but(r, "satellites", {true, 5, 10, 30}); }},
    Case{"ReferenceExpectAndSyncLosses",
         "[position]\nreference=3875000.5,-1085000,4947000.25\n[missing]\nexpect=1(6), 3(60),16,31(2.5)\n"
         "[parity]\nsync_losses=3\n",
         "", [](const Rules& r) {
             EXPECT_EQ(*r.reference, (std::vector<double>{3875000.5, -1085000, 4947000.25}));
             ASSERT_EQ(r.expect.size(), 3u);
             EXPECT_EQ(std::tuple(r.expect[0].type, r.expect[1].interval, r.expect[2].type, r.expect[2].interval),
                       std::tuple(1, 60.0, 31, 2.5));
             EXPECT_EQ(r.sync_loss_limit, 3);
         }},
    Case{"UnknownSection", "[age]\n[ages]\n", "line 2: unknown section [ages]"},
    Case{"UnclosedSection", "[age\n", "line 1: a section name must end with ]"},
    Case{"KeyOutsideASection", "\nlimit=3\n", "line 2: 'limit' is outside a section"},
    Case{"NoEqualsSign", "[age]\nlimit\n", "line 2: expected key=value"},
    Case{"NotANumber", "[age]\nlimit=3x\n", "line 2: limit: '3x' is not a number"},
    Case{"NotANumberEither", "[age]\nfail=nan\n", "line 2: fail: 'nan' is not a number"},
    Case{"Negative", "[age]\n\nrecover=-1\n", "line 3: recover: must not be negative"},
    Case{"NotAFlag", "[age]\nenabled=yes\n", "line 2: enabled: 'yes' is not true or false"},
    Case{"KeyOfAnotherSection", "[age]\nreference=1,2,3\n", "line 2: unknown key 'reference' in [age]"},
    Case{"TwoCoordinates", "[position]\nreference=1,2\n", "line 2: reference: '1,2' is not X,Y,Z in metres"},
    Case{"FourCoordinates", "[position]\nreference=1,2,3,4\n", "line 2: reference: '1,2,3,4' is not X,Y,Z in metres"},
    Case{"BadType", "[missing]\nexpect=1(6),64(3)\n",
         "line 2: expect: '64(3)' is not an RTCM 2 message type (1 to 63) with its interval, as in 1(6)"},
    Case{"NoInterval", "[missing]\nexpect=1(0)\n", "line 2: expect: '1(0)' has no interval in seconds above 0"},
    Case{"Unclosed", "[missing]\nexpect=1(6\n", "line 2: expect: '1(6' lacks its closing parenthesis"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly::alarms
