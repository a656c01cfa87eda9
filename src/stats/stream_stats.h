#pragma once
// Counters of a decoded stream, since the start (or the last reset) and for
// the current interval: bytes, frames per type, parity failures, sync
// losses, unused characters, latency per type, missed frames (sequence
// numbers and Z-counts), outages and the stations seen.
//
// No Qt, no clock and no I/O: the caller hands in the time with every call,
// on an axis of its choice (the window its decoder's UTC clock, which its
// outages share; the command-line tool the frames' time), and feeds bytes in chunks and frames
// as they complete, so that nothing here runs per byte.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessaly::stats {

// Latency figures of one message type, in seconds.
struct Latency {
    std::uint64_t count = 0;
    double last = 0;
    double mean = 0;
    double min = 0;
    double max = 0;
    double m2 = 0;  // sum of squared deviations (Welford)

    void add(double v);
    double std_dev() const;  // population standard deviation; 0 below two values
};

struct TypeCounts {
    std::uint64_t frames = 0;
    Latency latency;
};

struct Outage {
    double start = 0;  // seconds since 1970-01-01 UTC
    double end = 0;
    double duration() const { return end - start; }
};

struct Station {
    std::uint32_t id = 0;
    std::uint64_t frames = 0;
};

// The figures of one span (since the start, or one interval).
struct Snapshot {
    double start = 0;  // on the caller's time axis
    double end = 0;
    std::uint64_t bytes = 0;
    std::uint64_t frames = 0;
    std::array<TypeCounts, 64> types{};  // by message type 0..63
    std::uint64_t parity_failures = 0;
    std::uint64_t sync_losses = 0;
    std::uint64_t unused_chars = 0;
    std::uint64_t sequence_gaps = 0;   // frames missed by the sequence numbers
    std::uint64_t zcount_gaps = 0;     // pauses in the Z-counts of a type
    double zcount_gap_seconds = 0;     // their length beyond the type's usual step
    int leap_seconds = 0;              // in force for the latest latency
    std::vector<Outage> outages;       // ended within the span
    std::vector<Station> stations;     // in order of first appearance
    std::map<std::string, std::uint64_t> alarms;  // alarms that began, per rule

    double seconds() const { return end > start ? end - start : 0; }
    double byte_rate() const;                 // bytes per second, 0 for an empty span
    double frame_rate(int type) const;        // frames per minute
    double outage_seconds() const;
};

// What a completed frame tells the statistics.
struct Frame {
    int type = 0;              // 1..63
    std::uint32_t station = 0;
    int sequence = 0;          // 0..7
    double frame_time = 0;     // seconds of the day from the Z-count
    double latency = 0;        // seconds
    int leap_seconds = 0;      // used for that latency
};

// The frame a decoder has just completed, as counted here. A template so
// that these counters stay free of the decoder library.
template <class Decoder>
Frame completed_frame(const Decoder& d) {
    return {.type = int(d.header.msg_type),
            .station = d.header.station_id,
            .sequence = int(d.header.sequence),
            .frame_time = d.header.frame_time,
            .latency = d.latency,
            .leap_seconds = d.leapSeconds};
}

class StreamStats {
public:
    explicit StreamStats(double interval_seconds = 60);

    // Starts over at `now`: both spans empty. The decoder's counters as they
    // stand now become the zero of the next reports.
    void reset(double now, std::uint64_t parity = 0, std::uint64_t sync_losses = 0, std::uint64_t unused = 0);

    void add_bytes(std::uint64_t n, double now);
    void add_frame(const Frame& f, double now);
    // The decoder's running totals (they are never reset there).
    void set_decoder_counters(std::uint64_t parity, std::uint64_t sync_losses, std::uint64_t unused, double now);
    // The source was down from `start` to `end` (seconds since 1970 UTC),
    // as the supervision of a connection or the reconnecting tool saw it.
    void record_outage(double start, double end);
    // An alarm of this rule began (the alarms' events, counted per rule).
    void count_alarm(const std::string& rule);

    // True when the current interval has run its length by `now`.
    bool interval_due(double now) const;
    // Ends the current interval at `now` and starts the next; returns it.
    Snapshot close_interval(double now);

    const Snapshot& total() const { return total_; }
    const Snapshot& interval() const { return interval_; }
    double interval_seconds() const { return length_; }

private:
    void begin(Snapshot& s, double now) const;
    void count_frame(Snapshot& s, const Frame& f) const;

    double length_;
    Snapshot total_;
    Snapshot interval_;
    // Decoder counters at the last call, so that each span gets its share.
    std::uint64_t parity_ = 0, sync_ = 0, unused_ = 0;
    // Continuity: the previous frame's sequence number and station, and per
    // type the previous Z-count time and the shortest step seen.
    bool have_previous_ = false;
    int previous_sequence_ = 0;
    std::uint32_t previous_station_ = 0;
    std::array<double, 64> type_time_{};
    std::array<double, 64> type_step_{};
};

}  // namespace tessaly::stats
