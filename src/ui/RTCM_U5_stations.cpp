#include "RTCM_U5_stations.h"

#include <algorithm>

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

std::vector<std::string> StationLines::take(std::string_view piece) {
    std::vector<std::string> lines;
    if (skipping_) {
        const std::size_t cr = piece.find('\r');
        if (cr == std::string_view::npos) return lines;
        skipping_ = false;
        piece.remove_prefix(cr);  // the carriage return goes with the next search
    }
    pending_ += piece;
    std::size_t from = 0;
    for (;;) {
        const std::size_t p = pending_.find("$DGPS", from);
        if (p == std::string::npos) {
            // No line starts here; a "$DGPS" still arriving begins in the
            // last four bytes, which stay.
            from = std::max(from, pending_.size() > max_station_line ? pending_.size() - max_station_line : 0);
            break;
        }
        const std::size_t q = pending_.find('\r', p);
        if (q == std::string::npos) {
            from = p;
            if (pending_.size() - p >= max_station_line) {  // cannot end short enough
                ++dropped_;
                skipping_ = true;
                from = pending_.size();
            }
            break;
        }
        if (q + 1 - p <= max_station_line) lines.emplace_back(pending_, p, q + 1 - p);
        else ++dropped_;
        from = q;
    }
    pending_.erase(0, from);
    if (pending_.capacity() > 4 * max_station_line) pending_.shrink_to_fit();
    return lines;
}

void StationLines::clear() {
    std::string().swap(pending_);
    skipping_ = false;
    dropped_ = 0;
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
