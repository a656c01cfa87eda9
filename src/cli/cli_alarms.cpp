// See cli_alarms.h.
#include "cli_alarms.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "alarm_text.h"
#include "byte_source.h"
#include "json_output.h"
#include "ntrip_protocol.h"

namespace tessaly::cli {

std::string CliAlarms::source_name(const std::string& source) {
    if (source == "-") return "standard input";
    if (source.starts_with("tcp://")) return source.substr(6);
    if (ntrip::is_ntrip_url(source)) {
        std::string error;
        if (const auto url = ntrip::parse_url(source, error)) return url->endpoint();
    }
    return source;
}

std::unique_ptr<CliAlarms> CliAlarms::open(const Options& opt, std::string& error) {
    alarms::Rules rules = alarms::Rules::defaults();
    if (!opt.rules.empty()) {
        std::ifstream in(opt.rules, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            error = "cannot read the rules file " + opt.rules;
            return nullptr;
        }
        std::string why;
        auto parsed = alarms::parse_rules(text.str(), why);
        if (!parsed) {
            error = opt.rules + ": " + why;
            return nullptr;
        }
        rules = std::move(*parsed);
    }
    return std::unique_ptr<CliAlarms>(new CliAlarms(std::move(rules), opt));
}

CliAlarms::CliAlarms(alarms::Rules rules, const Options& opt)
    : engine_(std::move(rules), source_name(opt.source)), lines_on_stderr_(opt.format != Format::alarms) {
    engine_.on_event = [this](const alarms::Event& e) { event(e); };
    if (!opt.on_event.empty()) {
        hooks_ = std::make_unique<HookRunner>(HookRunner::split(opt.on_event));
        hooks_->on_problem = [](const std::string& text) { std::cerr << "tessaly-decode: --on-event: " << text << "\n"; };
    }
}

void CliAlarms::event(const alarms::Event& e) {
    if (lines_on_stderr_) std::cerr << "tessaly-decode: " << alarms::event_line(e) << "\n";
    if (to_output) to_output(e);
    if (hooks_)
        hooks_->run(alarms::event_fields(e));
}

void CliAlarms::tick(UtcTime now) {
    engine_.tick(utc_seconds(now));
    poll();
}

void CliAlarms::expect_from_sourcetable(const std::string& source) {
    if (!ntrip::is_ntrip_url(source) || !engine_.rules().expect.empty()) return;
    std::string failure;
    const auto details = mountpoint_format_details(source, failure);
    std::string why;
    const auto list = details ? alarms::parse_expected(*details, why) : std::nullopt;
    if (!list) {
        std::cerr << "tessaly-decode: no expected message types for the missing rule: "
                  << (details ? "the sourcetable's format details '" + *details + "': " + why : failure) << "\n";
        return;
    }
    engine_.expect(*list);
}

std::string alarm_json(const alarms::Event& e) {
    std::string out = "{\"class\":\"ALARM\",\"rule\":";
    append_json_string(out, e.rule);
    out += e.begin ? ",\"state\":\"begin\",\"time\":\"" : ",\"state\":\"end\",\"time\":\"";
    out += alarms::utc_text(e.time) + "\",\"source\":";
    append_json_string(out, e.source);
    out += ",\"station\":" + std::to_string(e.station) + ",\"detail\":";
    append_json_string(out, e.detail);
    out += ",\"severity\":\"";
    out += alarms::severity_name(e.severity);
    out += "\"}";
    return out;
}

std::string CliAlarms::summary_lines() const {
    std::string out;
    for (const auto& [rule, n] : engine_.counts()) out += "alarms " + rule + ": " + std::to_string(n) + "\n";
    return out;
}

}  // namespace tessaly::cli
