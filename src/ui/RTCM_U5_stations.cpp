#include "RTCM_U5_stations.h"

namespace tessaly {

std::optional<TServer> parse_station_line(std::string_view line) {
    if (!line.starts_with("$DGPS")) return std::nullopt;
    // fields[k] is the text between semicolon k and k+1 (k = 1..10).
    std::array<std::string_view, 11> fields;
    std::size_t pos = line.find(';');
    for (int k = 1; k <= 10; ++k) {
        if (pos == std::string_view::npos) return std::nullopt;
        const std::size_t end = line.find(';', pos + 1);
        if (end == std::string_view::npos) return std::nullopt;
        fields[k] = line.substr(pos + 1, end - pos - 1);
        pos = end;
    }
    TServer s;
    s.address = fields[1];
    s.port = fields[2];
    s.station = fields[3];
    s.country = fields[4];
    s.info1 = fields[5];
    s.info2 = fields[6];
    s.info3 = fields[7];
    s.info4 = fields[8];
    s.info5 = fields[9];
    s.running = fields[10].starts_with('0') ? '0' : '1';
    return s;
}

std::string station_item_text(const TServer& s) {
    std::string item = s.running == '1' ? "+ " : "- ";
    for (const std::string* part : {&s.station, &s.info1, &s.info2, &s.info3, &s.info4, &s.info5}) {
        item += *part;
        item += ' ';
    }
    item += s.running;
    item += ' ';
    item += s.spare2;
    return item;
}

bool station_passes(const TServer& s, std::string_view country_text, bool running_only) {
    if (s.running != '1' && running_only) return false;
    return country_text == "ALL" || country_text == s.country;
}

std::vector<std::string> take_station_lines(std::string& text) {
    std::vector<std::string> lines;
    for (;;) {
        const std::size_t p = text.find("$DGPS");
        if (p == std::string::npos) break;
        text.erase(0, p);
        const std::size_t q = text.find('\r');
        if (q == std::string::npos) break;
        lines.push_back(text.substr(0, q + 1));
        text.erase(0, q);  // the carriage return goes with the next search
    }
    return lines;
}

std::optional<std::string> login_step(int& state, std::string_view text,
                                      std::string_view user, std::string_view password) {
    if (state == 1 && text.find("220") != std::string_view::npos) {
        state = 2;
        return "user " + std::string(user);
    }
    if (state == 2 && text.find("331") != std::string_view::npos) {
        state = 3;
        return "pass " + std::string(password);
    }
    if (state == 3 && text.find("230") != std::string_view::npos) state = 4;
    return std::nullopt;
}

}  // namespace tessaly
