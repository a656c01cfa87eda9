#include "ntrip_sourcetable.h"

#include <algorithm>
#include <charconv>

namespace tessaly::ntrip {

namespace {

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto semi = line.find(';');
        fields.push_back(line.substr(0, semi));
        if (semi == std::string_view::npos) return fields;
        line.remove_prefix(semi + 1);
    }
}

struct Fields {
    std::vector<std::string_view> f;
    std::string text(std::size_t i) const { return i < f.size() ? std::string(f[i]) : std::string(); }
    int integer(std::size_t i) const {
        int v = 0;
        if (i < f.size()) std::from_chars(f[i].data(), f[i].data() + f[i].size(), v);
        return v;
    }
    double real(std::size_t i) const {
        double v = 0;
        if (i < f.size()) {
            std::string_view s = f[i];
            if (s.starts_with('+')) s.remove_prefix(1);
            std::from_chars(s.data(), s.data() + s.size(), v);
        }
        return v;
    }
    // Field i and every one after it, joined again.
    std::string rest(std::size_t i) const {
        std::string s;
        for (std::size_t k = i; k < f.size(); ++k) s += (k > i ? ";" : "") + std::string(f[k]);
        return s;
    }
};

}  // namespace

bool StreamRecord::is_rtcm2() const {
    std::string compact;
    for (char c : format)
        if (c != ' ' && c != '-' && c != '_') compact += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return compact.starts_with("RTCM2");
}

Sourcetable parse_sourcetable(std::string_view text) {
    Sourcetable table;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.starts_with("ENDSOURCETABLE")) {
            table.complete = true;
            break;
        }
        const Fields r{split(line)};
        const std::string_view kind = r.f[0];
        if (kind == "STR") {
            StreamRecord s;
            s.mountpoint = r.text(1);
            s.identifier = r.text(2);
            s.format = r.text(3);
            s.format_details = r.text(4);
            s.carrier = r.integer(5);
            s.nav_system = r.text(6);
            s.network = r.text(7);
            s.country = r.text(8);
            s.latitude = r.real(9);
            s.longitude = r.real(10);
            s.nmea = r.integer(11) != 0;
            s.solution = r.integer(12);
            s.generator = r.text(13);
            s.compression = r.text(14);
            s.authentication = r.text(15);
            s.fee = r.text(16);
            s.bitrate = r.integer(17);
            s.misc = r.rest(18);
            if (!s.mountpoint.empty()) table.streams.push_back(std::move(s));
        } else if (kind == "CAS") {
            CasterRecord c;
            c.host = r.text(1);
            c.port = r.integer(2);
            c.identifier = r.text(3);
            c.operator_name = r.text(4);
            c.nmea = r.integer(5) != 0;
            c.country = r.text(6);
            c.latitude = r.real(7);
            c.longitude = r.real(8);
            c.misc = r.rest(9);
            table.casters.push_back(std::move(c));
        } else if (kind == "NET") {
            NetworkRecord n;
            n.identifier = r.text(1);
            n.operator_name = r.text(2);
            n.authentication = r.text(3);
            n.fee = r.text(4);
            n.web = r.text(5);
            n.misc = r.rest(6);
            table.networks.push_back(std::move(n));
        }
    }
    return table;
}

std::vector<StreamRecord> rtcm2_first(std::vector<StreamRecord> streams) {
    std::stable_partition(streams.begin(), streams.end(), [](const StreamRecord& s) { return s.is_rtcm2(); });
    return streams;
}

}  // namespace tessaly::ntrip
