#pragma once
// Integrity alarms over one stream: rules that judge what the stream
// carries (corrections, health, station, timing, parity) and what its
// supervision saw (outages), each with a failure delay before an alarm
// begins and a recovery delay before it ends. Fed by the stream pipeline's
// completed frames, the source's events and, for live sources, a tick once
// a second; the time is always handed in, so that a recording replayed at
// any speed raises the same events as the live stream did.
//
// No Qt, no I/O: running a hook, notifying the desktop and writing lines
// are the callers' business.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alarm_rules.h"
#include "source_event.h"
#include "stream_pipeline.h"

namespace tessaly::alarms {

enum class Severity { alarm, notice };

// One begin or end of an alarm.
struct Event {
    std::string rule;      // "age", "do_not_use", ...
    bool begin = true;     // false: the alarm ended
    double time = 0;       // UTC seconds since 1970: the stream time at which it began or ended
    std::string source;    // file, host:port, host:port/MOUNT, device
    std::uint32_t station = 0;
    std::string detail;    // one line with the figure that crossed the limit
    Severity severity = Severity::alarm;
};

// An alarm that has begun and not ended.
struct Active {
    std::string rule;
    double since = 0;      // UTC seconds since 1970
    std::string detail;    // the latest figure
    Severity severity = Severity::alarm;
    std::uint32_t station = 0;
};

class AlarmEngine {
public:
    AlarmEngine(Rules rules, std::string source);
    ~AlarmEngine();
    AlarmEngine(AlarmEngine&&) noexcept;
    AlarmEngine& operator=(AlarmEngine&&) noexcept;

    // Every event, in order, as it happens.
    std::function<void(const Event&)> on_event;

    // A completed frame, at its own time (f.utc).
    void frame(const stream::CompletedFrame& f);
    // The supervision's reports (outage begin and end, failures).
    void source(const SourceEvent& e);
    // Live sources: about once a second, the source's clock (UTC seconds).
    void tick(double utc_now);
    // The expected types and intervals of the `missing` rule when the rules
    // do not give them (an NTRIP mountpoint's sourcetable entry).
    void expect(std::vector<Expected> types);
    // Another stream begins (a new source): every alarm ends quietly and
    // the rules forget what they saw.
    void restart();

    std::vector<Active> active() const;  // newest first
    // The stream time (UTC seconds) of the newest correction set the stream
    // delivered (types 1, 9, 31, 34 with a satellite; 20, 21), whatever the
    // rules: the `age` rule's measure, which the monitor also publishes.
    std::optional<double> newest_correction() const;
    // Events that began, per rule, since the start.
    const std::map<std::string, std::uint64_t>& counts() const;
    const Rules& rules() const;

    // Every rule's name, in the order of the rules file.
    static const std::vector<std::string>& rule_names();

private:
    struct Impl;
    // Hands the events of the last step to on_event, in time order.
    void flush();

    std::unique_ptr<Impl> impl_;
};

}  // namespace tessaly::alarms
