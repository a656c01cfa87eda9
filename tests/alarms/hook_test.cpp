// The hook: tessaly-decode hands it every event in order (the same events
// its JSON and alarm lines carry); a command that fails is reported once;
// one that hangs is ended and holds up neither the decoding nor the run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "alarm_text.h"
#include "fault_stream.h"
#include "hook_runner.h"
#include "stream_pipeline.h"
#include "tool_test_util.h"

namespace tessaly::testing {
namespace {

std::vector<std::string> lines_of(const std::string& text, const std::string& having = {}) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l.find(having) != std::string::npos) out.push_back(l);
    return out;
}

TEST(Hook, GetsEveryEventInOrderAsTheOutputsCarryThem) {
    const FaultStream stream = build_fault_stream();
    TempPath file("faults.rtcm2"), rules("faults.ini"), script("hook.sh"), log("hook.log");
    write_file(file.str(), std::string(stream.bytes.begin(), stream.bytes.end()));
    write_file(rules.str(), fault_stream_rules_file);
    write_file(script.str(), "#!/bin/sh\nprintf '%s|' \"$@\" >> " + log.str() + "\necho >> " + log.str() + "\n");
    ::chmod(script.str().c_str(), 0700);
    const std::vector<std::string> common{"--clock", "2026-12-06T08:00:00Z", "--rules", rules.str()};
    auto args = common;
    args.insert(args.end(), {"--format", "json", "--on-event", script.str(), file.str()});
    const ToolResult json = run_tool(TESSALY_DECODE, args);
    ASSERT_EQ(json.status, 0) << json.err;
    // What the engine itself gives, read as a file.
    const auto events = replay(stream.bytes, stream.steps, fault_stream_rules(), false);
    ASSERT_EQ(events.size(), 2 * faults().size());
    std::vector<std::string> hook_lines, alarm_lines, stderr_lines;
    for (alarms::Event e : events) {
        e.source = file.str();
        hook_lines.push_back(e.rule + "|" + (e.begin ? "begin" : "end") + "|" + alarms::utc_text(e.time) + "|" +
                             e.source + "|" + std::to_string(e.station) + "|" + e.detail + "|" +
                             alarms::severity_name(e.severity) + "|");
        alarm_lines.push_back(alarms::event_line(e));
        stderr_lines.push_back("tessaly-decode: " + alarms::event_line(e));
    }
    EXPECT_EQ(lines_of(read_file(log.str())), hook_lines);
    EXPECT_EQ(lines_of(json.err, " begin ").size() + lines_of(json.err, " end ").size(), events.size());
    EXPECT_EQ(lines_of(json.err, "tessaly-decode: 2026"), stderr_lines);
    const auto objects = lines_of(json.out, "\"class\":\"ALARM\"");
    ASSERT_EQ(objects.size(), events.size());
    EXPECT_EQ(objects[4], "{\"class\":\"ALARM\",\"rule\":\"prc_step\",\"state\":\"begin\",\"time\":"
                          "\"2026-12-06T08:19:00.0Z\",\"source\":\"" + file.str() + "\",\"station\":42,"
                          "\"detail\":\"PRC of G7 jumped 50.0 m (limit 10 m)\",\"severity\":\"alarm\"}");
    // --format alarms: the lines alone, on standard output.
    args = common;
    args.insert(args.end(), {"--format", "alarms", file.str()});
    const ToolResult only = run_tool(TESSALY_DECODE, args);
    EXPECT_EQ(lines_of(only.out), alarm_lines);
    EXPECT_EQ(only.err, "");
    // The summary counts them per rule.
    args = common;
    args.insert(args.end(), {"--format", "summary", file.str()});
    const ToolResult summary = run_tool(TESSALY_DECODE, args);
    EXPECT_NE(summary.out.find("stations: 42 43\nalarms do_not_use: 1\n"), std::string::npos) << summary.out;
    for (const Fault& f : faults())
        EXPECT_NE(summary.out.find(std::string("alarms ") + f.rule + ": 1\n"), std::string::npos) << f.rule;
}

struct Failing {
    const char* name;
    std::string command;
    std::string problem;
};

class FailingHook : public ::testing::TestWithParam<Failing> {};

TEST_P(FailingHook, IsReportedOnce) {
    HookRunner runner(HookRunner::split(GetParam().command), {4, 64, std::chrono::milliseconds(50),
                                                             std::chrono::milliseconds(200)});
    std::vector<std::string> problems;
    runner.on_problem = [&](const std::string& p) { problems.push_back(p); };
    for (int i = 0; i < 6; ++i) runner.run({"age", "begin"});
    runner.drain();
    EXPECT_EQ(problems, std::vector<std::string>{GetParam().problem});
}

INSTANTIATE_TEST_SUITE_P(Hooks, FailingHook, ::testing::Values(
    Failing{"ExitStatus", "sh -c 'exit 3' hook", "sh failed with exit status 3"},
    Failing{"NoSuchProgram", "/nonexistent/hook", "cannot run /nonexistent/hook: No such file or directory"},
    // Its child too: the whole process group is ended.
    Failing{"Hangs", "sh -c 'sleep 30; true' hook", "sh ran longer than 0.2 s and was ended"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hook, ThatHangsHoldsUpNoDecoding) {
    const FaultStream stream = build_fault_stream();
    FixedClock clock(reading_at(fault_stream_start));
    RtcmDecoder decoder(clock);
    stream::StreamPipeline pipeline(decoder);
    alarms::AlarmEngine engine(fault_stream_rules(), "faults");
    HookRunner runner({"sh", "-c", "sleep 30", "hook"}, {2, 4, std::chrono::milliseconds(100), std::chrono::milliseconds(300)});
    std::vector<std::string> problems;
    runner.on_problem = [&](const std::string& p) { problems.push_back(p); };
    int events = 0;
    engine.on_event = [&](const alarms::Event& e) {
        ++events;
        runner.run({e.rule});
    };
    const std::span all(stream.bytes);
    for (std::size_t at = 0; at < all.size(); at += 1024) {
        pipeline.feed(all.subspan(at, std::min<std::size_t>(1024, all.size() - at)),
                      [&](const stream::CompletedFrame& f) { engine.frame(f); });
        runner.poll();
    }
    // Every byte was decoded while the first hook still hung.
    EXPECT_EQ(pipeline.bytes(), stream.bytes.size());
    EXPECT_EQ(events, int(2 * faults().size()));
    EXPECT_EQ(runner.running(), 1u);
    EXPECT_EQ(runner.waiting(), 4u);
    runner.drain();
    EXPECT_EQ(runner.running() + runner.waiting(), 0u);
    EXPECT_EQ(problems, std::vector<std::string>{"sh: events dropped, 4 were waiting for the hooks before them"});
}

}  // namespace
}  // namespace tessaly::testing
