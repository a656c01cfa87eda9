#include "monitor_report.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <map>

#include "tessaly_version.h"

namespace tessaly::monitord {

namespace {

using stats::Label;
using stats::MetricType;

// Times to the millisecond, as the clock reads them: no float noise.
double ms(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }
std::optional<double> ms(const std::optional<double>& seconds) {
    return seconds ? std::optional<double>(ms(*seconds)) : std::nullopt;
}

// The streams in name order, walked once per family.
using StreamList = std::vector<std::pair<std::string_view, const MonitoredStream*>>;

// A family with one sample per stream, where `value` gives it (or nothing
// for a stream that has no such figure yet).
template <class Value>
void per_stream(stats::MetricsText& m, const StreamList& list, std::string_view name, MetricType type,
                std::string_view help, Value value) {
    m.family(name, type, help);
    for (const auto& [stream, s] : list) {
        const std::optional<double> v = value(*s);
        if (v) m.sample({{"stream", stream}}, *v);
    }
}

template <class Value>
void per_caster(stats::MetricsText& m, const Monitor& monitor, std::string_view name, MetricType type,
                std::string_view help, Value value) {
    m.family(name, type, help);
    for (const auto& [caster, c] : monitor.casters()) m.sample({{"caster", caster}}, value(*c));
}

QString iso(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonValue number_or_null(const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); }

QString state_name(const MonitoredStream& s) {
    if (s.up()) return QStringLiteral("up");
    if (s.connected()) return QStringLiteral("silent");
    return s.outage_since() ? QStringLiteral("outage") : QStringLiteral("down");
}

}  // namespace

std::string metrics_text(const Monitor& monitor, const DaemonFigures& daemon, stats::MetricsFormat format,
                         double now) {
    const std::size_t streams = monitor.streams().size();
    StreamList list;
    list.reserve(streams);
    for (const auto& [name, s] : monitor.streams()) list.emplace_back(name, s.get());
    stats::MetricsText m(format, 4096 + streams * 4096);
    using O = std::optional<double>;
    per_stream(m, list, "tessaly_stream_up", MetricType::gauge,
               "1 while the stream is connected and bytes arrive within its silence limit, else 0",
               [](const MonitoredStream& s) { return O(s.up() ? 1 : 0); });
    per_stream(m, list, "tessaly_stream_connected", MetricType::gauge,
               "1 while the stream's source is connected (NTRIP: the caster accepted the request), else 0",
               [](const MonitoredStream& s) { return O(s.connected() ? 1 : 0); });
    per_stream(m, list, "tessaly_bytes", MetricType::counter,
               "Stream bytes received and decoded (NTRIP answer and chunk framing not counted)",
               [](const MonitoredStream& s) { return O(double(s.bytes())); });
    m.family("tessaly_frames", MetricType::counter, "Frames that ended normally, by message type");
    for (const auto& [stream, s] : list) {
        const auto& types = s->totals().types;
        for (std::size_t t = 0; t < types.size(); ++t) {
            if (!types[t].frames) continue;
            const std::string type = std::to_string(t);
            m.sample({{"stream", stream}, {"type", type}}, double(types[t].frames));
        }
    }
    per_stream(m, list, "tessaly_parity_failures", MetricType::counter, "Words whose parity failed",
               [](const MonitoredStream& s) { return O(double(s.decoder().parity_failures)); });
    per_stream(m, list, "tessaly_sync_losses", MetricType::counter, "Losses of word or frame synchronisation",
               [](const MonitoredStream& s) { return O(double(s.decoder().sync_losses)); });
    per_stream(m, list, "tessaly_unused_chars", MetricType::counter, "Received bytes not taken into a word",
               [](const MonitoredStream& s) { return O(double(s.decoder().unused_chars)); });
    per_stream(m, list, "tessaly_missed_frames", MetricType::counter,
               "Frames missed, by the frames' 3-bit sequence numbers",
               [](const MonitoredStream& s) { return O(double(s.totals().sequence_gaps)); });
    per_stream(m, list, "tessaly_latency_seconds", MetricType::gauge,
               "Latency of the latest frame: its age when it was decoded, leap seconds included",
               [](const MonitoredStream& s) { return s.has_frame() ? O(ms(s.latency())) : O(); });
    m.family("tessaly_frame_latency_seconds", MetricType::histogram,
             "Latency of every frame (a negative latency counts as 0)");
    for (const auto& [stream, s] : list) {
        const LatencyHistogram& h = s->latency_histogram();
        const Label labels[] = {{"stream", stream}};
        m.histogram(labels, latency_buckets, h.counts, h.sum);
    }
    per_stream(m, list, "tessaly_correction_age_seconds", MetricType::gauge,
               "Age of the newest correction set (types 1, 9, 20, 21, 31, 34) by its own time against the clock",
               [now](const MonitoredStream& s) { return ms(s.correction_age(now)); });
    per_stream(m, list, "tessaly_station_id", MetricType::gauge, "Reference station of the latest frame",
               [](const MonitoredStream& s) { return s.has_frame() ? O(s.station()) : O(); });
    per_stream(m, list, "tessaly_station_health", MetricType::gauge,
               "Station health of the latest frame (0 good .. 6 not monitored, 7 not working)",
               [](const MonitoredStream& s) { return s.has_frame() ? O(s.health()) : O(); });
    per_stream(m, list, "tessaly_last_frame_timestamp_seconds", MetricType::gauge,
               "When the latest frame was decoded (system clock), seconds since 1970",
               [](const MonitoredStream& s) { return s.has_frame() ? O(s.last_frame_wall()) : O(); });
    per_stream(m, list, "tessaly_reconnects", MetricType::counter, "Connection attempts after a failure",
               [](const MonitoredStream& s) { return O(double(s.reconnects())); });
    per_stream(m, list, "tessaly_outages", MetricType::counter,
               "Outages: a stream that delivered stopped (failure or silence) until its next byte",
               [](const MonitoredStream& s) { return O(double(s.outages())); });
    per_stream(m, list, "tessaly_outage_seconds", MetricType::counter,
               "Time in outages, the one under way included",
               [now](const MonitoredStream& s) { return O(ms(s.outage_seconds(now))); });

    const auto& rules = alarms::AlarmEngine::rule_names();
    m.family("tessaly_alarm_active", MetricType::gauge, "1 while the stream's alarm of this rule is active, else 0");
    for (const auto& [stream, s] : list) {
        const std::vector<alarms::Active> active = s->alarms().active();
        for (const std::string& rule : rules) {
            const bool on = std::any_of(active.begin(), active.end(), [&](const alarms::Active& a) { return a.rule == rule; });
            m.sample({{"stream", stream}, {"rule", rule}}, on ? 1 : 0);
        }
    }
    m.family("tessaly_alarm_events", MetricType::counter, "Alarms of this rule that began");
    for (const auto& [stream, s] : list) {
        const auto& counts = s->alarms().counts();
        for (const std::string& rule : rules) {
            const auto it = counts.find(rule);
            m.sample({{"stream", stream}, {"rule", rule}}, it == counts.end() ? 0 : double(it->second));
        }
    }

    // With --shard, each instance counts its own share.
    std::map<std::string_view, double> watched;
    for (const auto& [stream, s] : list)
        if (!s->setup().caster.empty()) ++watched[s->setup().caster];
    per_caster(m, monitor, "tessaly_caster_mountpoints", MetricType::gauge,
               "Mountpoints of the caster's sourcetable that this instance watches",
               [&](const CasterWatch& c) { return watched[c.setup().name]; });
    per_caster(m, monitor, "tessaly_caster_sourcetable_up", MetricType::gauge,
               "1 when the latest reading of the caster's sourcetable succeeded, else 0",
               [](const CasterWatch& c) { return c.table_read() ? 1.0 : 0.0; });
    per_caster(m, monitor, "tessaly_caster_sourcetable_changes", MetricType::counter,
               "Readings of the sourcetable that added, removed or changed a watched mountpoint",
               [](const CasterWatch& c) { return double(c.changes()); });

    m.family("tessaly_streams", MetricType::gauge, "Streams this instance watches");
    m.sample({}, double(streams));
    m.family("tessaly_config_last_reload_successful", MetricType::gauge,
             "1 when the configuration was last loaded without fault, else 0");
    m.sample({}, daemon.last_reload_ok ? 1 : 0);
    m.family("tessaly_config_last_reload_success_timestamp_seconds", MetricType::gauge,
             "When the configuration was last loaded without fault, seconds since 1970");
    m.sample({}, daemon.last_reload_time);
    m.family("tessaly_build_info", MetricType::gauge, "The running version of Tessaly, as a label");
    m.sample({{"version", TESSALY_VERSION}}, 1);

    const ProcessFigures& p = daemon.process;
    m.family("process_cpu_seconds", MetricType::counter, "Total user and system CPU time spent in seconds.");
    m.sample({}, p.cpu_seconds);
    m.family("process_resident_memory_bytes", MetricType::gauge, "Resident memory size in bytes.");
    m.sample({}, p.resident_bytes);
    m.family("process_virtual_memory_bytes", MetricType::gauge, "Virtual memory size in bytes.");
    m.sample({}, p.virtual_bytes);
    m.family("process_open_fds", MetricType::gauge, "Number of open file descriptors.");
    m.sample({}, p.open_fds);
    m.family("process_max_fds", MetricType::gauge, "Maximum number of open file descriptors.");
    m.sample({}, p.max_fds);
    m.family("process_start_time_seconds", MetricType::gauge, "Start time of the process since unix epoch in seconds.");
    m.sample({}, p.start_time);
    return std::move(m.finish());
}

QByteArray streams_json(const Monitor& monitor, double now) {
    QJsonArray list;
    for (const auto& [name, s] : monitor.streams()) {
        QJsonObject o;
        o["stream"] = s->label();
        o["source"] = QString::fromStdString(s->setup().source.name());
        if (!s->setup().caster.empty()) o["caster"] = QString::fromStdString(s->setup().caster);
        o["state"] = state_name(*s);
        o["status"] = s->status();
        o["connected"] = s->connected();
        o["up"] = s->up();
        const RtcmDecoder& d = s->decoder();
        o["station"] = s->has_frame() ? QJsonValue(qint64(s->station())) : QJsonValue();
        o["health"] = s->has_frame() ? QJsonValue(s->health()) : QJsonValue();
        o["bytes"] = qint64(s->bytes());
        o["frames"] = qint64(s->totals().frames);
        o["parity_failures"] = qint64(d.parity_failures);
        o["sync_losses"] = qint64(d.sync_losses);
        o["unused_chars"] = qint64(d.unused_chars);
        o["missed_frames"] = qint64(s->totals().sequence_gaps);
        o["latency"] = s->has_frame() ? QJsonValue(ms(s->latency())) : QJsonValue();
        o["correction_age"] = number_or_null(ms(s->correction_age(now)));
        o["last_frame"] = s->has_frame() ? QJsonValue(iso(s->last_frame_wall())) : QJsonValue();
        // Rates over the last whole minute of stream time, once there is one.
        const stats::Snapshot& rate_span = s->last_interval() ? *s->last_interval() : s->totals();
        QJsonArray types;
        for (std::size_t t = 0; t < s->totals().types.size(); ++t) {
            const stats::TypeCounts& c = s->totals().types[t];
            if (!c.frames) continue;
            types.append(QJsonObject{{"type", int(t)},
                                     {"frames", qint64(c.frames)},
                                     {"per_minute", rate_span.frame_rate(int(t))},
                                     {"latency", QJsonObject{{"last", ms(c.latency.last)},
                                                             {"mean", ms(c.latency.mean)},
                                                             {"min", ms(c.latency.min)},
                                                             {"max", ms(c.latency.max)}}}});
        }
        o["types"] = types;
        QJsonArray active;
        for (const alarms::Active& a : s->alarms().active())
            active.append(QJsonObject{{"rule", QString::fromStdString(a.rule)},
                                      {"since", iso(a.since)},
                                      {"detail", QString::fromStdString(a.detail)},
                                      {"severity", a.severity == alarms::Severity::alarm ? "alarm" : "notice"}});
        o["alarms"] = active;
        QJsonObject events;
        for (const auto& [rule, count] : s->alarms().counts()) events[QString::fromStdString(rule)] = qint64(count);
        o["alarm_events"] = events;
        o["reconnects"] = qint64(s->reconnects());
        o["outages"] = qint64(s->outages());
        o["outage_seconds"] = ms(s->outage_seconds(now));
        o["outage_since"] = s->outage_since() ? QJsonValue(iso(*s->outage_since())) : QJsonValue();
        QJsonArray outages;
        for (const Outage& out : s->recent_outages())
            outages.append(QJsonObject{{"start", iso(utc_seconds(out.start))},
                                       {"end", iso(utc_seconds(out.end))},
                                       {"duration", ms(out.seconds())},
                                       {"attempts", out.attempts},
                                       {"reason", QString::fromStdString(out.reason)}});
        o["recent_outages"] = outages;
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

}  // namespace tessaly::monitord
