// tessaly-decode as a user runs it: whole outputs, sources, errors.
#include <gtest/gtest.h>
#include <filesystem>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>

#include "tool_test_util.h"

using namespace tessaly::testing;

namespace fs = std::filesystem;

namespace {

const std::string tool = TESSALY_DECODE;
const std::string demo = TESSALY_DEMO;
const std::string clock_arg = "2026-12-06T10:12:00Z";

// What the summary of the demonstration stream says, checked by hand.
const std::string demo_summary = read_file(TESSALY_DEMO_SUMMARY);

}  // namespace

// Over TCP in the live-source tests.
TEST(DecodeTool, SummaryOfTheDemonstrationStreamFromFileAndStdin) {
    const std::pair<std::string, std::string> cases[] = {{demo, ""}, {"", read_file(demo)}};  // source argument, standard input
    for (const auto& [source, input] : cases) {
        std::vector<std::string> args{"--format", "summary", "--clock", clock_arg};
        if (!source.empty()) args.push_back(source);  // standard input by default
        const auto r = run_tool(tool, args, input);
        EXPECT_EQ(r.status, 0) << source << r.err;
        EXPECT_EQ(r.out, demo_summary) << source;
        EXPECT_EQ(r.err, "") << source;
    }
    TempPath out("summary");  // an output file is appended to
    for (int i = 0; i < 2; ++i) EXPECT_EQ(run_tool(tool, {"--format", "summary", "-o", out.str(), demo}).out, "");
    EXPECT_EQ(read_file(out.str()), demo_summary + demo_summary);
}

TEST(DecodeTool, DemonstrationStreamIsWhatTheEncoderMakes) {
    TempPath made("demo");
    ASSERT_EQ(run_tool(TESSALY_MAKE_DEMO, {made.str()}).status, 0);
    EXPECT_TRUE(read_file(made.str()) == read_file(demo)) << "data/demo.rtcm2 is stale: regenerate it with tessaly-make-demo";
}

TEST(DecodeTool, ErrorsNameTheirCauseAndExitStatus) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(closed_port());
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string err_part;
    } cases[] = {
        {"missing file", {"/nonexistent/x.rtcm2"}, 1, "cannot open /nonexistent/x.rtcm2: No such file or directory"},
        {"directory", {"/"}, 1, "cannot read /: Is a directory"},
        {"refused connection", {refused}, 1, "Connection refused"},
        {"bad TCP address", {"tcp://nohostport"}, 1, "expected tcp://HOST:PORT"},
        {"port beyond 16 bits", {"tcp://127.0.0.1:99999"}, 1, "the port must be 1..65535"},
        {"port 0", {"tcp://127.0.0.1:0"}, 1, "the port must be 1..65535"},
        {"unknown option", {"--frobnicate"}, 2, "unknown option '--frobnicate'"},
        {"unknown format", {"--format", "xml"}, 2, "unknown format 'xml'"},
        {"bad clock", {"--clock", "2026-02-30T10:00:00Z"}, 2, "bad --clock"},
        {"bad leap", {"--leap", "13s"}, 2, "bad --leap '13s'"},
        {"missing value", {"--leap"}, 2, "missing value after '--leap'"},
        {"two sources", {"a", "b"}, 2, "more than one source"},
        {"type without a check box", {"--types", "4"}, 2, "bad --types value '4'"},
        {"type among good ones", {"--types", "1,17"}, 2, "bad --types value '17'"},
        {"empty type", {"--types", "1,,3"}, 2, "bad --types value ''"},
        {"type with a suffix", {"--types", "18a"}, 2, "bad --types value '18a'"},
        {"empty type list", {"--types", ""}, 2, "bad --types value ''"},
        {"unwritable output", {"-o", "/nonexistent/out.txt", demo}, 1, "cannot open /nonexistent/out.txt"},
        {"summary into a full device", {"--format", "summary", "-o", "/dev/full", demo}, 1,
         "cannot write /dev/full: No space left on device"},
        {"frames into a full device", {"-o", "/dev/full", demo}, 1, "cannot write to /dev/full: No space left on device"},
    };
    for (const auto& c : cases) {
        const auto r = run_tool(tool, c.args);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_NE(r.err.find(c.err_part), std::string::npos) << c.name << ": " << r.err;
        // The cause stands on the first line, named once.
        EXPECT_LT(r.err.find(c.err_part), r.err.find('\n')) << c.name;
        EXPECT_TRUE(c.status != 1 || r.err.find('\n') == r.err.size() - 1) << c.name << ": " << r.err;
    }
    // --clock takes exactly the documented form.
    for (const char* clock : {"2026-12-06T10:12:00", "2026-12-06T10:12:00.2500Z", "2026-12-06T10:12:00.25Z",
                              "2026-12-06T10:12:00.Z", "+026-12-06T10:12:00Z", "2026-+1-06T10:12:00Z",
                              "2026-12-06 10:12:00Z", "2026-12-06t10:12:00z", "2026-02-29T10:12:00Z",
                              "2026-12-06T24:00:00Z", "2026-12-06T10:12:60Z"})
        EXPECT_EQ(run_tool(tool, {"--clock", clock, "/dev/null"}).status, 2) << clock;
    // Every type of the storing dialog is accepted, and a clock to the millisecond, on a leap day.
    for (const char* clock : {"2026-12-06T10:12:00.250Z", "2028-02-29T23:59:59.999Z"}) {
        const auto all = run_tool(tool, {"--types", "1,2,3,9,16,18,19,20,21", "--clock", clock, "--format", "code", "/dev/null"});
        EXPECT_EQ(all.status, 0) << all.err;
        EXPECT_EQ(all.out + all.err, "");
    }
}

TEST(DecodeTool, OutputIntoTheInputIsRefusedAndAFullOutputStopsAtOnce) {
    TempPath copy("input");
    write_file(copy.str(), read_file(demo));
    const std::string into_itself[] = {
        "'" + tool + "' --format code -o '" + copy.str() + "' '" + copy.str() + "'",
        "'" + tool + "' --format json -o '" + copy.str() + "' < '" + copy.str() + "'",
        "'" + tool + "' --format text '" + copy.str() + "' >> '" + copy.str() + "'",
    };
    for (const std::string& command : into_itself) {
        const auto r = run_tool("bash", {"-c", command});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.err.find("is the input"), std::string::npos) << command << r.err;
    }
    EXPECT_TRUE(read_file(copy.str()) == read_file(demo));
    // An endless stream: killed after 30 s (status 137) if the failure is
    // noticed only at the end.
    const auto full = run_tool("bash", {"-c", "while cat '" + demo + "'; do :; done | '" + tool +
                                                  "' --format json -o /dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "tessaly-decode: cannot write /dev/full: No space left on device\n");
}

TEST(Programs, AnswerHelpAndVersionAndNameUsageErrors) {
    std::vector<std::string> programs = {tool};
#ifdef TESSALY_MONITOR
    programs.insert(programs.end(), {TESSALY_MONITOR, TESSALY_SERVE});
#endif
    for (const std::string& path : programs) {
        const std::string name = fs::path(path).filename().string();
        // No display: the monitor must answer before it opens a window.
        const auto run = [&](const std::string& arg) {
            return run_tool("env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", path, arg});
        };
        const auto help = run("--help");
        EXPECT_EQ(help.status, 0) << name << help.err;
        EXPECT_EQ(help.out.rfind("Usage: " + name + " [options]", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
        const auto version = run("--version");
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_EQ(version.out, name + " " TESSALY_VERSION "\n");
        const auto wrong = run("--frobnicate");
        EXPECT_EQ(wrong.status, 2) << name;
        EXPECT_EQ(wrong.err, name + ": unknown option '--frobnicate'\nTry '" + name + " --help'.\n");
    }
#ifdef TESSALY_SERVE
    for (const char* port : {"65536", "99999", "-1", "+80"}) {
        const auto r = run_tool(TESSALY_SERVE, {"--port", port, demo});
        EXPECT_EQ(r.status, 2) << port;
        EXPECT_NE(r.err.find("--port takes a number 1..65535"), std::string::npos) << port << r.err;
    }
#endif
}

// tessaly-decode on real recordings: the frames independent decoders find,
// and the statistics against figures made another way: frame counts from
// --format summary, latencies recomputed from the frames of --format json.
namespace {

const std::string data = TESSALY_SHARED_DATA;
// Each with lines its summary must hold: frames as counted by gpsd and
// RTKLIB, then types and stations.
const std::pair<std::string, std::vector<std::string>> recordings[] = {
    {"gpsd-naujoks", {"frames: 91\n", "type 1: 41\n", "type 3: 6\n", "type 14: 3\n", "type 16: 1\n", "type 31: 40\n", "stations: 688 652\n"}},
    // The first frame sits at byte 0, after no word: its D29*/D30* are unknown.
    {"gpsd-bend", {"frames: 161\n", "type 3: 5\n", "type 18: 56\n", "type 19: 56\n", "type 23: 6\n", "stations: 205\n"}},
    {"rtklib-testglo", {"frames: 1727\n", "type 18: 744\n", "type 19: 744\n", "type 22: 36\n", "stations: 0\n"}},
    // Not aligned to the characters: found at bit offset 5 of the characters.
    {"gpsd-sample", {"frames: 131\n", "type 9: 131\n", "stations: 268\n"}},
};
const std::vector<std::string> fixed_time{"--clock", "2009-12-18T20:20:00Z", "--leap", "15"};

std::vector<std::string> args(std::vector<std::string> a, const std::string& file) {
    a.insert(a.end(), fixed_time.begin(), fixed_time.end());
    a.push_back(file);
    return a;
}

// "name: value" lines and "type N: M ..." lines of a report.
std::map<std::string, std::string> figures(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    static const std::regex line("^(type \\d+|[a-z_]+): (\\S+)");
    std::smatch m;
    for (std::string l; std::getline(in, l);)
        if (std::regex_search(l, m, line)) out[m[1]] = m[2];
    return out;
}

TEST(DecodeStats, CountsAgreeWithTheSummary) {
    for (const auto& [name, lines] : recordings) {
        const std::string file = data + "/" + name + ".rtcm2";
        if (!std::filesystem::exists(file)) GTEST_SKIP() << "recordings absent: " << data;
        const ToolResult summary = run_tool(tool, args({"--format", "summary"}, file));
        for (const auto& line : lines) EXPECT_NE(summary.out.find(line), std::string::npos) << name << " lacks " << line << summary.out;
        const ToolResult stats = run_tool(tool, args({"--format", "stats", "--interval", "30"}, file));
        ASSERT_EQ(stats.status, 0) << stats.err;
        auto want = figures(summary.out);
        want.erase("stations");
        auto got = figures(stats.out);
        for (auto& [k, v] : want) EXPECT_EQ(got[k], v) << name << " " << k;
        EXPECT_EQ(got["leap_seconds"], "15");
        EXPECT_NE(stats.out.find("stations: " + figures(summary.out)["stations"]), std::string::npos) << name;
    }
    // Without --leap: GPS time has been UTC + 18 s since 2017.
    const ToolResult plain = run_tool(tool, {"--format", "stats", data + "/gpsd-naujoks.rtcm2"});
    EXPECT_EQ(figures(plain.out)["leap_seconds"], "18");
}

// The closing object's latency per type is what the frames' latencies give;
// the interval objects (60 s of stream time each) add up to it.
TEST(DecodeStats, LatencyAgreesWithTheFramesAndIntervalsAddUp) {
    const std::string file = data + "/rtklib-testglo.rtcm2";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "recordings absent: " << data;
    const ToolResult r = run_tool(tool, args({"--format", "json", "--stats"}, file));
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<int, std::vector<double>> latencies;
    std::vector<QJsonObject> intervals;
    QJsonObject final;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(l)).object();
        if (o["class"] == "RTCM2") latencies[o["type"].toInt()].push_back(o["latency"].toDouble());
        else if (o["final"].toBool()) final = o;
        else intervals.push_back(o);
    }
    ASSERT_FALSE(final.isEmpty());
    EXPECT_EQ(intervals.size(), 4u);  // 185 s of stream
    const QJsonObject types = final["types"].toObject();
    ASSERT_EQ(std::size_t(types.size()), latencies.size());
    for (const auto& [type, v] : latencies) {
        const QJsonObject t = types[QString::number(type)].toObject();
        double sum = 0, lo = v[0], hi = v[0];
        for (double x : v) sum += x, lo = std::min(lo, x), hi = std::max(hi, x);
        const double mean = sum / double(v.size());
        double sq = 0;
        for (double x : v) sq += (x - mean) * (x - mean);
        const QJsonObject l = t["latency"].toObject();
        EXPECT_EQ(t["frames"].toInt(), int(v.size())) << type;
        const std::pair<const char*, double> expected[] = {
            {"mean", mean}, {"min", lo}, {"max", hi}, {"last", v.back()}, {"sd", std::sqrt(sq / double(v.size()))}};
        for (const auto& [k, want] : expected) EXPECT_NEAR(l[k].toDouble(), want, 0.0005) << type << " " << k;
        int in_intervals = 0;
        for (const QJsonObject& i : intervals) in_intervals += i["types"][QString::number(type)]["frames"].toInt();
        EXPECT_EQ(in_intervals, int(v.size())) << type;
    }
    double bytes = 0;
    for (const QJsonObject& i : intervals) bytes += i["bytes"].toDouble();
    EXPECT_EQ(std::tuple(bytes, final["bytes"].toInt(), final["leap_seconds"].toInt()), std::tuple(153397.0, 153397, 15));
}

}  // namespace
