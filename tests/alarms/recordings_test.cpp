// The alarms that real recordings raise, read live (the clock following
// each frame) and as files: only what their content warrants. And none in
// a day of the demonstration stream, re-timed loop after loop.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "alarm_test_util.h"
#include "live_retimer.h"
#include "stream_pipeline.h"

namespace tessaly::testing {
namespace {

struct Recording {
    const char* name;
    double start;  // UTC near its first frame (a decoder needs the hour)
    std::set<std::string> rules;
};

const Recording recordings[] = {
    // Health 6 on every frame; station 688, then 652; the GLONASS PRCs of
    // its type 31 are 141 m; week 1625 hour 109 in its type 14.
    {"gpsd-naujoks", 1299158170, {"health", "prc", "station"}},
    // Its first type 1 frames carry no satellite for 4 s: too short for
    // the failure delay of `satellites`.
    {"gpsd-bend", 1578998980, {}},
    // Health 6 on all frames but those of type 1.
    {"rtklib-testglo", 1261177930, {"health"}},
    {"gpsd-sample", 1243850650, {}},
};

class RealRecording : public ::testing::TestWithParam<std::tuple<Recording, bool>> {};

TEST_P(RealRecording, RaisesOnlyWhatItsContentWarrants) {
    const auto& [rec, live] = GetParam();
    const std::string path = std::string(TESSALY_SHARED_DATA) + "/" + rec.name + ".rtcm2";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "recordings absent: " << TESSALY_SHARED_DATA;
    const auto bytes = read_bytes(path);
    const auto events = replay(bytes, frame_steps(bytes, rec.start), alarms::Rules::defaults(), live);
    std::set<std::string> begun;
    for (const alarms::Event& e : events)
        if (e.begin) begun.insert(e.rule);
    EXPECT_EQ(begun, rec.rules) << show(events, rec.start);
}

INSTANTIATE_TEST_SUITE_P(Recordings, RealRecording,
                         ::testing::Combine(::testing::ValuesIn(recordings), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).name;
                             std::erase(name, '-');
                             return name + (std::get<1>(info.param) ? "Live" : "File");
                         });

// The demonstration stream's two minutes, re-timed loop after loop as
// `tessaly-serve --live` does, for 24 hours, read live.
TEST(DemoStream, NoAlarmInADay) {
    const auto demo = read_bytes(TESSALY_DEMO);
    ASSERT_FALSE(demo.empty());
    const double first = 1796544582;  // 08:09:42 UTC: the first frame's Z-count, 10 minutes into the GPS hour
    const std::vector<Step> frames = frame_steps(demo, first);
    ASSERT_EQ(frames.size(), 582u);
    // An hour is 30 loops; the Z-counts repeat after it, and so do the bytes.
    LiveRetimer retimer;
    std::string hour;
    std::vector<Step> hour_steps;
    for (int loop = 0; loop < 30; ++loop) {
        std::size_t at = 0;
        for (const Step& f : frames) {
            const double utc = f.utc + 120.0 * loop;
            retimer.process(reinterpret_cast<const char*>(demo.data() + at), f.end - at, LiveRetimer::time_of(utc, 18), hour);
            at = f.end;
            hour_steps.push_back({hour.size(), utc});
        }
        retimer.process(reinterpret_cast<const char*>(demo.data() + at), demo.size() - at, {}, hour);
    }
    retimer.flush(hour);
    std::vector<std::uint8_t> day;
    std::vector<Step> day_steps;
    for (int h = 0; h < 24; ++h) {
        for (const Step& s : hour_steps) day_steps.push_back({day.size() + s.end, s.utc + 3600.0 * h});
        day.insert(day.end(), hour.begin(), hour.end());
    }
    ASSERT_EQ(day_steps.size(), 582u * 720);
    FixedClock clock(reading_at(first));
    RtcmDecoder decoder(clock);
    stream::StreamPipeline pipeline(decoder);
    alarms::AlarmEngine engine(alarms::Rules::defaults(), "demo");
    std::vector<alarms::Event> events;
    engine.on_event = [&](const alarms::Event& e) { events.push_back(e); };
    double last = 0;
    std::size_t at = 0;
    const auto frame = [&](const stream::CompletedFrame& f) {
        engine.frame(f);
        last = f.utc;
    };
    // Read as a live source reads it: what came in the last 5 s at once,
    // then a tick (a frame's latency stays below 6 s).
    double next = 0;
    for (const Step& s : day_steps) {
        if (s.utc < next) continue;
        clock.set(reading_at(s.utc + 0.3));
        pipeline.feed(std::span(day).subspan(at, s.end - at), frame);
        at = s.end;
        engine.tick(s.utc + 0.3);
        next = s.utc + 5;
    }
    pipeline.feed(std::span(day).subspan(at), frame);
    EXPECT_EQ(decoder.frames_completed, 582u * 720);
    EXPECT_NEAR(last - first, 86400 - 120 + (frames.back().utc - first), 1e-6);
    // The demo's burst of noise, and its lead character read as a word
    // where one loop meets the next.
    EXPECT_EQ(decoder.parity_failures, 2u * 720 - 1);
    EXPECT_TRUE(events.empty()) << show(events, first);
}

}  // namespace
}  // namespace tessaly::testing
