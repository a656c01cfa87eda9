#include "metrics_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace tessaly::stats {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// One media range of an Accept header: its type and its q (1 when not given).
struct Range {
    std::string_view type;
    double q = 1;
    std::string_view version;
};

Range parse_range(std::string_view item) {
    Range r;
    for (bool first = true;; first = false) {
        const auto semi = item.find(';');
        const std::string_view part = trim(item.substr(0, semi));
        const auto eq = part.find('=');
        if (first) {
            r.type = part;
        } else if (eq != std::string_view::npos) {
            const std::string_view key = trim(part.substr(0, eq));
            const std::string_view value = trim(part.substr(eq + 1));
            if (equal_ignoring_case(key, "q")) {
                double q = 0;
                const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), q);
                r.q = ec == std::errc() && end == value.data() + value.size() && q >= 0 && q <= 1 ? q : 0;
            } else if (equal_ignoring_case(key, "version")) {
                r.version = value;
            }
        }
        if (semi == std::string_view::npos) return r;
        item.remove_prefix(semi + 1);
    }
}

void escape(std::string& out, std::string_view text, bool quotes) {
    // One pass; the runs between escapes are appended whole.
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* escaped = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '"' && quotes ? "\\\"" : nullptr;
        if (!escaped) continue;
        out.append(text.data() + plain, i - plain);
        out += escaped;
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
}

}  // namespace

MetricsFormat metrics_format_for(std::string_view accept) {
    double open = -1, plain = -1;
    while (!accept.empty()) {
        const auto comma = accept.find(',');
        const Range r = parse_range(accept.substr(0, comma));
        accept.remove_prefix(comma == std::string_view::npos ? accept.size() : comma + 1);
        if (equal_ignoring_case(r.type, "application/openmetrics-text") &&
            (r.version.empty() || r.version == "1.0.0"))
            open = std::max(open, r.q);
        else if (equal_ignoring_case(r.type, "text/plain"))
            plain = std::max(plain, r.q);
    }
    return open > 0 && open >= plain ? MetricsFormat::openmetrics : MetricsFormat::prometheus;
}

std::string_view metrics_content_type(MetricsFormat format) {
    return format == MetricsFormat::openmetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                                : "text/plain; version=0.0.4; charset=utf-8";
}

void append_metric_number(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
        return;
    }
    char buf[32];
    std::to_chars_result r;
    if (v == std::trunc(v) && std::fabs(v) < 9.007199254740992e15)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
    else
        r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

MetricsText::MetricsText(MetricsFormat format, std::size_t reserve) : format_(format) { out_.reserve(reserve); }

void MetricsText::family(std::string_view name, MetricType type, std::string_view help) {
    name_.assign(name);
    type_ = type;
    // The Prometheus format names a counter's family as its samples.
    const std::string_view suffix =
        type == MetricType::counter && format_ == MetricsFormat::prometheus ? "_total" : "";
    const bool open = format_ == MetricsFormat::openmetrics;
    out_ += "# HELP ";
    out_ += name;
    out_ += suffix;
    out_ += ' ';
    escape(out_, help, open);
    out_ += "\n# TYPE ";
    out_ += name;
    out_ += suffix;
    out_ += type == MetricType::counter ? " counter\n" : type == MetricType::gauge ? " gauge\n" : " histogram\n";
}

void MetricsText::name_and_labels(std::string_view suffix, std::span<const Label> labels, const Label* extra) {
    out_ += name_;
    out_ += suffix;
    if (labels.empty() && !extra) return;
    out_ += '{';
    bool first = true;
    const auto add = [&](const Label& l) {
        if (!first) out_ += ',';
        first = false;
        out_ += l.name;
        out_ += "=\"";
        escape(out_, l.value, true);
        out_ += '"';
    };
    for (const Label& l : labels) add(l);
    if (extra) add(*extra);
    out_ += '}';
}

void MetricsText::value(double v) {
    out_ += ' ';
    append_metric_number(out_, v);
    out_ += '\n';
}

void MetricsText::sample(std::span<const Label> labels, double v) {
    name_and_labels(type_ == MetricType::counter ? "_total" : "", labels, nullptr);
    value(v);
}

void MetricsText::histogram(std::span<const Label> labels, std::span<const double> bounds,
                            std::span<const std::uint64_t> counts, double sum) {
    std::uint64_t cumulative = 0;
    std::string le;
    for (std::size_t i = 0; i <= bounds.size(); ++i) {
        cumulative += i < counts.size() ? counts[i] : 0;
        le.clear();
        append_metric_number(le, i < bounds.size() ? bounds[i] : INFINITY);
        const Label bound{"le", le};
        name_and_labels("_bucket", labels, &bound);
        value(double(cumulative));
    }
    name_and_labels("_sum", labels, nullptr);
    value(sum);
    name_and_labels("_count", labels, nullptr);
    value(double(cumulative));
}

std::string& MetricsText::finish() {
    if (format_ == MetricsFormat::openmetrics) out_ += "# EOF\n";
    return out_;
}

}  // namespace tessaly::stats
