// The statistics written out. See stats_report.h.
#include "stats_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace tessaly::stats {

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

namespace {

std::string u(std::uint64_t v) { return std::to_string(v); }

// Seconds since 1970 as an ISO 8601 UTC time.
std::string utc(double seconds) {
    const std::time_t t = std::time_t(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string latency_text(const Latency& l) {
    return "latency last " + fixed(l.last, 3) + " mean " + fixed(l.mean, 3) + " min " + fixed(l.min, 3) + " max " +
           fixed(l.max, 3) + " sd " + fixed(l.std_dev(), 3) + " s";
}

std::string latency_json(const Latency& l) {
    return "{\"last\":" + fixed(l.last, 3) + ",\"mean\":" + fixed(l.mean, 3) + ",\"min\":" + fixed(l.min, 3) +
           ",\"max\":" + fixed(l.max, 3) + ",\"sd\":" + fixed(l.std_dev(), 3) + "}";
}

}  // namespace

std::string interval_line(const Snapshot& s) {
    std::string out = fixed(s.start, 1) + "-" + fixed(s.end, 1) + " s: bytes " + u(s.bytes) + " (" +
                      fixed(s.byte_rate(), 1) + " B/s), frames " + u(s.frames) + " [";
    bool first = true;
    for (int t = 0; t < 64; ++t) {
        if (!s.types[std::size_t(t)].frames) continue;
        if (!first) out += ' ';
        first = false;
        out += std::to_string(t) + ":" + u(s.types[std::size_t(t)].frames);
    }
    out += "], parity failures " + u(s.parity_failures) + ", sync losses " + u(s.sync_losses) + ", unused " +
           u(s.unused_chars) + ", missed frames " + u(s.sequence_gaps) + ", Z-count gaps " + u(s.zcount_gaps);
    Latency all;
    for (const TypeCounts& t : s.types)
        if (t.latency.count) {
            // The span's worst and mean latency over every type.
            const double sum = all.mean * double(all.count) + t.latency.mean * double(t.latency.count);
            all.max = all.count ? std::max(all.max, t.latency.max) : t.latency.max;
            all.count += t.latency.count;
            all.mean = sum / double(all.count);
        }
    if (all.count) out += ", latency mean " + fixed(all.mean, 3) + " max " + fixed(all.max, 3) + " s";
    out += ", outages " + u(s.outages.size());
    if (!s.alarms.empty()) {
        out += ", alarms [";
        for (const auto& [rule, n] : s.alarms) out += (out.back() == '[' ? "" : " ") + rule + ":" + u(n);
        out += "]";
    }
    return out;
}

std::string final_block(const Snapshot& s) {
    std::string out = "span: " + fixed(s.start, 1) + " s to " + fixed(s.end, 1) + " s (" + fixed(s.seconds(), 1) +
                      " s)\n";
    out += "bytes: " + u(s.bytes) + " (" + fixed(s.byte_rate(), 1) + " B/s)\n";
    out += "frames: " + u(s.frames) + "\n";
    for (int t = 0; t < 64; ++t) {
        const TypeCounts& c = s.types[std::size_t(t)];
        if (!c.frames) continue;
        out += "type " + std::to_string(t) + ": " + u(c.frames) + " frames (" + fixed(s.frame_rate(t), 1) +
               "/min), " + latency_text(c.latency) + "\n";
    }
    out += "parity_failures: " + u(s.parity_failures) + "\n";
    out += "sync_losses: " + u(s.sync_losses) + "\n";
    out += "unused_chars: " + u(s.unused_chars) + "\n";
    out += "missed_frames: " + u(s.sequence_gaps) + "\n";
    out += "zcount_gaps: " + u(s.zcount_gaps) + " (" + fixed(s.zcount_gap_seconds, 1) + " s)\n";
    out += "leap_seconds: " + std::to_string(s.leap_seconds) + "\n";
    out += "outages: " + u(s.outages.size()) + " (" + fixed(s.outage_seconds(), 1) + " s)\n";
    for (const Outage& o : s.outages)
        out += "outage: " + utc(o.start) + " to " + utc(o.end) + " (" + fixed(o.duration(), 1) + " s)\n";
    out += "stations:";
    for (const Station& st : s.stations) out += " " + std::to_string(st.id) + " (" + u(st.frames) + " frames)";
    out += "\n";
    for (const auto& [rule, n] : s.alarms) out += "alarms " + rule + ": " + u(n) + "\n";
    return out;
}

std::string to_json(const Snapshot& s, bool final) {
    std::string out = "{\"class\":\"STATS\",\"final\":" + std::string(final ? "true" : "false") +
                      ",\"start\":" + fixed(s.start, 3) + ",\"end\":" + fixed(s.end, 3) +
                      ",\"bytes\":" + u(s.bytes) + ",\"byte_rate\":" + fixed(s.byte_rate(), 3) +
                      ",\"frames\":" + u(s.frames) + ",\"types\":{";
    bool first = true;
    for (int t = 0; t < 64; ++t) {
        const TypeCounts& c = s.types[std::size_t(t)];
        if (!c.frames) continue;
        if (!first) out += ',';
        first = false;
        out += "\"" + std::to_string(t) + "\":{\"frames\":" + u(c.frames) + ",\"per_minute\":" +
               fixed(s.frame_rate(t), 3) + ",\"latency\":" + latency_json(c.latency) + "}";
    }
    out += "},\"parity_failures\":" + u(s.parity_failures) + ",\"sync_losses\":" + u(s.sync_losses) +
           ",\"unused_chars\":" + u(s.unused_chars) + ",\"missed_frames\":" + u(s.sequence_gaps) +
           ",\"zcount_gaps\":" + u(s.zcount_gaps) + ",\"zcount_gap_seconds\":" + fixed(s.zcount_gap_seconds, 1) +
           ",\"leap_seconds\":" + std::to_string(s.leap_seconds) + ",\"outages\":[";
    for (std::size_t i = 0; i < s.outages.size(); ++i) {
        const Outage& o = s.outages[i];
        out += std::string(i ? "," : "") + "{\"start\":\"" + utc(o.start) + "\",\"end\":\"" + utc(o.end) +
               "\",\"seconds\":" + fixed(o.duration(), 1) + "}";
    }
    out += "],\"stations\":[";
    for (std::size_t i = 0; i < s.stations.size(); ++i)
        out += std::string(i ? "," : "") + "{\"id\":" + std::to_string(s.stations[i].id) +
               ",\"frames\":" + u(s.stations[i].frames) + "}";
    out += "],\"alarms\":{";
    for (const auto& [rule, n] : s.alarms) out += (out.back() == '{' ? "\"" : ",\"") + rule + "\":" + u(n);
    out += "}}";
    return out;
}

std::string to_csv(const Snapshot& s) {
    std::string out = "figure,value\n";
    const auto row = [&](const char* k, const std::string& v) { out += std::string(k) + "," + v + "\n"; };
    row("start", fixed(s.start, 3));
    row("end", fixed(s.end, 3));
    row("bytes", u(s.bytes));
    row("bytes_per_second", fixed(s.byte_rate(), 3));
    row("frames", u(s.frames));
    row("parity_failures", u(s.parity_failures));
    row("sync_losses", u(s.sync_losses));
    row("unused_chars", u(s.unused_chars));
    row("missed_frames", u(s.sequence_gaps));
    row("zcount_gaps", u(s.zcount_gaps));
    row("zcount_gap_seconds", fixed(s.zcount_gap_seconds, 1));
    row("leap_seconds", std::to_string(s.leap_seconds));
    row("outage_seconds", fixed(s.outage_seconds(), 1));
    std::string ids;
    for (const Station& st : s.stations) ids += (ids.empty() ? "" : " ") + std::to_string(st.id);
    row("stations", ids);
    out += "\ntype,frames,per_minute,latency_last,latency_mean,latency_min,latency_max,latency_sd\n";
    for (int t = 0; t < 64; ++t) {
        const TypeCounts& c = s.types[std::size_t(t)];
        if (!c.frames) continue;
        const Latency& l = c.latency;
        out += std::to_string(t) + "," + u(c.frames) + "," + fixed(s.frame_rate(t), 3) + "," + fixed(l.last, 3) +
               "," + fixed(l.mean, 3) + "," + fixed(l.min, 3) + "," + fixed(l.max, 3) + "," +
               fixed(l.std_dev(), 3) + "\n";
    }
    out += "\noutage_start,outage_end,seconds\n";
    for (const Outage& o : s.outages) out += utc(o.start) + "," + utc(o.end) + "," + fixed(o.duration(), 1) + "\n";
    out += "\nalarm_rule,alarms\n";
    for (const auto& [rule, n] : s.alarms) out += rule + "," + u(n) + "\n";
    return out;
}

}  // namespace tessaly::stats
