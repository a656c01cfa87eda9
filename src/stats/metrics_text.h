#pragma once
// Metrics written for a scraper: the Prometheus text format (version 0.0.4)
// and OpenMetrics 1.0, family by family, each with its # HELP and # TYPE.
// Beside the text, JSON and CSV forms of the statistics; no Qt, no I/O.
//
// A counter's family is named without its `_total`: the Prometheus format
// names the family and its samples `NAME_total`, OpenMetrics names the
// family `NAME` and the samples `NAME_total`, as each format wants.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::stats {

enum class MetricsFormat { prometheus, openmetrics };

// The format a scraper's Accept header asks for: OpenMetrics when it
// accepts application/openmetrics-text at least as much as text/plain,
// the Prometheus text format otherwise (also without a header).
MetricsFormat metrics_format_for(std::string_view accept);
// The Content-Type of a format's text.
std::string_view metrics_content_type(MetricsFormat format);

enum class MetricType { gauge, counter, histogram };

struct Label {
    std::string_view name;
    std::string_view value;  // any UTF-8; escaped as the formats want
};

class MetricsText {
public:
    explicit MetricsText(MetricsFormat format, std::size_t reserve = 0);

    // Begins a family; its samples follow.
    void family(std::string_view name, MetricType type, std::string_view help);
    // One sample of the current gauge or counter family.
    void sample(std::span<const Label> labels, double value);
    void sample(std::initializer_list<Label> labels, double value) { sample(std::span(labels.begin(), labels.size()), value); }
    // One histogram of the current family: the buckets' upper bounds
    // (ascending, without +Inf) and how many observations each holds
    // (not cumulated: counts[i] fell at or below bounds[i] and above the
    // bound before; counts[bounds.size()] above the last), and the sum.
    void histogram(std::span<const Label> labels, std::span<const double> bounds,
                   std::span<const std::uint64_t> counts, double sum);

    // The whole text (OpenMetrics ends with # EOF).
    std::string& finish();

private:
    void name_and_labels(std::string_view suffix, std::span<const Label> labels, const Label* extra);
    void value(double v);

    MetricsFormat format_;
    std::string out_;
    std::string name_;
    MetricType type_ = MetricType::gauge;
};

// `v` as both formats write a number: integers without a point or an
// exponent, others in the shortest form that reads back exactly, NaN,
// +Inf and -Inf.
void append_metric_number(std::string& out, double v);

}  // namespace tessaly::stats
