// Messages 5, 7, 13, 14 and 27: constellation health, radiobeacon almanacs,
// ground transmitter and GPS time; and the dispatch of the whole-frame types.
#include <array>

#include "decode_more.h"

namespace tessaly {

namespace {

constexpr std::array<int, 8> bitrates{25, 50, 100, 110, 150, 200, 250, 300};  // bit/s

template <class Record>
bool decode_into(Record& r, bool (*decode)(Record&, const FrameBits&), const FrameBits& b, double time,
                 std::uint8_t length) {
    Record next = r;
    if (!decode(next, b)) return false;
    next.valid = true;
    next.time = time;
    next.frame_length = length;
    r = std::move(next);
    return true;
}

}  // namespace

bool decode_type_5(rtcm_data_5_type& d, const FrameBits& b) {
    d.sats.clear();
    for (std::size_t p = 0; p + 24 <= b.size(); p += 24) {
        rtcm_health_5 h;
        const auto id = std::uint8_t(b.u(p + 1, 5));
        h.sv = id == 0 ? 32 : id;
        h.iodl = b.bit(p + 6);
        h.health = std::uint8_t(b.u(p + 7, 3));
        const int cn0 = int(b.u(p + 10, 5));
        h.snr = cn0 == 0 ? -1 : cn0 + 24;
        h.health_enable = b.bit(p + 15);
        h.new_data = b.bit(p + 16);
        h.loss_warning = b.bit(p + 17);
        h.unhealthy_minutes = int(b.u(p + 18, 4)) * 5;
        d.sats.push_back(h);
    }
    return !d.sats.empty();
}

namespace {

// The three data words of a beacon of 7, also the first three of 27's.
void decode_beacon(rtcm_beacon_7& e, const FrameBits& b, std::size_t p) {
    e.lat = double(b.s(p, 16)) * (90.0 / 32767);
    e.lon = double(b.s(p + 16, 16)) * (180.0 / 32767);
    e.range = int(b.u(p + 32, 10));
    e.frequency = double(b.u(p + 42, 12)) * 0.1 + 190.0;
    e.health = std::uint8_t(b.u(p + 54, 2));
    e.station_id = int(b.u(p + 56, 10));
    e.bitrate = bitrates[b.u(p + 66, 3)];
    e.modulation = b.bit(p + 69);
    e.sync_type = b.bit(p + 70);
    e.encoding = b.bit(p + 71);
}

}  // namespace

bool decode_type_7(rtcm_data_7_type& d, const FrameBits& b) {
    d.beacons.clear();
    for (std::size_t p = 0; p + 72 <= b.size(); p += 72) decode_beacon(d.beacons.emplace_back(), b, p);
    return !d.beacons.empty();
}

bool decode_type_27(rtcm_data_27_type& d, const FrameBits& b) {
    d.beacons.clear();
    for (std::size_t p = 0; p + 144 <= b.size(); p += 144) {
        rtcm_beacon_27& e = d.beacons.emplace_back();
        decode_beacon(e, b, p);
        for (std::size_t k = 0; k < e.extension.size(); ++k) e.extension[k] = std::uint32_t(b.u(p + 72 + 24 * k, 24));
    }
    return !d.beacons.empty();
}

bool decode_type_13(rtcm_data_13_type& d, const FrameBits& b) {
    if (b.size() < 48) return false;
    d.status = b.bit(0);
    d.range_flag = b.bit(1);
    d.lat = double(b.s(8, 16)) * 0.01;
    d.lon = double(b.s(24, 16)) * 0.01;
    d.range = int(b.u(40, 8)) * 4;  // 4 km steps
    return true;
}

bool decode_type_14(rtcm_data_14_type& d, const FrameBits& b) {
    if (b.size() < 24) return false;
    d.week = int(b.u(0, 10));
    d.hour = int(b.u(10, 8));
    d.leap_seconds = int(b.u(18, 6));
    return true;
}

bool decode_whole_frame(rtcm_more_stores& s, std::uint8_t msg_type, const rtcm_frame_words& words,
                        double frame_time, std::uint8_t frame_length) {
    if (!words.all_ok || words.count == 0) return false;
    const FrameBits b(words);
    switch (msg_type) {
        case 4: return decode_into(s.data_4, decode_type_4, b, frame_time, frame_length);
        case 5: return decode_into(s.data_5, decode_type_5, b, frame_time, frame_length);
        case 7: return decode_into(s.data_7, decode_type_7, b, frame_time, frame_length);
        case 13: return decode_into(s.data_13, decode_type_13, b, frame_time, frame_length);
        case 14: return decode_into(s.data_14, decode_type_14, b, frame_time, frame_length);
        case 15: return decode_into(s.data_15, decode_type_15, b, frame_time, frame_length);
        case 17: return decode_into(s.data_17, decode_type_17, b, frame_time, frame_length);
        case 22: return decode_into(s.data_22, decode_type_22, b, frame_time, frame_length);
        case 23: return decode_into(s.data_23, decode_type_23, b, frame_time, frame_length);
        case 24: return decode_into(s.data_24, decode_type_24, b, frame_time, frame_length);
        case 27: return decode_into(s.data_27, decode_type_27, b, frame_time, frame_length);
        case 32: return decode_into(s.data_32, decode_type_32, b, frame_time, frame_length);
        case 36: return decode_into(s.data_36, decode_type_36, b, frame_time, frame_length);
        default: return false;
    }
}

}  // namespace tessaly
