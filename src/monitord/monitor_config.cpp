#include "monitor_config.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "ntrip_protocol.h"

namespace tessaly::monitord {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

bool valid_name(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), name_char); }

std::optional<int> whole_number(std::string_view s, int low, int high) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < low || v > high) return std::nullopt;
    return v;
}

std::optional<double> real_number(std::string_view s) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(sep);
        parts.push_back(trim(s.substr(0, at)));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

// "LAT,LON[,HEIGHT]" in degrees and metres.
std::optional<Position> parse_position(std::string_view s) {
    const auto parts = split(s, ',');
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    const auto lat = real_number(parts[0]), lon = real_number(parts[1]);
    const auto h = parts.size() == 3 ? real_number(parts[2]) : std::optional<double>(0.0);
    if (!lat || !lon || !h || std::fabs(*lat) > 90 || std::fabs(*lon) > 180) return std::nullopt;
    return Position{*lat, *lon, *h};
}

// A URL's password part, whether the URL parses or not (its error comes later).
bool url_has_password(std::string_view url) {
    if (!ntrip::is_ntrip_url(url)) return false;
    std::string error;
    const auto parsed = ntrip::parse_url(url, error);
    return parsed && !parsed->password.empty();
}

class Parser {
public:
    std::optional<MonitorConfig> run(std::string_view text, std::string& error);

private:
    enum class Section { none, monitord, stream, caster };
    bool key(std::string_view name, std::string_view value);
    bool alarm_key(AlarmSettings& a, std::string_view name, std::string_view value);
    bool fail(std::string text) {
        error_ = "line " + std::to_string(line_) + ": " + std::move(text);
        return false;
    }
    bool check_section_complete();
    std::string where() const { return "[" + section_name_ + "]"; }

    MonitorConfig config_;
    Section section_ = Section::none;
    std::string section_name_;
    std::set<std::string> keys_;      // of the current section
    std::set<std::string> sections_;  // seen so far
    int line_ = 0;
    int section_line_ = 0;
    std::string error_;
};

bool Parser::alarm_key(AlarmSettings& a, std::string_view name, std::string_view value) {
    if (name == "expect") {
        a.expect = value;
        return true;
    }
    if (name == "rules") {
        if (value.empty()) return fail("rules= needs a file name");
        a.rules_file = value;
        return true;
    }
    if (name.starts_with("alarm.")) {
        const std::string_view rest = name.substr(6);
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || dot == 0 || dot + 1 == rest.size())
            return fail("expected alarm.RULE.KEY=VALUE, e.g. alarm.age.limit=30");
        // The rules parser checks rule, key and value when the stream starts.
        a.overrides.emplace_back(std::string(rest.substr(0, dot)),
                                 std::string(rest.substr(dot + 1)) + "=" + std::string(value));
        return true;
    }
    return fail("unknown key '" + std::string(name) + "' in " + where());
}

bool Parser::key(std::string_view name, std::string_view value) {
    const auto number = [&](int& target, int low, int high) {
        const auto v = whole_number(value, low, high);
        if (!v)
            return fail(std::string(name) + "= takes a whole number " + std::to_string(low) + ".." +
                        std::to_string(high) + ", not '" + std::string(value) + "'");
        target = *v;
        return true;
    };
    const auto password = [&](std::string& target) {
        target = value;
        config_.holds_password = config_.holds_password || !value.empty();
        return true;
    };
    switch (section_) {
    case Section::none: return fail("key outside a section; the file starts with [monitord], [stream.NAME] or [caster.NAME]");
    case Section::monitord: {
        MonitordSection& m = config_.monitord;
        if (name == "listen") {
            if (!parse_host_port(value, true)) return fail("listen= takes HOST:PORT, e.g. 127.0.0.1:9810");
            m.listen = value;
            return true;
        }
        if (name == "silence") return number(m.silence_s, 1, 3600);
        if (name == "sourcetable_interval") return number(m.sourcetable_interval_s, 1, 86400);
        if (name == "rules") {
            if (value.empty()) return fail("rules= needs a file name");
            m.rules_file = value;
            return true;
        }
        return fail("unknown key '" + std::string(name) + "' in [monitord]");
    }
    case Section::stream: {
        StreamSection& s = config_.streams.back();
        if (name == "source") {
            if (value.empty()) return fail("source= needs ntrip://…, tcp://HOST:PORT or a serial device");
            s.source = value;
            config_.holds_password = config_.holds_password || url_has_password(value);
            return true;
        }
        if (name == "password") return password(s.password);
        if (name == "password_file") return (s.password_file = value, true);
        if (name == "silence") return number(s.silence_s, 1, 3600);
        if (name == "baud") return number(s.baud, 50, 4000000);
        if (name == "gga") {
            s.gga = parse_position(value);
            return s.gga ? true : fail("gga= takes LATITUDE,LONGITUDE[,HEIGHT] in degrees and metres");
        }
        return alarm_key(s.alarms, name, value);
    }
    case Section::caster: {
        CasterSection& c = config_.casters.back();
        if (name == "url") {
            std::string why;
            const auto url = ntrip::parse_url(value, why);
            if (!url) return fail(why);
            if (!url->mount.empty()) return fail("url= names the caster without a mountpoint: ntrip://HOST[:PORT]");
            c.url = value;
            config_.holds_password = config_.holds_password || !url->password.empty();
            return true;
        }
        if (name == "password") return password(c.password);
        if (name == "password_file") return (c.password_file = value, true);
        if (name == "select") {
            c.select.clear();
            for (const std::string_view p : split(value, ','))
                if (!p.empty()) c.select.emplace_back(p);
            return true;
        }
        if (name == "interval") return number(c.interval_s, 1, 86400);
        if (name == "silence") return number(c.silence_s, 1, 3600);
        return alarm_key(c.alarms, name, value);
    }
    }
    return false;
}

bool Parser::check_section_complete() {
    const int saved = line_;
    line_ = section_line_;
    bool ok = true;
    if (section_ == Section::stream && config_.streams.back().source.empty()) ok = fail(where() + " has no source=");
    if (section_ == Section::caster && config_.casters.back().url.empty()) ok = fail(where() + " has no url=");
    line_ = saved;
    return ok;
}

std::optional<MonitorConfig> Parser::run(std::string_view text, std::string& error) {
    bool ok = true;
    while (ok && !text.empty()) {
        ++line_;
        const auto nl = text.find('\n');
        const std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (std::any_of(line.begin(), line.end(), [](char c) { return c == '\0'; })) {
            ok = fail("a NUL byte: not a text file");
            break;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                ok = fail("a section header ends with ']'");
                break;
            }
            if (!(ok = check_section_complete())) break;
            const std::string_view name = trim(line.substr(1, line.size() - 2));
            section_name_ = name;
            keys_.clear();
            section_line_ = line_;
            if (!sections_.insert(section_name_).second) {
                ok = fail("section " + where() + " is given twice");
                break;
            }
            if (name == "monitord") {
                section_ = Section::monitord;
            } else if (name.starts_with("stream.") && valid_name(name.substr(7))) {
                section_ = Section::stream;
                config_.streams.push_back({});
                config_.streams.back().name = name.substr(7);
                config_.streams.back().line = line_;
            } else if (name.starts_with("caster.") && valid_name(name.substr(7))) {
                section_ = Section::caster;
                config_.casters.push_back({});
                config_.casters.back().name = name.substr(7);
                config_.casters.back().line = line_;
            } else {
                ok = fail("unknown section " + where() +
                          ": expected [monitord], [stream.NAME] or [caster.NAME] (NAME of letters, digits, _ - .)");
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            ok = fail("expected KEY=VALUE");
            break;
        }
        const std::string_view name = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (!keys_.insert(std::string(name)).second) {
            ok = fail("key '" + std::string(name) + "' is given twice in " + where());
            break;
        }
        ok = key(name, value);
    }
    if (ok) ok = check_section_complete();
    if (!ok) {
        error = error_;
        return std::nullopt;
    }
    // Stream names are the metrics' labels: a caster's mountpoints are
    // NAME/MOUNT, which no [stream] section can be, as its names hold no '/'.
    return std::move(config_);
}

}  // namespace

std::optional<MonitorConfig> parse_config(std::string_view text, std::string& error) {
    return Parser().run(text, error);
}

std::optional<std::pair<std::string, int>> parse_host_port(std::string_view text, bool any_port) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto port = whole_number(text.substr(colon + 1), any_port ? 0 : 1, 65535);
    if (!port) return std::nullopt;
    return std::pair(std::string(host), *port);
}

bool glob_match(std::string_view pattern, std::string_view text) {
    // Iterative, with one backtrack point: linear in practice, never
    // exponential on patterns of many stars.
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::uint64_t stream_hash(std::string_view name) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ull;
    }
    return h;
}

bool Shard::owns(std::string_view stream) const {
    return count <= 1 || stream_hash(stream) % std::uint64_t(count) == std::uint64_t(index - 1);
}

std::optional<Shard> parse_shard(std::string_view text) {
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto count = whole_number(text.substr(slash + 1), 1, 1000000);
    if (!count) return std::nullopt;
    const auto index = whole_number(text.substr(0, slash), 1, *count);
    if (!index) return std::nullopt;
    return Shard{*index, *count};
}

}  // namespace tessaly::monitord
