#include "rtcmtype.h"

namespace tessaly {

namespace {
constexpr double seconds_per_day = 86400.0;
constexpr double half_day = 43200.0;
constexpr double max_age = 60.0;
}  // namespace

double record_age(double now, double then) {
    double d = now - then;
    if (d < -half_day) d += seconds_per_day;  // the record is from before midnight
    return d;
}

bool is_stale(double now, double then) { return record_age(now, then) > max_age; }

}  // namespace tessaly
