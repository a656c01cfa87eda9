#include "json_output.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "format_fixed.h"
#include "text_buffer.h"

namespace tessaly::cli {

namespace {

// The JSON string at p, which has room for 6 characters a byte and two.
char* put_json_string(char* p, std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    *p++ = '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c != '"' && c != '\\' && c >= 0x20 && c < 0x7F) {
            *p++ = ch;
        } else if (c == '"' || c == '\\') {
            *p++ = '\\';
            *p++ = ch;
        } else {
            const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15u]};
            std::memcpy(p, esc, sizeof esc);
            p += sizeof esc;
        }
    }
    *p++ = '"';
    return p;
}

}  // namespace

std::string json_number(double v, int decimals) { return json_decimal(v, decimals); }

std::string json_string(std::string_view bytes) {
    std::string out;
    append_json_string(out, bytes);
    return out;
}

void append_json_string(std::string& out, std::string_view bytes) {
    std::string text(6 * bytes.size() + 2, '\0');
    text.resize(std::size_t(put_json_string(text.data(), bytes) - text.data()));
    out += text;
}

namespace {

// The numbers that repeat from frame to frame, each column with its memo.
struct Memos {
    NumberMemo zcount, frame_time, latency, meas_time, pr_err, mp_err, phase_err;
    PieceMemo<96> sat_18, sat_19;  // the satellites' members up to the measurement
};

// Where an object is being written: a pointer into this thread's scratch
// buffer, kept in a local object (not in the thread's storage, which every
// character stored could alias) so that it can stay in a register.
struct Scratch {
    TextBuffer& buffer;
    Memos& memos;
    char* p = buffer.room(0);
    const char* end = buffer.room_end();  // of the room

    // Room for at least `n` more characters at p.
    void need(std::size_t n) {
        if (std::size_t(end - p) >= n) return;
        buffer.commit(p);
        p = buffer.room(std::max(n, std::size_t(1) << 16));
        end = buffer.room_end();
    }
};

// Room for one object's literals and numbers (without strings of the
// stream, which take their own): more than any object here can hold.
constexpr std::size_t object_room = 4096;

// Writes "name":value members, separated by commas, through the scratch
// pointer.
class Members {
public:
    explicit Members(Scratch& s) : s_(s) {}
    // `"name":`, after a comma when members came before; the value follows.
    template <std::size_t N>
    [[gnu::always_inline]] char*& key(const char (&name)[N]) {
        char*& p = s_.p;
        *p = ',';
        p += !first_;
        first_ = false;
        *p++ = '"';
        std::memcpy(p, name, N - 1);
        p += N - 1;
        std::memcpy(p, "\":", 2);
        p += 2;
        return p;
    }
    template <std::size_t N>
    Members& integer(const char (&name)[N], long long v) {
        char*& p = key(name);
        p = put_int(p, v, 0);
        return *this;
    }
    template <std::size_t N>
    Members& boolean(const char (&name)[N], bool v) {
        char*& p = key(name);
        std::memcpy(p, v ? "true" : "false", 5);
        p += 5 - int(v);
        return *this;
    }
    template <std::size_t N>
    Members& number(const char (&name)[N], double v, int decimals) {
        char*& p = key(name);
        p = put_json_decimal(p, v, decimals);
        return *this;
    }
    // A number through a memo; the same decimals for every value it sees.
    template <std::size_t N>
    Members& number(const char (&name)[N], NumberMemo& memo, double v, int decimals) {
        char*& p = key(name);
        p = memo.put(p, v, [=](char* at, double x) { return put_json_decimal(at, x, decimals); });
        return *this;
    }
    // The members that `write(*this)` makes from the fields in `key` alone,
    // through the memo.
    template <std::size_t Size, class Write>
    Members& cached(PieceMemo<Size>& memo, std::size_t slot, const typename PieceMemo<Size>::Key& key, Write write) {
        s_.p = memo.put(s_.p, slot, key, [&](char* at) {
            s_.p = at;
            write(*this);
            return s_.p;
        });
        first_ = false;
        return *this;
    }
    // The shortest text that reads back as exactly `v`: for values scaled by
    // powers of two far below the decimals of a fixed rounding.
    template <std::size_t N>
    Members& exact(const char (&name)[N], double v) {
        char*& p = key(name);
        p = std::to_chars(p, p + 32, v).ptr;
        return *this;
    }
    template <std::size_t N>
    Members& text(const char (&name)[N], std::string_view v) {
        s_.need(object_room + 6 * v.size());
        char*& p = key(name);
        p = put_json_string(p, v);
        return *this;
    }
    Scratch& scratch() { return s_; }

private:
    Scratch& s_;
    bool first_ = true;
};

// Decimals that each scale carries.
constexpr int metres_002 = 2;       // 0.02 m, 0.32 m, 0.01 m
constexpr int rates_0002 = 3;       // 0.002 m/s, 0.032 m/s
constexpr int cycles_256 = 8;       // 1/256 and 1/128 cycle
constexpr int bound_cycles = 5;     // error bounds in cycles, as the tables print them
constexpr int bound_metres = 3;     // error bounds in metres
constexpr int tenth_second = 1;     // Z-count: 0.6 s
constexpr int millisecond = 3;      // the clock's resolution
constexpr int microsecond = 6;      // time of measurement

// "satellites": the entries of `list` that this frame delivered, in order.
template <class List, class Fields>
void satellites(Members& m, const frame_delivery_type& d, const List& list, Fields fields) {
    Scratch& s = m.scratch();
    *m.key("satellites")++ = '[';
    for (std::size_t i = 0; i < d.sv_count; ++i) {
        const auto* e = list.find(d.svs[i]);
        if (!e) continue;
        s.need(object_room);
        *s.p++ = '{';
        Members em(s);
        fields(em, *e);
        std::memcpy(s.p, "},", 2);
        s.p += 2;
    }
    // The last comma becomes the bracket; with no entry, the bracket follows.
    s.p -= s.p[-1] == ',';
    *s.p++ = ']';
}

void corrections(Members& m, const RtcmDecoder& d, const rtcm_corrections_store& store, bool problem_marks) {
    satellites(m, d.delivery, store.list, [&](Members& e, const rtcm_sat_1_type& s) {
        e.integer("ident", s.sv).boolean("scale", s.scale).integer("udre", s.udre);
        e.number("prc", s.range_corr, metres_002).number("rrc", s.rate_corr, rates_0002).integer("iod", s.iod);
        if (problem_marks) e.boolean("prc_problem", s.range_problem).boolean("rrc_problem", s.rate_problem);
    });
}

template <class Store, class Fields>
void measurements(Members& m, const RtcmDecoder& d, const Store& store, Fields fields) {
    if (d.delivery.measurement_head) {
        m.integer("f", store.freq);
        if constexpr (requires { store.smooth; }) m.integer("sm", store.smooth);
        m.integer("tom", d.delivery.tom_us).number("meas_time", m.scratch().memos.meas_time, store.meas_time, microsecond);
    }
    satellites(m, d.delivery, store.current_list(), fields);
}

// The memo slot of a satellite's members: the lists of the frequencies
// take turns, and each keeps its own.
template <class Sat>
std::size_t slot(const Sat& s, std::uint8_t freq) {
    return std::size_t(s.key() & 63u) | std::size_t(freq & 3u) << 6;
}

void glonass_corrections(Members& m, const RtcmDecoder& d, const rtcm_corrections_store& store) {
    satellites(m, d.delivery, store.list, [&](Members& e, const rtcm_sat_1_type& s) {
        e.integer("ident", s.sv).boolean("scale", s.scale).integer("udre", s.udre);
        e.boolean("change", s.change).integer("tod", s.tod);
        e.number("prc", s.range_corr, metres_002).number("rrc", s.rate_corr, rates_0002);
    });
}

template <std::size_t N, class Item, class Fields>
void array(Members& m, const char (&name)[N], const std::vector<Item>& items, Fields fields) {
    Scratch& s = m.scratch();
    *m.key(name)++ = '[';
    for (const Item& item : items) {
        s.need(object_room);
        if (&item != items.data()) *s.p++ = ',';
        *s.p++ = '{';
        Members em(s);
        fields(em, item);
        *s.p++ = '}';
    }
    *s.p++ = ']';
}

// A beacon of 7, and the same fields of 27 (gpsd's names).
void beacon(Members& e, const rtcm_beacon_7& b) {
    e.number("lat", b.lat, 4).number("lon", b.lon, 4).integer("range", b.range);
    e.number("frequency", b.frequency, 1).integer("health", b.health).integer("station_id", b.station_id);
    e.integer("bitrate", b.bitrate);
}

// 17 with the names gpsd gives the same parameters of the navigation
// message's subframes 1 to 3; angles in radians.
void ephemeris(Members& m, const rtcm_data_17_type& d) {
    m.integer("ident", d.sv).integer("WN", d.week).integer("IODE", d.iode).integer("IODC", d.iodc);
    m.integer("ura", d.ura).integer("hlth", d.health).integer("L2", d.l2_codes).integer("L2P", d.l2p_data);
    m.integer("toc", std::lround(d.toc)).exact("af0", d.af0).exact("af1", d.af1).exact("af2", d.af2).exact("Tgd", d.tgd);
    m.integer("toe", std::lround(d.toe)).exact("sqrtA", d.sqrt_a).exact("e", d.e).exact("M0", d.m0);
    m.exact("deltan", d.delta_n).exact("omega", d.omega).exact("Omega0", d.omega0).exact("Omegad", d.omega_dot);
    m.exact("i0", d.i0).exact("IDOT", d.idot).exact("Crs", d.crs).exact("Crc", d.crc).exact("Cuc", d.cuc);
    m.exact("Cus", d.cus).exact("Cic", d.cic).exact("Cis", d.cis);
}

// The whole-frame types, when this frame's words all passed parity and fit
// the type's layout; gpsd's member names where gpsd decodes the type.
void whole_frame(Members& m, std::uint8_t type, const rtcm_more_stores& s) {
    switch (type) {
        case 4: {
            static constexpr const char* systems[] = {"GPS", "GLONASS"};
            m.text("system", s.data_4.gnss < 2 ? systems[s.data_4.gnss] : "UNKNOWN");
            // gpsd's sense: 1 global, 2 local, 0 when the shift is not given.
            m.integer("sense", !s.data_4.has_shift ? 0 : s.data_4.global ? 1 : 2).text("datum", s.data_4.datum);
            if (s.data_4.has_shift)
                m.number("dx", s.data_4.dx, 1).number("dy", s.data_4.dy, 1).number("dz", s.data_4.dz, 1);
            break;
        }
        case 5:
            array(m, "satellites", s.data_5.sats, [](Members& e, const rtcm_health_5& h) {
                e.integer("ident", h.sv).boolean("iodl", h.iodl).integer("health", h.health).integer("snr", h.snr);
                e.boolean("health_en", h.health_enable).boolean("new_data", h.new_data);
                e.boolean("los_warning", h.loss_warning).integer("tou", h.unhealthy_minutes);
            });
            break;
        case 7: array(m, "satellites", s.data_7.beacons, beacon); break;
        case 15:
            array(m, "satellites", s.data_15.sats, [](Members& e, const rtcm_iono_15& i) {
                e.integer("ident", i.sv).integer("g", i.glonass).number("delay", i.delay, 3).number("rate", i.rate, 2);
            });
            break;
        case 17: ephemeris(m, s.data_17); break;
        case 27:
            array(m, "satellites", s.data_27.beacons, [](Members& e, const rtcm_beacon_27& b) {
                beacon(e, b);
                char hex[19];
                std::snprintf(hex, sizeof hex, "%06x%06x%06x", unsigned(b.extension[0]), unsigned(b.extension[1]),
                              unsigned(b.extension[2]));
                e.text("ext", hex);
            });
            break;
        case 36: m.text("message", s.data_36.text); break;
        case 13:
            m.boolean("status", s.data_13.status).boolean("rangeflag", s.data_13.range_flag);
            m.number("lat", s.data_13.lat, 2).number("lon", s.data_13.lon, 2).integer("range", s.data_13.range);
            break;
        case 14:
            m.integer("week", s.data_14.week).integer("hour", s.data_14.hour).integer("leapsecs", s.data_14.leap_seconds);
            break;
        case 22:
            m.number("dx", s.data_22.dx, 8).number("dy", s.data_22.dy, 8).number("dz", s.data_22.dz, 8);
            if (s.data_22.has_word4) m.integer("gs", s.data_22.glonass);
            if (s.data_22.has_height) m.number("ah", s.data_22.height, 8);
            if (s.data_22.has_l2)
                m.number("dx2", s.data_22.dx2, 4).number("dy2", s.data_22.dy2, 4).number("dz2", s.data_22.dz2, 4);
            break;
        case 23:
            m.integer("ar", s.data_23.ar).integer("sid", s.data_23.setup_id).text("ad", s.data_23.descriptor);
            if (s.data_23.has_serial) m.text("as", s.data_23.serial);
            break;
        case 24:
            m.integer("gs", s.data_24.glonass);
            m.number("x", s.data_24.x, 4).number("y", s.data_24.y, 4).number("z", s.data_24.z, 4);
            if (s.data_24.has_height) m.number("ah", s.data_24.height, 8);
            break;
        case 32:
            m.number("x", s.data_32.x / 100.0, metres_002).number("y", s.data_32.y / 100.0, metres_002);
            m.number("z", s.data_32.z / 100.0, metres_002);
            break;
        default: break;
    }
}

// A frame read from an AIS message 17: its sender and the position it
// broadcast, with gpsd's names for them (degrees; four decimals keep every
// step of 1/10 minute apart).
void carrier_members(Members& m, const frame_carrier_type& c) {
    m.text("source", "ais").integer("mmsi", c.mmsi);
    if (c.has_position) m.number("lon", c.lon / 600.0, 4).number("lat", c.lat / 600.0, 4);
}

void frame_members(Members& m, const RtcmDecoder& d) {
    const auto& h = d.header;
    const auto& st = d.stores;
    const bool has_data = h.frame_length > 2;
    Memos& memos = m.scratch().memos;
    m.text("class", "RTCM2").integer("type", h.msg_type).integer("station_id", h.station_id);
    m.number("zcount", memos.zcount, d.delivery.zcount * 0.6, tenth_second).integer("seqnum", h.sequence);
    m.integer("length", h.frame_length - 2).integer("station_health", h.health);
    m.number("frame_time", memos.frame_time, h.frame_time, tenth_second);
    m.number("latency", memos.latency, d.latency, millisecond);
    if (d.carrier.ais) carrier_members(m, d.carrier);

    switch (h.msg_type) {
        case 1: corrections(m, d, st.data_1, true); break;
        case 2: corrections(m, d, st.data_2, true); break;
        case 9: corrections(m, d, st.data_9, false); break;
        case 3:
            if (d.delivery.station_stored) {
                m.number("x", st.data_3.x / 100.0, metres_002);
                m.number("y", st.data_3.y / 100.0, metres_002);
                m.number("z", st.data_3.z / 100.0, metres_002);
            }
            break;
        case 16: m.text("message", has_data ? std::string_view(st.data_16.text) : std::string_view()); break;
        case 18:
            measurements(m, d, st.data_18, [&](Members& e, const rtcm_sat_18_type& s) {
                const PieceMemo<96>::Key key{std::bit_cast<std::uint64_t>(s.phase_err),
                                             s.sv | std::uint64_t(s.loss) << 8 | std::uint64_t(s.glonass) << 16 |
                                                 std::uint64_t(s.more) << 17 | std::uint64_t(s.p_code) << 18};
                e.cached(memos.sat_18, slot(s, st.data_18.freq), key, [&](Members& e) {
                    e.integer("sv", s.sv).integer("g", s.glonass).integer("m", s.more);
                    e.boolean("p_code", s.p_code).number("phase_err", memos.phase_err, s.phase_err, bound_cycles);
                    e.integer("loss", s.loss);
                });
                e.number("phase", s.phase, cycles_256);
            });
            break;
        case 19:
            measurements(m, d, st.data_19, [&](Members& e, const rtcm_sat_19_type& s) {
                const PieceMemo<96>::Key key{std::bit_cast<std::uint64_t>(s.pr_err),
                                             std::bit_cast<std::uint64_t>(s.mp_err),
                                             s.sv | std::uint64_t(s.glonass) << 8 | std::uint64_t(s.p_code) << 9};
                e.cached(memos.sat_19, slot(s, st.data_19.freq), key, [&](Members& e) {
                    e.integer("sv", s.sv).integer("g", s.glonass).boolean("p_code", s.p_code);
                    e.number("pr_err", memos.pr_err, s.pr_err, bound_metres);
                    e.number("mp_err", memos.mp_err, s.mp_err, bound_metres);
                });
                e.number("pseudorange", s.pseudorange, metres_002);
            });
            break;
        case 20:
            measurements(m, d, st.data_20, [](Members& e, const rtcm_sat_20_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).integer("m", s.more);
                e.number("phase_err", e.scratch().memos.phase_err, s.phase_err, bound_cycles);
                e.integer("loss", s.loss).integer("iod", s.iod);
                e.number("phase_corr", s.phase_corr, cycles_256);
            });
            break;
        case 21:
            measurements(m, d, st.data_21, [](Members& e, const rtcm_sat_21_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).boolean("rr_scale", s.rr_scale).boolean("p_code", s.p_code);
                e.boolean("pr_scale", s.pr_scale);
                e.number("pr_err", e.scratch().memos.pr_err, s.pr_err, bound_metres);
                e.number("mp_err", e.scratch().memos.mp_err, s.mp_err, bound_metres);
                e.integer("iod", s.iod).number("prc", s.prc, metres_002).number("rrc", s.rrc, rates_0002);
            });
            break;
        case 31: glonass_corrections(m, d, st.data_31); break;
        case 34: glonass_corrections(m, d, st.data_34); break;
        default:
            m.text("raw", has_data ? std::string_view(st.data_other.raw) : std::string_view());
            if (d.delivery.whole_frame) whole_frame(m, h.msg_type, st.more);
            break;
    }
}


// The object, built in this thread's scratch buffer; it holds until the next.
[[gnu::flatten]] std::string_view build_frame_json(const RtcmDecoder& d) {
    thread_local TextBuffer buffer;
    thread_local Memos memos;
    buffer.clear();
    Scratch s{buffer, memos};
    s.need(object_room);
    *s.p++ = '{';
    Members m(s);
    frame_members(m, d);
    *s.p++ = '}';
    buffer.commit(s.p);
    return buffer.view();
}

}  // namespace

std::string frame_json(const RtcmDecoder& d) { return std::string(build_frame_json(d)); }

void append_frame_json(std::string& out, const RtcmDecoder& d) { out += build_frame_json(d); }

}  // namespace tessaly::cli
