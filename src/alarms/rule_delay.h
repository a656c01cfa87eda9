#pragma once
// One rule's failure and recovery delays. The engine tells it when the
// rule's condition starts and stops holding, each at the stream time it
// did; the alarm begins once the condition has held for the failure delay
// and ends once it has stayed clear for the recovery delay, each at the
// exact time that happened, however late the engine looks. So a stream
// read in a moment gives the same events, with the same times, as the same
// stream live.

#include <limits>
#include <optional>

namespace tessaly::alarms::detail {

class RuleDelay {
public:
    enum class Phase : unsigned char { clear, pending, active, recovering };
    struct Change {
        bool begin;
        double time;
    };

    // The condition holds from `t` on; nothing changes when it held already.
    void hold(double t) {
        if (phase_ == Phase::clear) {
            phase_ = Phase::pending;
            since_ = t;
        } else if (phase_ == Phase::recovering) {
            phase_ = Phase::active;
        }
    }
    // The condition no longer holds from `t` on.
    void release(double t) {
        if (phase_ == Phase::pending) {
            phase_ = Phase::clear;
        } else if (phase_ == Phase::active) {
            phase_ = Phase::recovering;
            cleared_ = t < begun_ ? begun_ : t;
        }
    }
    // The begin or end that is due by `now`, if any; one per call.
    std::optional<Change> due(double now, double fail, double recover) {
        if (phase_ == Phase::pending && since_ + fail <= now) {
            phase_ = Phase::active;
            begun_ = since_ + fail;
            return Change{true, begun_};
        }
        if (phase_ == Phase::recovering && cleared_ + recover <= now) {
            phase_ = Phase::clear;
            return Change{false, cleared_ + recover};
        }
        return std::nullopt;
    }
    // When due() will next have something; infinity when nothing waits.
    double next(double fail, double recover) const {
        if (phase_ == Phase::pending) return since_ + fail;
        if (phase_ == Phase::recovering) return cleared_ + recover;
        return std::numeric_limits<double>::infinity();
    }

    bool holds() const { return phase_ == Phase::pending || phase_ == Phase::active; }
    // The alarm has begun and not ended.
    bool raised() const { return phase_ == Phase::active || phase_ == Phase::recovering; }
    double begun() const { return begun_; }
    void reset() { phase_ = Phase::clear; }

private:
    Phase phase_ = Phase::clear;
    double since_ = 0;    // pending: when the condition began to hold
    double begun_ = 0;    // active, recovering: when the alarm began
    double cleared_ = 0;  // recovering: when the condition stopped holding
};

}  // namespace tessaly::alarms::detail
