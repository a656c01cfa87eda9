// The rules' defaults and the rules file. See alarm_rules.h.
#include "alarm_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "alarm_engine.h"

namespace tessaly::alarms {

namespace {

struct Default {
    const char* name;
    RuleConfig config;
};

// The order of the rules file and of AlarmEngine::rule_names(). Limits in
// the unit each rule's detail line names; failure and recovery delays in s.
// No failure delay but for the satellite count, which a station may let
// drop for a few seconds while it starts; 30 s of recovery, so that a
// condition that comes and goes gives one alarm, not one per frame.
constexpr std::array<Default, 15> defaults_table{{
    {"outage", {true, 20, 0, 30}},       // s without a frame (the silence limit)
    {"age", {true, 30, 0, 30}},          // s since the newest correction set
    {"latency", {true, 10, 0, 30}},      // s
    {"health", {true, 6, 0, 30}},        // station health from this value up (6 notice, 7 alarm)
    {"do_not_use", {true, 0, 0, 30}},    // no limit: any satellite marked
    {"prc", {true, 100, 0, 30}},         // m
    {"rrc", {true, 2, 0, 30}},           // m/s
    {"prc_step", {true, 10, 0, 30}},     // m off the prediction
    {"satellites", {true, 4, 10, 30}},   // fewest satellites corrected with UDRE 0-2
    {"station", {true, 0, 0, 30}},       // no limit: any change of the id
    {"position", {true, 0.10, 0, 30}},   // m from the first (or the given) coordinates
    {"missing", {true, 3, 0, 30}},       // intervals of an expected type
    {"advertised", {true, 50, 0, 60}},   // % off the advertised rate over 10 minutes
    {"parity", {true, 1, 0, 30}},        // % of the words of 60 s
    {"clock", {true, 10, 0, 30}},        // s between type 14's time and the clock
}};

constexpr double default_sync_loss_limit = 5;  // per 60 s

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A whole text as a finite number; the settings' INI writes plain decimals.
std::optional<double> number(std::string_view s) {
    s = trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string at_line(int line) { return "line " + std::to_string(line) + ": "; }

}  // namespace

const RuleConfig& Rules::operator[](std::string_view name) const {
    for (const auto& [n, c] : rules)
        if (n == name) return c;
    throw std::out_of_range("no alarm rule '" + std::string(name) + "'");
}

RuleConfig& Rules::operator[](std::string_view name) {
    return const_cast<RuleConfig&>(std::as_const(*this)[name]);
}

Rules Rules::defaults() {
    Rules r;
    for (const Default& d : defaults_table) r.rules.emplace_back(d.name, d.config);
    r.sync_loss_limit = default_sync_loss_limit;
    return r;
}

const std::vector<std::string>& AlarmEngine::rule_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const Default& d : defaults_table) v.emplace_back(d.name);
        return v;
    }();
    return names;
}

std::optional<std::vector<Expected>> parse_expected(std::string_view text, std::string& error) {
    std::vector<Expected> out;
    text = trim(text);
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty()) continue;
        const std::size_t open = item.find('(');
        const std::string_view type_text = trim(item.substr(0, open));
        int type = 0;
        const auto [end, ec] = std::from_chars(type_text.data(), type_text.data() + type_text.size(), type);
        if (type_text.empty() || ec != std::errc{} || end != type_text.data() + type_text.size() || type < 1 ||
            type > 63) {
            error = "'" + std::string(item) + "' is not an RTCM 2 message type (1 to 63) with its interval, as in 1(6)";
            return std::nullopt;
        }
        if (open == std::string_view::npos) continue;  // no interval: nothing to expect
        if (item.back() != ')') {
            error = "'" + std::string(item) + "' lacks its closing parenthesis";
            return std::nullopt;
        }
        const auto interval = number(item.substr(open + 1, item.size() - open - 2));
        if (!interval || *interval <= 0) {
            error = "'" + std::string(item) + "' has no interval in seconds above 0";
            return std::nullopt;
        }
        out.push_back({type, *interval});
    }
    return out;
}

std::optional<Rules> parse_rules(std::string_view text, std::string& error) {
    Rules r = Rules::defaults();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark
    std::string section;
    int line_no = 0;
    while (!text.empty()) {
        ++line_no;
        const std::size_t nl = text.find('\n');
        const std::string_view line = trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                error = at_line(line_no) + "a section name must end with ]";
                return std::nullopt;
            }
            section = trim(line.substr(1, line.size() - 2));
            if (section == "udre") section = "satellites";  // the rule's other name
            const auto& names = AlarmEngine::rule_names();
            if (std::find(names.begin(), names.end(), section) == names.end()) {
                error = at_line(line_no) + "unknown section [" + section + "]";
                return std::nullopt;
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            error = at_line(line_no) + "expected key=value";
            return std::nullopt;
        }
        const std::string key(trim(line.substr(0, eq)));
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (section.empty()) {
            error = at_line(line_no) + "'" + key + "' is outside a section";
            return std::nullopt;
        }
        const auto bad = [&](const std::string& why) {
            error = at_line(line_no) + key + ": " + why;
            return std::nullopt;
        };
        RuleConfig& c = r[section];
        if (key == "enabled") {
            if (value == "true" || value == "1") c.enabled = true;
            else if (value == "false" || value == "0") c.enabled = false;
            else return bad("'" + std::string(value) + "' is not true or false");
        } else if (key == "limit" || key == "fail" || key == "recover" ||
                   (section == "parity" && key == "sync_losses")) {
            const auto v = number(value);
            if (!v) return bad("'" + std::string(value) + "' is not a number");
            if (*v < 0) return bad("must not be negative");
            (key == "limit" ? c.limit : key == "fail" ? c.fail : key == "recover" ? c.recover : r.sync_loss_limit) = *v;
        } else if (section == "position" && key == "reference") {
            std::vector<double> xyz;
            for (std::string_view rest = value; xyz.size() < 4;) {
                const std::size_t comma = rest.find(',');
                const auto v = number(rest.substr(0, comma));
                if (!v) break;
                xyz.push_back(*v);
                if (comma == std::string_view::npos) break;
                rest = rest.substr(comma + 1);
            }
            if (xyz.size() != 3 || std::count(value.begin(), value.end(), ',') != 2)
                return bad("'" + std::string(value) + "' is not X,Y,Z in metres");
            r.reference = std::move(xyz);
        } else if (section == "missing" && key == "expect") {
            std::string why;
            auto list = parse_expected(value, why);
            if (!list) return bad(why);
            r.expect = std::move(*list);
        } else {
            error = at_line(line_no) + "unknown key '" + key + "' in [" + section + "]";
            return std::nullopt;
        }
    }
    return r;
}

}  // namespace tessaly::alarms
