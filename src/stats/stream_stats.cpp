// Stream statistics: the counting. See stream_stats.h.
#include "stream_stats.h"

#include <algorithm>
#include <cmath>

namespace tessaly::stats {

void Latency::add(double v) {
    ++count;
    last = v;
    if (count == 1) {
        mean = min = max = v;
        m2 = 0;
        return;
    }
    min = std::min(min, v);
    max = std::max(max, v);
    const double delta = v - mean;
    mean += delta / double(count);
    m2 += delta * (v - mean);
}

double Latency::std_dev() const { return count < 2 ? 0 : std::sqrt(m2 / double(count)); }

double Snapshot::byte_rate() const { return seconds() > 0 ? double(bytes) / seconds() : 0; }

double Snapshot::frame_rate(int type) const {
    return seconds() > 0 ? double(types[std::size_t(type)].frames) * 60.0 / seconds() : 0;
}

double Snapshot::outage_seconds() const {
    double s = 0;
    for (const Outage& o : outages) s += o.duration();
    return s;
}

StreamStats::StreamStats(double interval_seconds) : length_(interval_seconds > 0 ? interval_seconds : 60) {
    reset(0);
}

void StreamStats::begin(Snapshot& s, double now) const {
    s = Snapshot{};
    s.start = s.end = now;
}

void StreamStats::reset(double now, std::uint64_t parity, std::uint64_t sync_losses, std::uint64_t unused) {
    begin(total_, now);
    begin(interval_, now);
    parity_ = parity;
    sync_ = sync_losses;
    unused_ = unused;
    have_previous_ = false;
    type_time_.fill(-1);
    type_step_.fill(0);
}

void StreamStats::add_bytes(std::uint64_t n, double now) {
    total_.bytes += n;
    interval_.bytes += n;
    total_.end = std::max(total_.end, now);
    interval_.end = std::max(interval_.end, now);
}

void StreamStats::set_decoder_counters(std::uint64_t parity, std::uint64_t sync_losses, std::uint64_t unused,
                                       double now) {
    // A decoder that was replaced starts again below the last totals.
    const auto delta = [](std::uint64_t now_v, std::uint64_t& then) {
        const std::uint64_t d = now_v >= then ? now_v - then : now_v;
        then = now_v;
        return d;
    };
    const std::uint64_t p = delta(parity, parity_), s = delta(sync_losses, sync_), u = delta(unused, unused_);
    for (Snapshot* span : {&total_, &interval_}) {
        span->parity_failures += p;
        span->sync_losses += s;
        span->unused_chars += u;
        span->end = std::max(span->end, now);
    }
}

void StreamStats::count_frame(Snapshot& s, const Frame& f) const {
    ++s.frames;
    TypeCounts& t = s.types[std::size_t(f.type & 63)];
    ++t.frames;
    t.latency.add(f.latency);
    s.leap_seconds = f.leap_seconds;
    auto st = std::find_if(s.stations.begin(), s.stations.end(), [&](const Station& x) { return x.id == f.station; });
    if (st == s.stations.end()) st = s.stations.insert(s.stations.end(), Station{f.station, 0});
    ++st->frames;
}

void StreamStats::add_frame(const Frame& f, double now) {
    std::uint64_t missed = 0;
    // Sequence numbers count frames modulo 8; a change of station starts a
    // new count. More than seven missed frames in a row read as fewer.
    if (have_previous_ && f.station == previous_station_) missed = std::uint64_t((f.sequence - previous_sequence_ - 1) & 7);
    have_previous_ = true;
    previous_sequence_ = f.sequence;
    previous_station_ = f.station;

    // A type whose Z-count moves on by more than twice its shortest step
    // (and at least one step of 0.6 s more) paused. The Z-count counts
    // within the hour: a step back across the hour adds 3600 s.
    std::uint64_t pauses = 0;
    double paused = 0;
    const std::size_t k = std::size_t(f.type & 63);
    const double zt = std::fmod(f.frame_time, 3600.0);
    if (type_time_[k] >= 0) {
        double step = zt - type_time_[k];
        if (step < -1800) step += 3600;
        if (step > 0) {
            double& usual = type_step_[k];
            if (usual > 0 && step > 2 * usual && step > usual + 0.6) {
                ++pauses;
                paused = step - usual;
            }
            if (usual == 0 || step < usual) usual = step;
        }
    }
    type_time_[k] = zt;

    for (Snapshot* span : {&total_, &interval_}) {
        count_frame(*span, f);
        span->sequence_gaps += missed;
        span->zcount_gaps += pauses;
        span->zcount_gap_seconds += paused;
        span->end = std::max(span->end, now);
    }
}

void StreamStats::record_outage(double start, double end) {
    if (end < start) std::swap(start, end);
    for (Snapshot* span : {&total_, &interval_})
        if (span->outages.size() < 10000) span->outages.push_back({start, end});
}

void StreamStats::count_alarm(const std::string& rule) {
    ++total_.alarms[rule];
    ++interval_.alarms[rule];
}

bool StreamStats::interval_due(double now) const { return now - interval_.start >= length_; }

Snapshot StreamStats::close_interval(double now) {
    interval_.end = now;
    Snapshot done = std::move(interval_);
    begin(interval_, now);
    interval_.leap_seconds = done.leap_seconds;
    return done;
}

}  // namespace tessaly::stats
