#pragma once
// The rules by number, and the figure each one hands to its event's detail
// line. Internal to the engine.

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "alarm_rules.h"

namespace tessaly::alarms::detail {

// In the order of AlarmEngine::rule_names().
enum class Rule : std::uint8_t {
    outage, age, latency, health, do_not_use, prc, rrc, prc_step, satellites, station, position, missing,
    advertised, parity, clock, count
};
inline constexpr std::size_t rule_count = std::size_t(Rule::count);

// What crossed the limit, or came back within it: a number or two and what
// they are about (a satellite key, a message type, a station id).
struct Figure {
    double value = 0;
    double other = 0;
    int subject = 0;
    int other_subject = 0;
    std::string note;  // free text: an outage's reason
    // A figure that is the time since this moment (a silence, an age) is
    // taken at the moment it is told: the same however late it is looked at.
    double since = std::numeric_limits<double>::quiet_NaN();

    Figure() = default;
    explicit Figure(double v, double o = 0, int s = 0, int os = 0) : value(v), other(o), subject(s), other_subject(os) {}
    // A figure that is a count or an id.
    static Figure of(int s, int os = 0) { return Figure(0, 0, s, os); }
    static Figure after(double since, double other = 0, int s = 0) {
        Figure f(0, other, s);
        f.since = since;
        return f;
    }
    static Figure text(std::string note) {
        Figure f;
        f.note = std::move(note);
        return f;
    }
};

// "G14", "R3": a satellite key of the lists (GLONASS keys carry bit 0x40).
std::string satellite_name(int key);

// The one-line detail of a begin (`begin`) or an end at stream time `at`,
// with the rule's limit.
std::string describe(Rule rule, const Figure& f, const RuleConfig& config, double sync_loss_limit, bool begin, double at);

}  // namespace tessaly::alarms::detail
