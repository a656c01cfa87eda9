#include "alarm_test_util.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "stream_pipeline.h"

namespace tessaly::testing {

ClockReading reading_at(double utc) {
    const double whole = std::floor(utc);
    const std::time_t t = std::time_t(whole);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
            int(std::lround((utc - whole) * 1000)) % 1000};
}

std::vector<alarms::Event> replay(const std::vector<std::uint8_t>& bytes, const std::vector<Step>& steps,
                                  const alarms::Rules& rules, bool live, double lag) {
    FixedClock clock(reading_at(steps.empty() ? 0 : steps.front().utc));
    RtcmDecoder decoder(clock);
    stream::StreamPipeline pipeline(decoder);
    alarms::AlarmEngine engine(rules, "test stream");
    std::vector<alarms::Event> events;
    engine.on_event = [&](const alarms::Event& e) { events.push_back(e); };
    const auto frame = [&](const stream::CompletedFrame& f) { engine.frame(f); };
    const std::span all(bytes);
    if (!live) {
        for (std::size_t at = 0; at < bytes.size(); at += 4096)
            pipeline.feed(all.subspan(at, std::min<std::size_t>(4096, bytes.size() - at)), frame);
        return events;
    }
    std::size_t at = 0;
    for (const Step& s : steps) {
        clock.set(reading_at(s.utc + lag));
        pipeline.feed(all.subspan(at, s.end - at), frame);
        at = s.end;
        engine.tick(s.utc + lag);
    }
    return events;
}

std::vector<Step> frame_steps(const std::vector<std::uint8_t>& bytes, double start) {
    FixedClock clock(reading_at(start));
    RtcmDecoder decoder(clock);
    stream::StreamPipeline pipeline(decoder);
    std::vector<Step> steps;
    std::uint64_t at = 0;
    pipeline.feed(std::span(bytes), [&](const stream::CompletedFrame& f) {
        at += f.bytes;
        steps.push_back({std::size_t(at), f.utc});
    });
    return steps;
}

std::string show(const std::vector<alarms::Event>& events, double origin) {
    std::string out;
    for (const alarms::Event& e : events) {
        char t[32];
        std::snprintf(t, sizeof t, "%.1f", e.time - origin);
        out += std::string(e.begin ? "begin " : "end ") + e.rule + " " + t + " " + e.detail + "\n";
    }
    return out;
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace tessaly::testing
