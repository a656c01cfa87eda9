// STAND-IN, to be deleted when the alarm engine is on main: the interface
// of alarm_engine.h and alarm_rules.h with the outage rule alone, so that
// the network monitor builds and its outage alarm can be tested.
#include <algorithm>
#include <charconv>

#include "alarm_engine.h"

namespace tessaly::alarms {

const std::vector<std::string>& AlarmEngine::rule_names() {
    static const std::vector<std::string> names = {"outage", "age",     "latency",  "health", "do_not_use",
                                                   "prc",    "rrc",     "prc_step", "udre",   "station",
                                                   "position", "missing", "advertised", "parity", "clock"};
    return names;
}

const RuleConfig& Rules::operator[](std::string_view name) const {
    for (const auto& r : rules)
        if (r.first == name) return r.second;
    static const RuleConfig none;
    return none;
}
RuleConfig& Rules::operator[](std::string_view name) {
    for (auto& r : rules)
        if (r.first == name) return r.second;
    rules.emplace_back(std::string(name), RuleConfig{});
    return rules.back().second;
}
Rules Rules::defaults() {
    Rules r;
    for (const auto& n : AlarmEngine::rule_names()) r.rules.emplace_back(n, RuleConfig{});
    return r;
}

std::optional<Rules> parse_rules(std::string_view text, std::string& error) {
    Rules rules = Rules::defaults();
    std::string section;
    for (int number = 1; !text.empty(); ++number) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            section = std::string(line.substr(1, line.find(']') - 1));
            const auto& n = AlarmEngine::rule_names();
            if (std::find(n.begin(), n.end(), section) == n.end()) {
                error = "line " + std::to_string(number) + ": unknown rule [" + section + "]";
                return std::nullopt;
            }
            continue;
        }
        const auto eq = line.find('=');
        const std::string_view key = line.substr(0, eq), value = eq == std::string_view::npos ? "" : line.substr(eq + 1);
        RuleConfig& c = rules[section];
        double v = 0;
        const bool number_ok = std::from_chars(value.data(), value.data() + value.size(), v).ec == std::errc();
        if (key == "enabled" && (value == "true" || value == "false")) c.enabled = value == "true";
        else if ((key == "limit" || key == "fail" || key == "recover") && number_ok)
            (key == "limit" ? c.limit : key == "fail" ? c.fail : c.recover) = v;
        else if (key == "expect" || key == "reference") continue;
        else {
            error = "line " + std::to_string(number) + ": bad " + std::string(line);
            return std::nullopt;
        }
    }
    return rules;
}

std::optional<std::vector<Expected>> parse_expected(std::string_view text, std::string& error) {
    std::vector<Expected> out;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        int type = 0;
        double interval = 0;
        const auto open = item.find('(');
        if (std::from_chars(item.data(), item.data() + std::min(open, item.size()), type).ec != std::errc()) {
            error = "not a list of TYPE(INTERVAL): " + std::string(item);
            return std::nullopt;
        }
        if (open == std::string_view::npos) continue;
        std::from_chars(item.data() + open + 1, item.data() + item.size(), interval);
        if (interval > 0) out.push_back({type, interval});
    }
    return out;
}

struct AlarmEngine::Impl {
    Rules rules;
    std::string source;
    std::vector<Active> active;
    std::map<std::string, std::uint64_t> counts;
};

AlarmEngine::AlarmEngine(Rules rules, std::string source) : impl_(std::make_unique<Impl>()) {
    impl_->rules = std::move(rules);
    impl_->source = std::move(source);
}
AlarmEngine::~AlarmEngine() = default;
AlarmEngine::AlarmEngine(AlarmEngine&&) noexcept = default;
AlarmEngine& AlarmEngine::operator=(AlarmEngine&&) noexcept = default;

void AlarmEngine::frame(const stream::CompletedFrame&) {}
void AlarmEngine::tick(double) {}
void AlarmEngine::expect(std::vector<Expected>) {}
void AlarmEngine::restart() { impl_->active.clear(); }

void AlarmEngine::source(const SourceEvent& e) {
    if (!impl_->rules["outage"].enabled) return;
    const bool begin = e.kind == SourceEvent::Kind::outage_begin;
    if (e.kind == SourceEvent::Kind::failed) return;
    if (begin) {
        impl_->active.insert(impl_->active.begin(), Active{"outage", utc_seconds(e.outage.start), e.outage.reason});
        ++impl_->counts["outage"];
    } else {
        std::erase_if(impl_->active, [](const Active& a) { return a.rule == "outage"; });
    }
    if (on_event) on_event(Event{"outage", begin, utc_seconds(e.time), impl_->source, 0, e.outage.reason});
}

std::vector<Active> AlarmEngine::active() const { return impl_->active; }
const std::map<std::string, std::uint64_t>& AlarmEngine::counts() const { return impl_->counts; }
const Rules& AlarmEngine::rules() const { return impl_->rules; }

}  // namespace tessaly::alarms
