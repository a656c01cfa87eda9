#pragma once
// tessaly-decode's alarms: the engine over the stream, each event as a line
// on standard error (or on standard output for --format alarms), in the
// JSON stream, to the --on-event command and into the statistics.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "alarm_engine.h"
#include "hook_runner.h"
#include "options.h"

namespace tessaly::cli {

// An alarm event as one JSON object of class ALARM: rule, state ("begin" or
// "end"), time (stream time, tenths of a second), source, station, detail
// and severity ("alarm" or "notice").
std::string alarm_json(const alarms::Event& e);

class CliAlarms {
public:
    // Nothing, and `error` set, when the rules file cannot be read or parsed.
    static std::unique_ptr<CliAlarms> open(const Options& opt, std::string& error);

    // Besides standard error and the hook: the caller's output (JSON
    // objects, --format alarms lines, the statistics' counts).
    std::function<void(const alarms::Event&)> to_output;

    void frame(const stream::CompletedFrame& f) { engine_.frame(f); }
    void source(const SourceEvent& e) { engine_.source(e); }
    void tick(UtcTime now);
    // The hooks: started, watched and reaped from the reading loop.
    void poll() {
        if (hooks_) hooks_->poll();
    }
    // The end of the run: every queued hook runs and ends.
    void finish() {
        if (hooks_) hooks_->drain();
    }
    // For an NTRIP source whose rules give no expected types: the
    // mountpoint's format details from the caster's sourcetable.
    void expect_from_sourcetable(const std::string& source);

    const alarms::AlarmEngine& engine() const { return engine_; }
    // "alarms RULE: N" lines of the summary, one per rule that raised any.
    std::string summary_lines() const;

    // How texts name the source: a file's path, "host:port",
    // "host:port/MOUNT", a device, "standard input".
    static std::string source_name(const std::string& source);

private:
    CliAlarms(alarms::Rules rules, const Options& opt);
    void event(const alarms::Event& e);

    alarms::AlarmEngine engine_;
    std::unique_ptr<HookRunner> hooks_;
    bool lines_on_stderr_ = true;
};

}  // namespace tessaly::cli
