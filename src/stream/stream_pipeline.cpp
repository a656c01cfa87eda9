#include "stream_pipeline.h"

#include <chrono>
#include <cmath>

namespace tessaly::stream {

double epoch_seconds(const ClockReading& r) {
    using namespace std::chrono;
    const sys_days day{year{r.year} / month{unsigned(r.month)} / std::chrono::day{unsigned(r.day)}};
    return double(day.time_since_epoch().count()) * 86400.0 + r.time_of_day();
}

double StreamTime::frame_utc(const RtcmDecoder& d) {
    const ClockReading now = d.now_utc();
    const double wall = epoch_seconds(now);
    const int type = d.header.msg_type;
    const double to_utc = type >= 31 && type <= 36 ? 0.0 : double(d.leapSeconds);
    double t;
    if (!started_ || std::fabs(wall - last_wall_) > 1800.0) {
        // The decoder took the frame's hour from the clock; the date is the
        // clock's, or the day next to it when that puts the frame nearer.
        const double midnight = wall - now.time_of_day();
        t = midnight + d.header.frame_time - to_utc;
        if (t - wall > 43200.0) t -= 86400.0;
        else if (wall - t > 43200.0) t += 86400.0;
        if (!started_) origin_ = t - (d.header.frame_time - to_utc) - d.leapSeconds;
        started_ = true;
    } else {
        const double in_hour = std::fmod(std::fmod(d.delivery.zcount * 0.6 - to_utc, 3600.0) + 3600.0, 3600.0);
        double step = in_hour - std::fmod(last_, 3600.0);
        if (step > 1800.0) step -= 3600.0;
        else if (step <= -1800.0) step += 3600.0;
        t = last_ + step;
    }
    last_ = t;
    last_wall_ = wall;
    if (t > newest_) newest_ = t;
    return t;
}

void StreamPipeline::restart() {
    sniffer_ = StreamSniffer{};
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
