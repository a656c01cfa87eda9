#pragma once
// Alarm events as text: the time stamp and the one line that standard
// error, `--format alarms` and logs carry. No Qt.

#include <string>
#include <vector>

#include "alarm_engine.h"

namespace tessaly::alarms {

// Seconds since 1970 as "2026-12-07T05:12:00.0Z" (tenths of a second).
std::string utc_text(double seconds);

// "alarm" or "notice".
const char* severity_name(Severity s);

// TIME STATE RULE SEVERITY station N SOURCE: DETAIL, e.g.
// "2026-12-07T05:12:00.0Z begin prc_step alarm station 42 127.0.0.1:2101: PRC of G14 jumped 37.2 m (limit 10 m)"
std::string event_line(const Event& e);

// The fields in the order an event's command gets them as arguments: rule,
// "begin" or "end", time, source, station, detail, severity.
std::vector<std::string> event_fields(const Event& e);

}  // namespace tessaly::alarms
