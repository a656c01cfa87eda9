// Event lines and the rules' detail texts. See alarm_text.h, rule_figure.h.
#include "alarm_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "rule_figure.h"
#include "stats_report.h"

namespace tessaly::alarms {

namespace {

using stats::fixed;

// A limit as the operator wrote it: 10, 0.1, 2.5.
std::string plain(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

}  // namespace

std::string utc_text(double seconds) {
    const double tenths = std::floor(seconds * 10 + 0.5);
    const std::time_t whole = std::time_t(std::floor(tenths / 10));
    std::tm tm{};
    ::gmtime_r(&whole, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, int(tenths - double(whole) * 10));
    return buf;
}

const char* severity_name(Severity s) { return s == Severity::alarm ? "alarm" : "notice"; }

std::string event_line(const Event& e) {
    return utc_text(e.time) + (e.begin ? " begin " : " end ") + e.rule + " " + severity_name(e.severity) +
           " station " + std::to_string(e.station) + " " + e.source + ": " + e.detail;
}

std::vector<std::string> event_fields(const Event& e) {
    return {e.rule, e.begin ? "begin" : "end", utc_text(e.time), e.source, std::to_string(e.station), e.detail,
            severity_name(e.severity)};
}

namespace detail {

std::string satellite_name(int key) {
    return ((key & 0x40) ? "R" : "G") + std::to_string(key & 0x3F);
}

std::string describe(Rule rule, const Figure& figure, const RuleConfig& c, double sync_loss_limit, bool begin,
                     double at) {
    Figure f = figure;
    if (!std::isnan(f.since)) f.value = at - f.since;
    const std::string limit = plain(c.limit);
    switch (rule) {
    case Rule::outage:
        if (!begin) return "frames again after " + fixed(f.value, 1) + " s";
        if (!f.note.empty()) return f.note;
        return "no frame for " + fixed(f.value, 1) + " s (limit " + limit + " s)";
    case Rule::age:
        if (!begin) return "corrections fresh again (" + fixed(f.value, 1) + " s old)";
        return "newest corrections " + fixed(f.value, 1) + " s old (limit " + limit + " s)";
    case Rule::latency:
        return "latency " + fixed(f.value, 1) + " s" + (begin ? " (limit " + limit + " s)" : "");
    case Rule::health:
        if (f.subject == 7) return "station health 7: reference station not working";
        if (f.subject == 6) return "station health 6: reference station not monitored";
        return "station health " + std::to_string(f.subject);
    case Rule::do_not_use:
        if (!begin) return "no satellite marked do not use";
        return satellite_name(f.subject) + " marked do not use (" +
               (f.other_subject == 3   ? "PRC 8000 hex and RRC 80 hex"
                : f.other_subject == 2 ? "RRC 80 hex"
                                       : "PRC 8000 hex") +
               ")";
    case Rule::prc:
        if (!begin) return "every PRC within " + limit + " m";
        return "PRC of " + satellite_name(f.subject) + " is " + fixed(f.value, 2) + " m (limit " + limit + " m)";
    case Rule::rrc:
        if (!begin) return "every RRC within " + limit + " m/s";
        return "RRC of " + satellite_name(f.subject) + " is " + fixed(f.value, 3) + " m/s (limit " + limit + " m/s)";
    case Rule::prc_step:
        if (!begin) return "PRCs as predicted again";
        return "PRC of " + satellite_name(f.subject) + " jumped " + fixed(f.value, 1) + " m (limit " + limit + " m)";
    case Rule::satellites:
        return std::to_string(f.subject) + (f.subject == 1 ? " satellite" : " satellites") + " corrected with UDRE 0-2" +
               (begin ? " (limit " + limit + ")" : "");
    case Rule::station:
        if (!begin) return "station id " + std::to_string(f.subject) + " steady";
        return "station id changed from " + std::to_string(f.other_subject) + " to " + std::to_string(f.subject);
    case Rule::position:
        return "type " + std::to_string(f.other_subject) + " coordinates of station " + std::to_string(f.subject) +
               (begin ? " moved " : " back within the limit, ") + fixed(f.value, 2) + " m from the reference (limit " +
               limit + " m)";
    case Rule::missing:
        if (!begin) return "every expected type heard again";
        return "type " + std::to_string(f.subject) + " not heard for " + fixed(f.value, 1) + " s (limit " + limit +
               " x " + plain(f.other) + " s)";
    case Rule::advertised:
        return "type " + std::to_string(f.subject) + " every " + fixed(f.value, 1) + " s over 10 minutes, advertised " +
               plain(f.other) + " s" + (begin ? " (limit " + limit + " %)" : "");
    case Rule::parity:
        if (f.other_subject > sync_loss_limit && begin)
            return std::to_string(f.other_subject) + " sync losses in 60 s (limit " + plain(sync_loss_limit) + ")";
        return fixed(f.value, 2) + " % of " + std::to_string(f.subject) + " words failed parity in 60 s, " +
               std::to_string(f.other_subject) + " sync losses" + (begin ? " (limit " + limit + " %)" : "");
    case Rule::clock:
        return "type 14 time differs from the clock by " + fixed(f.value, 1) + " s" +
               (begin ? " (limit " + limit + " s)" : "");
    case Rule::count: break;
    }
    return {};
}

}  // namespace detail

}  // namespace tessaly::alarms
