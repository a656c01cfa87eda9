// See schedule_watch.h.
#include "schedule_watch.h"

#include <algorithm>
#include <cmath>

namespace tessaly::alarms::detail {

void ScheduleWatch::set(const std::vector<Expected>& types) {
    watched_.clear();
    index_ = filled();
    for (const Expected& e : types) {
        if (e.type < 1 || e.type > 63 || !(e.interval > 0)) continue;
        signed char& i = index_[std::size_t(e.type)];
        if (i < 0) {
            i = static_cast<signed char>(watched_.size());
            watched_.push_back({e.type, e.interval, -std::numeric_limits<double>::infinity(), {}});
        } else {
            watched_[std::size_t(i)].interval = e.interval;  // the last one given counts
        }
    }
}

void ScheduleWatch::heard(int type, double t) {
    Watched& w = watched_[std::size_t(index_[std::size_t(type & 63)])];
    if (t <= w.last) return;  // the same set again, or an older frame
    w.last = t;
    w.times.push_back(t);
}

std::optional<ScheduleWatch::Missing> ScheduleWatch::missing(double t, double origin, double periods) const {
    std::optional<Missing> worst;
    for (const Watched& w : watched_) {
        const double from = std::max(w.last, origin);
        const double onset = from + periods * w.interval;
        if (onset < t && (!worst || onset < worst->onset)) worst = Missing{w.type, onset, from, w.interval};
    }
    return worst;
}

double ScheduleWatch::next_overdue(double origin, double periods) const {
    double next = std::numeric_limits<double>::infinity();
    for (const Watched& w : watched_) next = std::min(next, std::max(w.last, origin) + periods * w.interval);
    return next;
}

std::optional<ScheduleWatch::Off> ScheduleWatch::off(double t, double percent) {
    std::optional<Off> worst;
    double worst_off = percent;
    for (Watched& w : watched_) {
        while (!w.times.empty() && w.times.front() <= t - window) w.times.pop_front();
        const double count = double(w.times.size());
        const double off = std::fabs(count * w.interval / window - 1) * 100;
        if (off > worst_off) {
            worst_off = off;
            worst = Off{w.type, count > 0 ? window / count : window, w.interval};
        }
    }
    return worst;
}

}  // namespace tessaly::alarms::detail
