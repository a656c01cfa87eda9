// tessaly-decode on real recordings: the frames independent decoders find,
// and the statistics against figures made another way: frame counts from
// --format summary, latencies recomputed from the frames of --format json.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "tool_test_util.h"

using namespace tessaly::testing;

namespace {

const std::string tool = TESSALY_DECODE;
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
