// Streams made with the test encoder against RTKLIB's convbin: type 17
// ephemerides against its RINEX navigation file, every parameter to the last
// digit RINEX prints, and type 18 phases with the multiple-message flag
// clear (no real recording here has one) against its observation file.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "tool_test_util.h"

using namespace tessaly::testing;
using nlohmann::json;

namespace {

// A number as RTKLIB writes it into a navigation record: sign, ".", twelve
// digits, "D" and the exponent.
std::string rinex_number(double v) {
    const double e = std::fabs(v) < 1e-99 ? 0.0 : std::floor(std::log10(std::fabs(v)) + 1.0);
    char out[32];
    std::snprintf(out, sizeof out, " %s.%012.0fD%+03.0f", v < 0.0 ? "-" : " ", std::fabs(v) / std::pow(10.0, e - 12.0), e);
    return out;
}

// RINEX's SV accuracy in metres for a URA index.
double ura_metres(int index) {
    return index <= 6 ? std::round(std::pow(2.0, 1.0 + index / 2.0) * 10) / 10 : std::pow(2.0, index - 2);
}

struct Outputs {
    std::string rinex_nav, rinex_obs;
    std::vector<json> frames;
};

// The stream through convbin (navigation and observation files) and through
// tessaly-decode, both told it is 2026-01-01 01:30 UTC.
Outputs both(const std::vector<std::uint8_t>& bytes) {
    const TempPath stream("made"), obs("obs"), nav("nav");
    write_file(stream.str(), std::string(bytes.begin(), bytes.end()));
    Outputs r;
    const auto c = run_tool("convbin", {"-r", "rtcm2", "-v", "3.03", "-tr", "2026/01/01", "01:30:00", "-o", obs.str(),
                                        "-n", nav.str(), stream.str()});
    if (c.status == 127) return r;
    r.rinex_nav = read_file(nav.str());
    r.rinex_obs = read_file(obs.str());
    const auto d = run_tool(TESSALY_DECODE, {"--format", "json", "--clock", "2026-01-01T01:30:00Z", stream.str()});
    std::istringstream lines(d.out);
    for (std::string line; std::getline(lines, line);) r.frames.push_back(json::parse(line));
    return r;
}

}  // namespace

TEST(ConvbinMade, EphemerisAgreesWithTheNavigationFile) {
    // Values at the limits of their fields and ordinary ones; one satellite each.
    const Ephemeris17 cases[] = {
        {.week = 370, .idot = -1234, .iode = 77, .toc = 5400, .af1 = -12, .af2 = 3, .crs = -1000, .delta_n = 12000,
         .cuc = -300, .e = 40000000, .cus = 700, .sqrt_a = 2702000000u, .toe = 5400, .omega0 = -1000000000, .cic = 20,
         .i0 = 650000000, .cis = -30, .omega = 123456789, .crc = 7000, .omega_dot = -2000000, .m0 = 987654321,
         .iodc = 333, .af0 = -1500000, .sv = 5, .tgd = -9, .l2_codes = 1, .ura = 3, .health = 0, .l2p_data = true},
        {.week = 1023, .idot = 8191, .iode = 255, .toc = 37799, .af1 = 32767, .af2 = -128, .crs = 32767,
         .delta_n = -32768, .cuc = 32767, .e = 0xFFFFFFFFu, .cus = -32768, .sqrt_a = 0xFFFFFFFFu, .toe = 37799,
         .omega0 = INT32_MIN, .cic = -32768, .i0 = INT32_MAX, .cis = 32767, .omega = INT32_MIN, .crc = -32768,
         .omega_dot = 0x7FFFFF, .m0 = INT32_MAX, .iodc = 1023, .af0 = 0x1FFFFF, .sv = 0, .tgd = 127, .l2_codes = 3,
         .ura = 14, .health = 63, .l2p_data = false},
        {.week = 1, .idot = -8192, .iode = 1, .toc = 1, .af1 = -32768, .af2 = 127, .crs = -32768, .delta_n = 1,
         .cuc = -32768, .e = 1, .cus = 1, .sqrt_a = 1, .toe = 1, .omega0 = 1, .cic = 1, .i0 = -1, .cis = -32768,
         .omega = -1, .crc = 1, .omega_dot = -0x800000, .m0 = INT32_MIN, .iodc = 0, .af0 = -0x200000, .sv = 31,
         .tgd = -128, .l2_codes = 2, .ura = 6, .health = 1, .l2p_data = true},
    };
    StreamEncoder s;
    std::uint8_t seq = 0;
    for (const auto& e : cases) s.frame({.type = 17, .station = 1, .zcount = 100, .sequence = seq++, .data = ephemeris_words(e)});
    const Outputs r = both(s.bytes());
    if (r.frames.empty()) GTEST_SKIP() << "convbin (Debian package rtklib) not installed";

    // Each record: the epoch line (toc, af0, af1, af2) and seven lines of four.
    std::map<int, std::vector<std::string>> records;  // by satellite number
    std::istringstream lines(r.rinex_nav);
    bool body = false;
    std::vector<std::string>* record = nullptr;
    for (std::string line; std::getline(lines, line);) {
        if (!body) body = line.find("END OF HEADER") != std::string::npos;
        else if (line[0] == 'G') (record = &records[std::stoi(line.substr(1, 2))])->push_back(line);
        else if (record) record->push_back(line);
    }
    ASSERT_EQ(records.size(), std::size(cases)) << r.rinex_nav;
    int compared = 0;
    for (const json& f : r.frames) {
        const auto rec = records.find(f["ident"].get<int>());
        ASSERT_NE(rec, records.end()) << f.dump();
        const auto& l = rec->second;
        ASSERT_GE(l.size(), 7u);
        auto field = [&](std::size_t line, int k) { return l[line].substr(line == 0 ? 23 + 19 * (k - 1) : 4 + 19 * k, 19); };
        // toc: RINEX gives it as the date and time of its epoch.
        const int y = std::stoi(l[0].substr(4, 4)), mo = std::stoi(l[0].substr(9, 2)), dd = std::stoi(l[0].substr(12, 2));
        const long days = long(std::chrono::sys_days(std::chrono::year(y) / mo / dd).time_since_epoch().count()) - 3657;  // since 1980-01-06
        const long toc = days % 7 * 86400 + std::stol(l[0].substr(15, 2)) * 3600 + std::stol(l[0].substr(18, 2)) * 60 +
                         std::stol(l[0].substr(21, 2));
        EXPECT_EQ(toc, f["toc"].get<long>()) << l[0];
        // RTKLIB writes Cus and toe without their scale: compared as counts.
        const std::pair<std::string, std::string> values[] = {
            {rinex_number(f["af0"]), field(0, 1)}, {rinex_number(f["af1"]), field(0, 2)}, {rinex_number(f["af2"]), field(0, 3)},
            {rinex_number(f["IODE"]), field(1, 0)}, {rinex_number(f["Crs"]), field(1, 1)}, {rinex_number(f["deltan"]), field(1, 2)},
            {rinex_number(f["M0"]), field(1, 3)}, {rinex_number(f["Cuc"]), field(2, 0)}, {rinex_number(f["e"]), field(2, 1)},
            {rinex_number(std::ldexp(f["Cus"].get<double>(), 29)), field(2, 2)}, {rinex_number(f["sqrtA"]), field(2, 3)},
            {rinex_number(f["toe"].get<double>() / 16), field(3, 0)}, {rinex_number(f["Cic"]), field(3, 1)},
            {rinex_number(f["Omega0"]), field(3, 2)}, {rinex_number(f["Cis"]), field(3, 3)}, {rinex_number(f["i0"]), field(4, 0)},
            {rinex_number(f["Crc"]), field(4, 1)}, {rinex_number(f["omega"]), field(4, 2)}, {rinex_number(f["Omegad"]), field(4, 3)},
            {rinex_number(f["IDOT"]), field(5, 0)}, {rinex_number(f["L2"]), field(5, 1)}, {rinex_number(f["L2P"]), field(5, 3)},
            {rinex_number(ura_metres(f["ura"])), field(6, 0)}, {rinex_number(f["hlth"]), field(6, 1)},
            {rinex_number(f["Tgd"]), field(6, 2)}, {rinex_number(f["IODC"]), field(6, 3)}};
        for (const auto& [ours, theirs] : values) {
            EXPECT_EQ(ours, theirs) << f.dump();
            ++compared;
        }
        std::string week = field(5, 2);
        week[week.find('D')] = 'E';
        EXPECT_EQ(std::lround(std::stod(week)) % 1024, f["WN"].get<long>()) << l[5];
    }
    EXPECT_EQ(compared, 26 * int(std::size(cases)));
}

// RTKLIB closes an epoch at a frame whose multiple-message flag is clear:
// the first epoch's 18 frame has it set (19 closes the set), the second's
// clear. Both epochs' phases are count / 256 cycles (RINEX: minus that).
TEST(ConvbinMade, PhasesWithTheMultipleMessageFlagClearAgreeWithTheObservationFile) {
    StreamEncoder s;
    s.frame({.type = 18, .station = 1, .zcount = 100, .data = words_18(0, 0, {{.more = true, .sv = 3, .phase = 158032},
                                                                              {.more = true, .sv = 7, .phase = -987654321}})});
    s.frame({.type = 19, .station = 1, .zcount = 100, .sequence = 1,
             .data = words_19(0, 0, 0, {{.sv = 3, .pseudorange = 1100000000}, {.sv = 7, .pseudorange = 1200000000}})});
    s.frame({.type = 18, .station = 1, .zcount = 102, .sequence = 2,
             .data = words_18(0, 0, {{.sv = 3, .phase = 158289}, {.sv = 7, .phase = -987654063}})});
    const Outputs r = both(s.bytes());
    if (r.frames.empty()) GTEST_SKIP() << "convbin (Debian package rtklib) not installed";

    std::vector<std::map<int, double>> ours;  // per epoch: satellite, RINEX's L1
    for (const json& f : r.frames) {
        if (f["type"] != 18) continue;
        auto& epoch = ours.emplace_back();
        for (const json& sat : f["satellites"]) epoch[sat["sv"]] = -sat["phase"].get<double>();
    }
    // RINEX 3 observations: "> " epoch lines, then "Gnn" and the values of
    // the types in the header's order (C1C L1C here), 16 characters each.
    std::vector<std::map<int, double>> theirs;
    std::istringstream lines(r.rinex_obs);
    std::size_t l1 = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("SYS / # / OBS TYPES") != std::string::npos) {
            std::istringstream types(line.substr(7, 52));
            std::size_t k = 0;
            for (std::string t; types >> t; ++k)
                if (t == "L1C") l1 = k;
        } else if (line[0] == '>') {
            theirs.emplace_back();
        } else if (line[0] == 'G' && !theirs.empty() && line.size() >= 3 + 16 * l1 + 14) {
            theirs.back()[std::stoi(line.substr(1, 2))] = std::stod(line.substr(3 + 16 * l1, 14));
        }
    }
    ASSERT_EQ(theirs.size(), 2u) << r.rinex_obs;
    ASSERT_EQ(ours.size(), 2u);
    for (std::size_t e = 0; e < 2; ++e) {
        ASSERT_EQ(theirs[e].size(), 2u) << r.rinex_obs;
        for (const auto& [sv, l] : theirs[e]) EXPECT_NEAR(ours[e].at(sv), l, 0.0006) << "epoch " << e << " G" << sv;
    }
}
