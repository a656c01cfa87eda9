#pragma once
// The expected message types and their intervals, for the rules `missing`
// (a type not heard for a few of its intervals) and `advertised` (a type
// whose rate over 10 minutes is far off the advertised one). Frames that
// share a type and a time (a set split over frames, L1 and L2 of 18 and
// 19) count once. Internal to the engine.

#include <array>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

#include "alarm_rules.h"

namespace tessaly::alarms::detail {

class ScheduleWatch {
public:
    static constexpr double window = 600;  // s over which the rate is measured

    void set(const std::vector<Expected>& types);
    bool empty() const { return watched_.empty(); }
    bool watches(int type) const { return index_[std::size_t(type & 63)] >= 0; }

    // A frame of a watched type at `t`.
    void heard(int type, double t);

    struct Missing {
        int type = 0;
        double onset = 0;     // when it had been silent for `periods` intervals
        double from = 0;      // when it was last heard (or `origin`)
        double interval = 0;  // its expected interval
    };
    // The watched type overdue longest at `t`, counting from its last frame
    // or from `origin`, whichever is later.
    std::optional<Missing> missing(double t, double origin, double periods) const;
    // The earliest time at which a type will be overdue.
    double next_overdue(double origin, double periods) const;

    struct Off {
        int type = 0;
        double every = 0;       // measured s between frames over the window
        double advertised = 0;  // s
    };
    // The type whose rate over the window up to `t` is furthest off its
    // advertised one, when that is more than `percent`.
    std::optional<Off> off(double t, double percent);

private:
    struct Watched {
        int type = 0;
        double interval = 0;
        double last = -std::numeric_limits<double>::infinity();
        std::deque<double> times;  // within the window, oldest first
    };
    std::vector<Watched> watched_;
    std::array<signed char, 64> index_ = filled();

    static std::array<signed char, 64> filled() {
        std::array<signed char, 64> a{};
        a.fill(-1);
        return a;
    }
};

}  // namespace tessaly::alarms::detail
