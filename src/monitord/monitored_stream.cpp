#include "monitored_stream.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "alarm_text.h"

namespace tessaly::monitord {

namespace {

// Outages kept for /streams.json; the counters hold them all.
constexpr std::size_t recent_outages_kept = 10;

}  // namespace

void ArrivalClock::set(double utc_seconds) {
    const double whole = std::floor(utc_seconds);
    const auto second = std::int64_t(whole);
    if (second != second_) {
        second_ = second;
        const std::time_t t = std::time_t(second);
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        reading_ = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
    }
    reading_.millisecond = std::min(999, int((utc_seconds - whole) * 1000.0));
}

void LatencyHistogram::add(double seconds) {
    // A negative latency (a clock behind the station's) counts as 0, so that
    // the sum stays a counter.
    const double v = std::max(seconds, 0.0);
    const auto bucket = std::lower_bound(latency_buckets.begin(), latency_buckets.end(), v) - latency_buckets.begin();
    ++counts[std::size_t(bucket)];
    sum += v;
}

MonitoredStream::MonitoredStream(Reactor& reactor, StreamSetup setup, Log log)
    : setup_(std::move(setup)),
      label_(QString::fromStdString(setup_.name)),
      log_(std::move(log)),
      alarms_(setup_.rules, setup_.source.name()),
      link_(reactor, setup_.source) {
    if (!setup_.expect.empty()) alarms_.expect(setup_.expect);
    // The line tessaly-decode writes for an event, after the stream's name.
    alarms_.on_event = [this](const alarms::Event& e) {
        log_(label_ + ": alarm " + QString::fromStdString(alarms::event_line(e)));
    };

    supervisor_.setOwnTimer(false);
    supervisor_.setKeepOutages(false);
    supervisor_.setReconnect(true);
    supervisor_.setSilenceLimit(setup_.silence_s);
    supervisor_.setEndpoint(QString::fromStdString(setup_.source.name()));
    supervisor_.open = [this] {
        ++reconnects_;
        link_.open();
    };
    supervisor_.close = [this] {
        connected_ = false;
        link_.close();
    };
    // The supervisor's lines start with its own time; the journal has one.
    supervisor_.onLog = [this](const QString& line) { log_(label_ + ": " + line.mid(20)); };
    supervisor_.onEvent = [this](const SourceEvent& e) { source_event(e); };

    link_.on_connected = [this] {
        connected_ = true;
        delivered_ = false;
        // A new connection starts somewhere in a word: back to searching,
        // stores and counters kept.
        decoder_.rtcm_decoder_reset();
        supervisor_.connected();
    };
    link_.on_data = [this](std::span<const std::uint8_t> chunk, double arrival) {
        delivered_ = true;
        quiet_s_ = 0;
        supervisor_.received();
        feed(chunk, arrival);
    };
    link_.on_failed = [this](const QString& text) {
        connected_ = false;
        supervisor_.failed(text);
    };
}

MonitoredStream::~MonitoredStream() {
    link_.on_failed = nullptr;
    supervisor_.onLog = nullptr;
    supervisor_.onEvent = nullptr;
    link_.close();
}

void MonitoredStream::start() {
    supervisor_.start();
    link_.open();
}

void MonitoredStream::tick(double now) {
    if (quiet_s_ < 1000000) ++quiet_s_;
    supervisor_.tick();
    link_.tick();
    alarms_.tick(now);
}

void MonitoredStream::feed(std::span<const std::uint8_t> chunk, double arrival) {
    clock_.set(arrival);
    pipeline_.feed(chunk, [this](const stream::CompletedFrame& f) { frame(f); });
    if (pipeline_.take_sniffer_news()) log_(label_ + ": " + StreamSniffer::message(pipeline_.sniffer().kind()));
}

void MonitoredStream::frame(const stream::CompletedFrame& f) {
    stats_.frame(f, [this](const stats::Snapshot& s) { last_interval_ = s; });
    alarms_.frame(f);
    has_frame_ = true;
    latency_ = f.frame.latency;
    histogram_.add(latency_);
    station_ = f.frame.station;
    health_ = f.decoder.header.health;
    // The arrival of the chunk that ended it.
    last_frame_wall_ = stream::epoch_seconds(f.decoder.now_utc());
}

void MonitoredStream::source_event(const SourceEvent& e) {
    alarms_.source(e);
    if (e.kind == SourceEvent::Kind::outage_begin) {
        ++outages_;
        outage_since_ = utc_seconds(e.outage.start);
    } else if (e.kind == SourceEvent::Kind::outage_end) {
        outage_since_.reset();
        outage_seconds_ += std::max(0.0, e.outage.seconds());
        recent_outages_.push_back(e.outage);
        if (recent_outages_.size() > recent_outages_kept) recent_outages_.pop_front();
    }
}

std::optional<double> MonitoredStream::correction_age(double now) const {
    const std::optional<double> newest = alarms_.newest_correction();
    if (!newest) return std::nullopt;
    return now - *newest;
}

double MonitoredStream::outage_seconds(double now) const {
    return outage_seconds_ + (outage_since_ ? std::max(0.0, now - *outage_since_) : 0.0);
}

}  // namespace tessaly::monitord
