#include "stream_pipeline.h"

#include <chrono>

namespace tessaly::stream {

double epoch_seconds(const ClockReading& r) {
    using namespace std::chrono;
    const sys_days day{year{r.year} / month{unsigned(r.month)} / std::chrono::day{unsigned(r.day)}};
    return double(day.time_since_epoch().count()) * 86400.0 + r.time_of_day();
}

double StreamTime::frame_utc(const RtcmDecoder& d) {
    // Within a chunk the clock reading is the same for every frame: its
    // date is converted once.
    const ClockReading now = d.now_utc();
    if (!(now == wall_reading_) || !started_) {
        wall_reading_ = now;
        wall_ = epoch_seconds(now);
    }
    const int type = d.header.msg_type;
    const double to_utc = type >= 31 && type <= 36 ? 0.0 : double(d.leapSeconds);
    double in_hour = d.delivery.zcount * 0.6 - to_utc;  // Z-counts above 5999 are not valid but can arrive
    while (in_hour < 0) in_hour += 3600.0;
    while (in_hour >= 3600.0) in_hour -= 3600.0;
    double t;
    if (!started_ || wall_ - last_wall_ > 1800.0 || last_wall_ - wall_ > 1800.0) {
        // The decoder took the frame's hour from the clock; the date is the
        // clock's, or the day next to it when that puts the frame nearer.
        const double midnight = wall_ - now.time_of_day();
        t = midnight + d.header.frame_time - to_utc;
        if (t - wall_ > 43200.0) t -= 86400.0;
        else if (wall_ - t > 43200.0) t += 86400.0;
        if (!started_) origin_ = t - (d.header.frame_time - to_utc) - d.leapSeconds;
        started_ = true;
    } else {
        double step = in_hour - last_in_hour_;
        if (step > 1800.0) step -= 3600.0;
        else if (step <= -1800.0) step += 3600.0;
        t = last_ + step;
    }
    last_ = t;
    last_in_hour_ = in_hour;
    last_wall_ = wall_;
    if (t > newest_) newest_ = t;
    return t;
}

void StreamPipeline::restart() {
    sniffer_ = StreamSniffer{};
    ais_.reset();
    time_.restart();
    bytes_ = 0;
    since_frame_ = 0;
}

CompletedFrame StreamPipeline::complete() {
    const double utc = time_.frame_utc(decoder_);
    CompletedFrame f{decoder_, stats::completed_frame(decoder_), utc, time_.axis(utc), since_frame_};
    since_frame_ = 0;
    return f;
}

}  // namespace tessaly::stream
