#include "more_types_text.h"

#include "format_fixed.h"

namespace tessaly {

namespace {

std::string f(double v, int decimals) { return fixed_text(v, decimals); }
std::string i(long long v) { return std::to_string(v); }

std::string glonass_line(const rtcm_corrections_store& s, const frame_delivery_type& del) {
    std::string out = "GLONASS corrections:";
    for (std::size_t k = 0; k < del.sv_count; ++k) {
        const rtcm_sat_1_type* r = s.list.find(del.svs[k]);
        if (!r) continue;
        out += " R" + i(r->sv) + " " + f(r->range_corr, 2) + " m " + f(double(r->rate_corr), 3) + " m/s tod " +
               i(r->tod) + (r->change ? " changed;" : ";");
    }
    return out;
}

}  // namespace

std::string more_type_line(const RtcmDecoder& d) {
    const auto& m = d.stores.more;
    const std::uint8_t type = d.header.msg_type;
    if (type == 31) return glonass_line(d.stores.data_31, d.delivery);
    if (type == 34) return glonass_line(d.stores.data_34, d.delivery);
    if (type == 6) return "null frame";
    if (!d.delivery.whole_frame) return {};
    switch (type) {
        case 4:
            return std::string("datum ") + m.data_4.datum + (m.data_4.gnss == 1 ? " GLONASS" : " GPS") +
                   (m.data_4.global ? " global" : " local") +
                   (m.data_4.has_shift ? " shift " + f(m.data_4.dx, 1) + " " + f(m.data_4.dy, 1) + " " +
                                             f(m.data_4.dz, 1) + " m"
                                       : std::string());
        case 5: {
            std::string out = "health:";
            for (const auto& h : m.data_5.sats) out += " G" + i(h.sv) + " " + i(h.health);
            return out;
        }
        case 7: {
            std::string out = "beacons:";
            for (const auto& b : m.data_7.beacons)
                out += " " + i(b.station_id) + " " + f(b.frequency, 1) + " kHz " + f(b.lat, 4) + " " + f(b.lon, 4) + ";";
            return out;
        }
        case 15: {
            std::string out = "ionospheric delay:";
            for (const auto& e : m.data_15.sats)
                out += std::string(e.glonass ? " R" : " G") + i(e.sv) + " " + f(e.delay, 3) + " m " + f(e.rate, 2) +
                       " cm/min;";
            return out;
        }
        case 17: {
            const auto& e = m.data_17;
            return "ephemeris G" + i(e.sv) + " week " + i(e.week) + " IODE " + i(e.iode) + " toe " + f(e.toe, 0) +
                   " s health " + i(e.health) + " URA index " + i(e.ura);
        }
        case 27: {
            std::string out = "beacons:";
            for (const auto& b : m.data_27.beacons)
                out += " " + i(b.station_id) + " " + f(b.frequency, 1) + " kHz " + f(b.lat, 4) + " " + f(b.lon, 4) + ";";
            return out;
        }
        case 36: {
            // The null fill ends the text; the other characters are shown as sent.
            return "GLONASS message: " + m.data_36.text.substr(0, m.data_36.text.find('\0'));
        }
        case 13:
            return "transmitter " + f(m.data_13.lat, 2) + " " + f(m.data_13.lon, 2) + " range " + i(m.data_13.range) +
                   " km";
        case 14: {
            std::string out = "GPS week " + i(m.data_14.week) + " hour " + i(m.data_14.hour) + " leap seconds " +
                              i(m.data_14.leap_seconds);
            const long long frame_hour = static_cast<long long>(d.header.frame_time / 3600.0) % 24;
            if (m.data_14.hour % 24 != frame_hour)
                out += " - hour " + i(m.data_14.hour % 24) + " of the day, the clock gives " + i(frame_hour) +
                       ": check the computer's clock";
            return out;
        }
        case 22:
            return "L1 phase centre " + f(m.data_22.dx, 3) + " " + f(m.data_22.dy, 3) + " " + f(m.data_22.dz, 3) +
                   " cm" + (m.data_22.has_height ? " antenna height " + f(m.data_22.height, 3) + " cm" : std::string());
        case 23:
            return "antenna " + m.data_23.descriptor + " setup " + i(m.data_23.setup_id) +
                   (m.data_23.has_serial ? " serial " + m.data_23.serial : std::string());
        case 24:
            return "antenna reference point " + f(m.data_24.x, 4) + " " + f(m.data_24.y, 4) + " " + f(m.data_24.z, 4) +
                   " m";
        case 32:
            return "GLONASS station " + f(m.data_32.x * 0.01, 2) + " " + f(m.data_32.y * 0.01, 2) + " " +
                   f(m.data_32.z * 0.01, 2) + " m";
        default: return {};
    }
}

}  // namespace tessaly
