#pragma once
// One stream's way from bytes to meaning, shared by tessaly-decode, the
// window and the network monitor: the bytes go through the protocol
// sniffer and the decoder (AIS sentences split off on the way, their
// messages 17 decoded as frames), and every frame that ends normally comes out
// once as a CompletedFrame, with its own time on the stream's continuous
// UTC axis and its share of the bytes. Statistics, alarms and the outputs
// are consumers of these; none of them reads the decoder's flags or counts
// bytes by itself.
//
// No Qt, no I/O, no clock of its own: the decoder's injected clock gives
// the hour and the date.

#include <cstdint>
#include <span>

#include "ais_input.h"
#include "rtcmdecw.h"
#include "stream_sniffer.h"
#include "stream_stats.h"

namespace tessaly::stream {

// A frame that ended normally. While a consumer runs, the decoder's
// header, delivery and stores still describe this frame.
struct CompletedFrame {
    const RtcmDecoder& decoder;
    stats::Frame frame;       // type, station, sequence, frame time, latency, leap seconds
    double utc = 0;           // the frame's own time: UTC seconds since 1970 (stream time)
    double axis = 0;          // the statistics' stream axis (seconds, below)
    std::uint64_t bytes = 0;  // stream bytes since the previous completed frame, up to this frame's last
};

// The frames' own times as one continuous UTC axis. A Z-count counts only
// within the hour; the first frame takes its hour and date from the
// decoder's clock, every later one is placed by its step from the frame
// before (less than half an hour either way), so that a recording read
// faster than it was made keeps its own hours and days. When the clock
// itself jumped by more than half an hour between two frames (a live
// source back after a long outage), the clock places the frame again.
// Frames of GLONASS types (31 to 36) count in UTC, the others in GPS time,
// which the leap seconds take back to UTC.
class StreamTime {
public:
    // The UTC time of the frame the decoder has just completed.
    double frame_utc(const RtcmDecoder& d);
    // The statistics' axis for a frame time: GPS seconds from the UTC
    // midnight of the stream's first day, carried on past midnight, so that
    // a stream's first frame sits at its frame time of day as the decoder
    // gives it.
    double axis(double utc) const { return utc - origin_; }
    bool started() const { return started_; }
    // The newest frame time so far; 0 before the first frame.
    double newest() const { return newest_; }
    void restart() { *this = StreamTime{}; }

private:
    bool started_ = false;
    double last_ = 0;          // UTC of the previous frame
    double last_in_hour_ = 0;  // its seconds within the UTC hour
    double last_wall_ = 0;     // the clock at the previous frame
    ClockReading wall_reading_;
    double wall_ = 0;          // that reading in seconds since 1970
    double newest_ = 0;
    double origin_ = 0;
};

// UTC seconds since 1970 of a clock reading.
double epoch_seconds(const ClockReading& r);

class StreamPipeline {
public:
    explicit StreamPipeline(RtcmDecoder& decoder) : decoder_(decoder) {}
    StreamPipeline(const StreamPipeline&) = delete;
    StreamPipeline& operator=(const StreamPipeline&) = delete;

    RtcmDecoder& decoder() { return decoder_; }
    const RtcmDecoder& decoder() const { return decoder_; }

    // The bytes in arrival order: `on_frame(const CompletedFrame&)` for
    // every frame that ends normally, and `after(i)` wherever the decoder's
    // own rtcm_decode(span, after) calls it (frame ends and storing steps),
    // after on_frame; a frame from an AIS sentence ends at the sentence's
    // last byte.
    template <class OnFrame, class After>
    void feed(std::span<const std::uint8_t> chunk, OnFrame&& on_frame, After&& after) {
        sniffer_.feed(chunk.data(), chunk.size());
        bytes_ += chunk.size();
        std::size_t counted = 0;  // bytes of the chunk given to a frame's share
        ais_.decode(decoder_, chunk, [&](std::size_t i) {
            if (decoder_.frame_completed) {
                since_frame_ += i + 1 - counted;
                counted = i + 1;
                on_frame(complete());
            }
            after(i);
        });
        since_frame_ += chunk.size() - counted;
    }
    template <class OnFrame>
    void feed(std::span<const std::uint8_t> chunk, OnFrame&& on_frame) {
        feed(chunk, on_frame, [](std::size_t) {});
    }

    // One byte, for a caller that acts between bytes (the window). The
    // sniffer sees the bytes of a chunk through sniff().
    template <class OnFrame>
    void feed_byte(std::uint8_t b, OnFrame&& on_frame) {
        ++since_frame_;
        ++bytes_;
        if (!ais_.passes(b)) {  // held back, or part of an AIS sentence
            ais_.decode(decoder_, std::span(&b, 1), [&](std::size_t) {
                if (decoder_.frame_completed) on_frame(complete());
            });
            return;
        }
        decoder_.rtcm_decode_byte(b);
        if (decoder_.frame_completed) on_frame(complete());
    }
    // The end of the input: bytes held back while it was not clear whether
    // they start an AIS sentence go to the decoder, a sentence cut short is
    // dropped.
    template <class OnFrame>
    void finish(OnFrame&& on_frame) {
        ais_.finish(decoder_, [&] {
            if (decoder_.frame_completed) on_frame(complete());
        });
    }
    void sniff(std::span<const std::uint8_t> chunk) { sniffer_.feed(chunk.data(), chunk.size()); }

    // Another stream begins (a new source): the protocol sniffer, the AIS
    // sentences, the time axis and the byte counts start over. The
    // decoder's state is its owner's to reset.
    void restart();

    // Stream bytes taken so far, and those after the last completed frame.
    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t bytes_since_frame() const { return since_frame_; }
    const StreamTime& time() const { return time_; }
    const StreamSniffer& sniffer() const { return sniffer_; }
    // The AIS sentences met: their counts, and where an undecodable
    // message 17 is named (on_problem).
    AisInput& ais() { return ais_; }
    const AisInput& ais() const { return ais_; }
    // True once, after the feed in which a stream of another protocol was
    // recognised: sniffer().kind() names it.
    bool take_sniffer_news() { return sniffer_.take_news(); }

private:
    CompletedFrame complete();

    RtcmDecoder& decoder_;
    StreamSniffer sniffer_;
    AisInput ais_;
    StreamTime time_;
    std::uint64_t bytes_ = 0;
    std::uint64_t since_frame_ = 0;
};

// The statistics of a stream on its own time axis, as tessaly-decode and
// the network monitor keep them: intervals close on the frames' times, so
// that a recording gives the same figures however fast it is read.
class StreamAxisStats {
public:
    explicit StreamAxisStats(double interval_seconds = 60) : stats_(interval_seconds) {}

    // A completed frame; an interval that ran its length by the frame's
    // time is closed first and handed to `closed(const stats::Snapshot&)`.
    template <class Closed>
    void frame(const CompletedFrame& f, Closed&& closed) {
        const double t = f.axis;
        if (!started_) {
            stats_.reset(t);
            started_ = true;
        } else if (stats_.interval_due(t)) {
            closed(stats_.close_interval(t));
        }
        last_ = std::max(last_, t);
        stats_.add_bytes(f.bytes, t);
        const RtcmDecoder& d = f.decoder;
        stats_.set_decoder_counters(d.parity_failures, d.sync_losses, d.unused_chars, t);
        stats_.add_frame(f.frame, t);
    }
    // The stream ended: the bytes after the last frame and the decoder's
    // last counts are taken in, and the interval under way is closed when
    // it holds anything.
    template <class Closed>
    void finish(const StreamPipeline& p, Closed&& closed) {
        if (!started_) stats_.reset(0);
        started_ = true;
        const RtcmDecoder& d = p.decoder();
        stats_.add_bytes(p.bytes_since_frame(), last_);
        stats_.set_decoder_counters(d.parity_failures, d.sync_losses, d.unused_chars, last_);
        if (stats_.interval().bytes || stats_.interval().frames) closed(stats_.close_interval(last_));
    }
    void outage(double start_utc, double end_utc) { stats_.record_outage(start_utc, end_utc); }
    void count_alarm(const std::string& rule) { stats_.count_alarm(rule); }

    const stats::StreamStats& stats() const { return stats_; }

private:
    stats::StreamStats stats_;
    bool started_ = false;
    double last_ = 0;
};

}  // namespace tessaly::stream
