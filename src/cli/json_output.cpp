#include "json_output.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace tessaly::cli {

std::string json_number(double v, int decimals) {
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
    std::string s(buf.data(), res.ptr);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string json_string(std::string_view bytes) {
    std::string out = "\"";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            std::array<char, 8> esc{};
            std::snprintf(esc.data(), esc.size(), "\\u%04x", unsigned(c));
            out += esc.data();
        } else {
            out += char(c);
        }
    }
    out += '"';
    return out;
}

namespace {

// Appends "name":value members, separated by commas.
class Members {
public:
    explicit Members(std::string& out) : out_(out) {}
    Members& raw(const char* name, const std::string& value) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += name;
        out_ += "\":";
        out_ += value;
        return *this;
    }
    Members& integer(const char* name, long long v) { return raw(name, std::to_string(v)); }
    Members& boolean(const char* name, bool v) { return raw(name, v ? "true" : "false"); }
    Members& number(const char* name, double v, int decimals) { return raw(name, json_number(v, decimals)); }
    Members& text(const char* name, std::string_view v) { return raw(name, json_string(v)); }

private:
    std::string& out_;
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
template <class Sat, class Fields>
void satellites(Members& m, const frame_delivery_type& d, const Sat* list, Fields fields) {
    std::string arr = "[";
    for (std::size_t i = 0; i < d.sv_count; ++i) {
        const Sat* e = find_record(list, d.svs[i]);
        if (!e) continue;
        if (arr.size() > 1) arr += ',';
        arr += '{';
        Members em(arr);
        fields(em, *e);
        arr += '}';
    }
    arr += ']';
    m.raw("satellites", arr);
}

void corrections(Members& m, const RtcmDecoder& d, const rtcm_corrections_store& store, bool problem_marks) {
    satellites(m, d.delivery, store.list.get(), [&](Members& e, const rtcm_sat_1_type& s) {
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
        m.integer("tom", d.delivery.tom_us).number("meas_time", store.meas_time, microsecond);
    }
    satellites(m, d.delivery, store.current_list(), fields);
}

}  // namespace

std::string frame_json(const RtcmDecoder& d) {
    const auto& h = d.header;
    const auto& st = d.stores;
    const bool has_data = h.frame_length > 2;
    std::string out = "{";
    Members m(out);
    m.text("class", "RTCM2").integer("type", h.msg_type).integer("station_id", h.station_id);
    m.number("zcount", d.delivery.zcount * 0.6, tenth_second).integer("seqnum", h.sequence);
    m.integer("length", h.frame_length - 2).integer("station_health", h.health);
    m.number("frame_time", h.frame_time, tenth_second).number("latency", d.latency, millisecond);

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
            measurements(m, d, st.data_18, [](Members& e, const rtcm_sat_18_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).boolean("half_wave", s.half_wave).boolean("p_code", s.p_code);
                e.number("phase_err", s.phase_err, bound_cycles).integer("loss", s.loss);
                e.number("phase", s.phase, cycles_256);
            });
            break;
        case 19:
            measurements(m, d, st.data_19, [](Members& e, const rtcm_sat_19_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).boolean("p_code", s.p_code);
                e.number("pr_err", s.pr_err, bound_metres).number("mp_err", s.mp_err, bound_metres);
                e.number("pseudorange", s.pseudorange, metres_002);
            });
            break;
        case 20:
            measurements(m, d, st.data_20, [](Members& e, const rtcm_sat_20_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).boolean("half_wave", s.half_wave);
                e.number("phase_err", s.phase_err, bound_cycles).integer("loss", s.loss).integer("iod", s.iod);
                e.number("phase_corr", s.phase_corr, cycles_256);
            });
            break;
        case 21:
            measurements(m, d, st.data_21, [](Members& e, const rtcm_sat_21_type& s) {
                e.integer("sv", s.sv).integer("g", s.glonass).boolean("rr_scale", s.rr_scale).boolean("p_code", s.p_code);
                e.boolean("pr_scale", s.pr_scale);
                e.number("pr_err", s.pr_err, bound_metres).number("mp_err", s.mp_err, bound_metres);
                e.integer("iod", s.iod).number("prc", s.prc, metres_002).number("rrc", s.rrc, rates_0002);
            });
            break;
        default: m.text("raw", has_data ? std::string_view(st.data_other.raw) : std::string_view()); break;
    }
    out += '}';
    return out;
}

}  // namespace tessaly::cli
