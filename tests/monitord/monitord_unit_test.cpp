// The network monitor's configuration: what a file may say and the line
// that names each fault, how passwords are found and when a file holding
// one is refused, select= patterns and the split of a network by --shard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <limits>

#include "config_file.h"
#include "monitor_config.h"
#include "metrics_text.h"

namespace tessaly::monitord {
namespace {

struct ParseCase {
    const char* name;
    std::string_view text;
    const char* error;  // empty: parses
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ConfigParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConfigParse, NamesTheLineOfEachFault) {
    std::string error;
    const auto config = parse_config(GetParam().text, error);
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(config.has_value(), error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigParse,
    ::testing::Values(
        ParseCase{"comments_and_blank_lines", "# a\n\n; b\n[monitord]\n  listen = [::1]:0 \r\n", ""},
        ParseCase{"key_outside_a_section", "silence=3\n",
                  "line 1: key outside a section; the file starts with [monitord], [stream.NAME] or [caster.NAME]"},
        ParseCase{"unknown_section", "[monitord]\n[streams.a]\n",
                  "line 2: unknown section [streams.a]: expected [monitord], [stream.NAME] or [caster.NAME] (NAME of "
                  "letters, digits, _ - .)"},
        ParseCase{"slash_in_a_stream_name", "[stream.a/b]\n",
                  "line 1: unknown section [stream.a/b]: expected [monitord], [stream.NAME] or [caster.NAME] (NAME of "
                  "letters, digits, _ - .)"},
        ParseCase{"section_twice", "[stream.a]\nsource=tcp://h:1\n[stream.a]\n",
                  "line 3: section [stream.a] is given twice"},
        ParseCase{"unknown_key", "[stream.a]\nsorce=tcp://h:1\n", "line 2: unknown key 'sorce' in [stream.a]"},
        ParseCase{"key_twice", "[stream.a]\nsource=tcp://h:1\nsource=tcp://h:2\n",
                  "line 3: key 'source' is given twice in [stream.a]"},
        ParseCase{"stream_without_source", "[stream.a]\nsilence=3\n[monitord]\n", "line 1: [stream.a] has no source="},
        ParseCase{"caster_without_url_at_the_end", "[caster.c]\n", "line 1: [caster.c] has no url="},
        ParseCase{"silence_out_of_range", "[monitord]\nsilence=0\n",
                  "line 2: silence= takes a whole number 1..3600, not '0'"},
        ParseCase{"listen_without_port", "[monitord]\nlisten=9810\n",
                  "line 2: listen= takes HOST:PORT, e.g. 127.0.0.1:9810"},
        ParseCase{"caster_url_with_a_mountpoint", "[caster.c]\nurl=ntrip://h/M\n",
                  "line 2: url= names the caster without a mountpoint: ntrip://HOST[:PORT]"},
        ParseCase{"caster_url_not_ntrip", "[caster.c]\nurl=http://h\n",
                  "line 2: not an NTRIP source: expected ntrip://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT"},
        ParseCase{"alarm_key_without_rule", "[stream.a]\nsource=tcp://h:1\nalarm.age=3\n",
                  "line 3: expected alarm.RULE.KEY=VALUE, e.g. alarm.age.limit=30"},
        ParseCase{"gga_out_of_range", "[stream.a]\nsource=ntrip://h/M\ngga=91,0\n",
                  "line 3: gga= takes LATITUDE,LONGITUDE[,HEIGHT] in degrees and metres"},
        ParseCase{"no_equals_sign", "[monitord]\nlisten\n", "line 2: expected KEY=VALUE"},
        ParseCase{"nul_byte", std::string_view("[monitord]\n\0\n", 13), "line 2: a NUL byte: not a text file"}),
    [](const auto& info) { return info.param.name; });

TEST(ConfigParse, KeepsWhatAValidFileSays) {
    std::string error;
    const auto c = parse_config(
        "[monitord]\nlisten=0.0.0.0:9900\nsilence=5\n"
        "[stream.harbour]\nsource=ntrip://mon@caster:2102/HARB0\npassword=se#cret; x\nexpect=1(6),3(60)\n"
        "alarm.age.limit=20\ngga=53.5,-9.9\n"
        "[caster.net]\nurl=ntrip://caster\nselect=HARB*, RTCM 2.? ,\ninterval=60\n",
        error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->monitord.listen, "0.0.0.0:9900");
    EXPECT_EQ(c->monitord.silence_s, 5);
    ASSERT_EQ(c->streams.size(), 1u);
    EXPECT_EQ(c->streams[0].password, "se#cret; x");
    EXPECT_EQ(c->streams[0].alarms.expect, "1(6),3(60)");
    EXPECT_EQ(c->streams[0].alarms.overrides, (std::vector<std::pair<std::string, std::string>>{{"age", "limit=20"}}));
    EXPECT_EQ(c->streams[0].gga, (Position{53.5, -9.9, 0}));
    ASSERT_EQ(c->casters.size(), 1u);
    EXPECT_EQ(c->casters[0].select, (std::vector<std::string>{"HARB*", "RTCM 2.?"}));
    EXPECT_EQ(c->casters[0].interval_s, 60);
    EXPECT_TRUE(c->holds_password);
}

TEST(ConfigParse, MatchesGlobPatternsWithoutBlowingUp) {
    const struct {
        const char* pattern;
        const char* text;
        bool match;
    } cases[] = {
        {"HARB*", "HARB0", true},      {"HARB*", "XHARB0", false}, {"RTCM 2.?", "RTCM 2.3", true},
        {"RTCM 2.?", "RTCM 2.10", false}, {"*", "", true},         {"", "x", false},
        {"a*b*c", "aXbYbZc", true},    {"a*b*c", "aXbYbZ", false},
        {"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const auto& c : cases) EXPECT_EQ(glob_match(c.pattern, c.text), c.match) << c.pattern << " " << c.text;
}

TEST(Shard, SplitsANetworkTheSameWayEverywhere) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"1/1", true}, {"2/3", true}, {"3/3", true}, {"0/3", false},
                 {"4/3", false}, {"1/0", false}, {"a/b", false}, {"2", false}};
    for (const auto& c : cases) EXPECT_EQ(parse_shard(c.text).has_value(), c.valid) << c.text;
    // FNV-1a, 64 bit: the published value for "a". Instances of different
    // releases must agree on it.
    EXPECT_EQ(stream_hash("a"), 0xaf63dc4c8601ec8cull);
    int owned[3] = {};
    for (int i = 0; i < 999; ++i) {
        const std::string name = "caster/M" + std::to_string(i);
        int owners = 0;
        for (int s = 0; s < 3; ++s)
            if (Shard{s + 1, 3}.owns(name)) {
                ++owners;
                ++owned[s];
            }
        EXPECT_EQ(owners, 1) << name;
    }
    for (const int n : owned) EXPECT_GT(n, 250);
}

TEST(Secrets, RefusesAFileThatOthersMayReadOrAnybodyWrite) {
    const struct {
        unsigned mode;
        bool own;  // owned by the user the monitor runs as
        bool ok;
    } cases[] = {
        {0600, true, true},  {0400, false, true}, {0640, true, true},  {0640, false, false},
        {0644, true, false}, {0604, true, false}, {0666, true, false}, {0602, true, false},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(secret_file_mode_ok(c.mode, c.own ? 7u : 8u, 7u, why), c.ok) << std::oct << c.mode << " " << c.own;
        EXPECT_EQ(why.empty(), c.ok);
    }
}

class ConfigFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("monitord_config_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "creds");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& text, unsigned mode) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }
    std::optional<RunConfig> resolve(const std::string& text, std::string& error) {
        std::string why;
        const auto parsed = parse_config(text, why);
        if (!parsed) {
            ADD_FAILURE() << why;
            return std::nullopt;
        }
        return resolve_config(*parsed, dir_.string(), (dir_ / "creds").string(), error);
    }
    std::filesystem::path dir_;
};

TEST_F(ConfigFiles, FindsEachPasswordOnceAndNamesNone) {
    write("creds/caster.pass", "mon:pa:ss\nother:x\n", 0600);
    write("creds/open.pass", "mon:pa:ss\n", 0644);
    const struct {
        const char* lines;
        const char* error;  // empty: resolves, with the password "pa:ss"
    } cases[] = {
        {"source=ntrip://mon@h/M\npassword_file=caster.pass\n", ""},
        {"source=ntrip://mon@h/M\npassword=pa:ss\n", ""},
        {"source=ntrip://mon:pa%3Ass@h/M\n", ""},
        {"source=ntrip://mon:x@h/M\npassword=pa:ss\n",
         "[stream.s] (line 1): give the password once (in the URL, password= or password_file=)"},
        {"source=ntrip://h/M\npassword=pa:ss\n", "[stream.s] (line 1): password= needs a user in the URL"},
        {"source=ntrip://h/M\npassword_file=caster.pass\n",
         "[stream.s] (line 1): credentials file CREDS/caster.pass holds 2 users: name the one to use in the URL "
         "(ntrip://USER@HOST/MOUNT)"},
        {"source=tcp://h:1\npassword=pa:ss\n", "[stream.s] (line 1): a password applies to NTRIP sources only"},
        {"source=ntrp://mon:pa:ss@h/M\n",
         "[stream.s] (line 1): source= takes ntrip://…, ntrips://…, tcp://HOST:PORT or a device path, not '…'"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto run = resolve(std::string("[stream.s]\n") + c.lines, error);
        std::string expected = c.error;
        if (const auto at = expected.find("CREDS"); at != std::string::npos)
            expected.replace(at, 5, (dir_ / "creds").string());
        EXPECT_EQ(error, expected) << c.lines;
        if (!*c.error && run) {
            EXPECT_EQ(run->streams.at(0).source.url.password, "pa:ss") << c.lines;
            EXPECT_EQ(run->streams.at(0).source.name(), "h:2101/M");
        }
    }
    std::string error;
    EXPECT_FALSE(resolve("[stream.s]\nsource=ntrip://mon@h/M\npassword_file=open.pass\n", error));
    EXPECT_NE(error.find("must be 0600"), std::string::npos) << error;
}

TEST_F(ConfigFiles, RefusesAConfigurationWithAPasswordThatOthersMayRead) {
    const std::string secret = "[stream.s]\nsource=ntrip://mon:secret@h/M\n";
    const std::string plain = "[stream.s]\nsource=ntrip://mon@h/M\npassword_file=creds/p\n";
    write("creds/p", "mon:secret\n", 0600);
    const struct {
        const std::string* text;
        unsigned mode;
        const char* refused;  // empty: loads
    } cases[] = {
        {&secret, 0600, ""},
        {&secret, 0644,
         "it holds a password and others may read it (mode 0644): make it 0600 (chmod 600), or give the passwords in "
         "password_file= or systemd credentials"},
        {&plain, 0644, ""},
        {&plain, 0666, "anybody may write it (mode 0666)"},
    };
    for (const auto& c : cases) {
        const std::string path = write("monitord.conf", *c.text, c.mode);
        std::string error;
        ::unsetenv("CREDENTIALS_DIRECTORY");
        const auto run = load_config(path, error);
        EXPECT_EQ(error, *c.refused ? "configuration file " + path + " refused: " + c.refused : "") << std::oct << c.mode;
        EXPECT_EQ(run.has_value(), !*c.refused);
        if (run) {
            EXPECT_EQ(run->streams.at(0).source.url.password, "secret");
        }
        EXPECT_EQ(error.find("secret"), std::string::npos);
    }
}

}  // namespace
}  // namespace tessaly::monitord

// The metrics text as Prometheus and OpenMetrics scrapers read it: exact
// lines of every family type in both formats, escaping, numbers, and the
// format an Accept header asks for.
namespace tessaly::stats {
namespace {

std::string write_families(MetricsFormat format) {
    MetricsText m(format);
    m.family("demo_up", MetricType::gauge, "1 while up; a \\ and a\nline");
    m.sample({{"stream", "a\"b\\c\nd"}}, 1);
    m.family("demo_bytes", MetricType::counter, "Bytes \"received\"");
    m.sample({{"stream", "x"}, {"type", "18"}}, 1234567);
    m.sample({}, 0.25);
    m.family("demo_latency_seconds", MetricType::histogram, "Latency");
    const double bounds[] = {0.5, 2};
    const std::uint64_t counts[] = {3, 0, 2};
    const Label labels[] = {{"stream", "x"}};
    m.histogram(labels, bounds, counts, 7.5);
    return m.finish();
}

TEST(MetricsText, WritesEachFamilyAsTheFormatWantsIt) {
    const std::string families =
        "# HELP demo_up 1 while up; a \\\\ and a\\nline\n"
        "# TYPE demo_up gauge\n"
        "demo_up{stream=\"a\\\"b\\\\c\\nd\"} 1\n"
        "# HELP demo_bytes_total Bytes \"received\"\n"
        "# TYPE demo_bytes_total counter\n"
        "demo_bytes_total{stream=\"x\",type=\"18\"} 1234567\n"
        "demo_bytes_total 0.25\n"
        "# HELP demo_latency_seconds Latency\n"
        "# TYPE demo_latency_seconds histogram\n"
        "demo_latency_seconds_bucket{stream=\"x\",le=\"0.5\"} 3\n"
        "demo_latency_seconds_bucket{stream=\"x\",le=\"2\"} 3\n"
        "demo_latency_seconds_bucket{stream=\"x\",le=\"+Inf\"} 5\n"
        "demo_latency_seconds_sum{stream=\"x\"} 7.5\n"
        "demo_latency_seconds_count{stream=\"x\"} 5\n";
    EXPECT_EQ(write_families(MetricsFormat::prometheus), families);
    // OpenMetrics: the counter's family without _total, quotes escaped in
    // HELP too, and # EOF at the end; the samples as above.
    const std::string counter = "# HELP demo_bytes_total Bytes \"received\"\n# TYPE demo_bytes_total";
    std::string open = families + "# EOF\n";
    open.replace(families.find(counter), counter.size(), "# HELP demo_bytes Bytes \\\"received\\\"\n# TYPE demo_bytes");
    EXPECT_EQ(write_families(MetricsFormat::openmetrics), open);
}

TEST(MetricsText, WritesNumbersExactlyAndShort) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-3, "-3"},
        {18446744073709.0, "18446744073709"},
        {1796627701.932, "1796627701.932"},
        {0.1 + 0.2, "0.30000000000000004"},  // exact: reads back as the same double
        {1e300, "1e+300"},
        {std::numeric_limits<double>::infinity(), "+Inf"},
        {-std::numeric_limits<double>::infinity(), "-Inf"},
        {std::nan(""), "NaN"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_metric_number(out, c.value);
        EXPECT_EQ(out, c.text) << c.value;
    }
}

TEST(MetricsText, ServesOpenMetricsOnlyWhenAskedForAtLeastAsMuchAsText) {
    const struct {
        const char* accept;
        MetricsFormat format;
    } cases[] = {
        // Prometheus 2.42's own header.
        {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;q=0.75,"
         "text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
         MetricsFormat::openmetrics},
        {"", MetricsFormat::prometheus},
        {"*/*", MetricsFormat::prometheus},
        {"text/plain;version=0.0.4", MetricsFormat::prometheus},
        {"Application/OpenMetrics-Text", MetricsFormat::openmetrics},
        {"application/openmetrics-text;version=0.0.1", MetricsFormat::prometheus},  // not what we write
        {"application/openmetrics-text; q=0.5, text/plain", MetricsFormat::prometheus},
        {"text/plain;q=0.1, application/openmetrics-text ;version=1.0.0", MetricsFormat::openmetrics},
        {"application/openmetrics-text;q=0", MetricsFormat::prometheus},
        {"application/openmetrics-text;q=x", MetricsFormat::prometheus},
    };
    for (const auto& c : cases) EXPECT_EQ(metrics_format_for(c.accept), c.format) << c.accept;
    EXPECT_EQ(metrics_content_type(MetricsFormat::openmetrics),
              "application/openmetrics-text; version=1.0.0; charset=utf-8");
    EXPECT_EQ(metrics_content_type(MetricsFormat::prometheus), "text/plain; version=0.0.4; charset=utf-8");
}

}  // namespace
}  // namespace tessaly::stats
