#pragma once
// One stream of the network monitor: its connection, supervision with
// reconnect and backoff, decoder, statistics on stream time and alarm
// rules, and the figures that /metrics and /streams.json show. Everything
// counts from the monitor's start (or the stream's, when it came later):
// reconnects never reset a counter.

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>

#include "alarm_engine.h"
#include "config_file.h"
#include "rtcmdecw.h"
#include "source_event.h"
#include "source_supervisor.h"
#include "stream_link.h"
#include "stream_pipeline.h"

namespace tessaly::monitord {

// The buckets of the latency histogram, in seconds (and +Inf).
inline constexpr std::array<double, 9> latency_buckets = {0.5, 1, 2, 3, 5, 10, 20, 30, 60};

// The decoder's clock: the arrival of the bytes it is given, so that a
// frame's hour and latency are those of its arrival however late it is read.
class ArrivalClock final : public Clock {
public:
    ClockReading now_utc() const override { return reading_; }
    void set(double utc_seconds);

private:
    ClockReading reading_;
    std::int64_t second_ = -1;  // of the reading's date and time, converted once per second
};

struct LatencyHistogram {
    std::array<std::uint64_t, latency_buckets.size() + 1> counts{};
    double sum = 0;
    void add(double seconds);
};

class MonitoredStream {
public:
    using Log = std::function<void(const QString& line)>;

    MonitoredStream(Reactor& reactor, StreamSetup setup, Log log);
    ~MonitoredStream();
    MonitoredStream(const MonitoredStream&) = delete;
    MonitoredStream& operator=(const MonitoredStream&) = delete;

    void start();
    // Once a second, with the system clock (UTC seconds).
    void tick(double now);

    const StreamSetup& setup() const { return setup_; }
    const QString& label() const { return label_; }

    // The source is connected (NTRIP: the caster accepted the request).
    bool connected() const { return connected_; }
    // Connected and bytes arrived within the silence limit.
    bool up() const { return connected_ && delivered_ && quiet_s_ < setup_.silence_s; }
    QString status() const { return supervisor_.statusText(); }

    std::uint64_t bytes() const { return pipeline_.bytes(); }
    const RtcmDecoder& decoder() const { return decoder_; }
    const stats::Snapshot& totals() const { return stats_.stats().total(); }
    // The last whole interval (a minute of stream time), once there is one.
    const std::optional<stats::Snapshot>& last_interval() const { return last_interval_; }

    bool has_frame() const { return has_frame_; }
    double latency() const { return latency_; }
    const LatencyHistogram& latency_histogram() const { return histogram_; }
    std::uint32_t station() const { return station_; }
    int health() const { return health_; }
    double last_frame_wall() const { return last_frame_wall_; }  // UTC seconds, when it was completed
    // Seconds since the newest correction set's own time; nothing before one came.
    std::optional<double> correction_age(double now) const;

    std::uint64_t reconnects() const { return reconnects_; }
    std::uint64_t outages() const { return outages_; }
    // Ended outages, and the one under way up to `now`.
    double outage_seconds(double now) const;
    const std::deque<Outage>& recent_outages() const { return recent_outages_; }
    std::optional<double> outage_since() const { return outage_since_; }

    const alarms::AlarmEngine& alarms() const { return alarms_; }

private:
    void feed(std::span<const std::uint8_t> chunk, double arrival);
    void frame(const stream::CompletedFrame& f);
    void source_event(const SourceEvent& e);

    StreamSetup setup_;
    QString label_;
    Log log_;
    ArrivalClock clock_;
    RtcmDecoder decoder_{clock_};
    stream::StreamPipeline pipeline_{decoder_};
    stream::StreamAxisStats stats_;
    std::optional<stats::Snapshot> last_interval_;
    alarms::AlarmEngine alarms_;
    SourceSupervisor supervisor_;
    StreamLink link_;

    bool connected_ = false;
    bool delivered_ = false;  // bytes on this connection
    int quiet_s_ = 0;         // ticks since the last bytes
    bool has_frame_ = false;
    double latency_ = 0;
    LatencyHistogram histogram_;
    std::uint32_t station_ = 0;
    int health_ = 0;
    double last_frame_wall_ = 0;
    std::uint64_t reconnects_ = 0;
    std::uint64_t outages_ = 0;
    double outage_seconds_ = 0;  // of ended outages
    std::optional<double> outage_since_;
    std::deque<Outage> recent_outages_;
};

}  // namespace tessaly::monitord
