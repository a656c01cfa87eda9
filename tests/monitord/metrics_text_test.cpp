// The metrics text as Prometheus and OpenMetrics scrapers read it: exact
// lines of every family type in both formats, escaping, numbers, and the
// format an Accept header asks for.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "metrics_text.h"

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
    EXPECT_EQ(write_families(MetricsFormat::prometheus),
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
              "demo_latency_seconds_count{stream=\"x\"} 5\n");
    // OpenMetrics: the counter's family without _total, quotes escaped in
    // HELP too, and # EOF at the end.
    EXPECT_EQ(write_families(MetricsFormat::openmetrics),
              "# HELP demo_up 1 while up; a \\\\ and a\\nline\n"
              "# TYPE demo_up gauge\n"
              "demo_up{stream=\"a\\\"b\\\\c\\nd\"} 1\n"
              "# HELP demo_bytes Bytes \\\"received\\\"\n"
              "# TYPE demo_bytes counter\n"
              "demo_bytes_total{stream=\"x\",type=\"18\"} 1234567\n"
              "demo_bytes_total 0.25\n"
              "# HELP demo_latency_seconds Latency\n"
              "# TYPE demo_latency_seconds histogram\n"
              "demo_latency_seconds_bucket{stream=\"x\",le=\"0.5\"} 3\n"
              "demo_latency_seconds_bucket{stream=\"x\",le=\"2\"} 3\n"
              "demo_latency_seconds_bucket{stream=\"x\",le=\"+Inf\"} 5\n"
              "demo_latency_seconds_sum{stream=\"x\"} 7.5\n"
              "demo_latency_seconds_count{stream=\"x\"} 5\n"
              "# EOF\n");
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
