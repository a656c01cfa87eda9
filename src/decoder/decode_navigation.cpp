// Messages 15, 17 and 36: ionospheric delays, the GPS ephemeris and the
// GLONASS special message.
#include <cmath>

#include "decode_more.h"

namespace tessaly {

namespace {

// IS-GPS-200 gives angles in semicircles; they are kept in radians, with
// the value of pi that IS-GPS-200 fixes (and RINEX writers use).
constexpr double semicircle = 3.1415926535898;

double scaled(std::int64_t count, int power_of_two) { return std::ldexp(double(count), power_of_two); }

}  // namespace

// Two satellites in three data words: system, number, delay and its rate.
bool decode_type_15(rtcm_data_15_type& d, const FrameBits& b) {
    d.sats.clear();
    for (std::size_t p = 0; p + 36 <= b.size(); p += 36) {
        rtcm_iono_15& e = d.sats.emplace_back();
        e.glonass = b.bit(p);
        const auto id = std::uint8_t(b.u(p + 1, 5));
        e.sv = id == 0 ? 32 : id;
        e.delay = double(b.u(p + 6, 14)) * 0.001;
        e.rate = double(b.s(p + 20, 14)) * 0.05;
    }
    return !d.sats.empty();
}

// Twenty data words, the fields in the order of the message, each with its
// IS-GPS-200 width and scale; three fill bits end the last word.
bool decode_type_17(rtcm_data_17_type& d, const FrameBits& b) {
    if (b.size() < 480) return false;
    std::size_t p = 0;  // the next field's first bit
    auto u = [&](int n) {
        const auto v = std::int64_t(b.u(p, n));
        p += std::size_t(n);
        return v;
    };
    auto s = [&](int n) {
        const auto v = b.s(p, n);
        p += std::size_t(n);
        return v;
    };
    d.week = int(u(10));
    d.idot = scaled(s(14), -43) * semicircle;
    d.iode = int(u(8));
    d.toc = double(u(16) * 16);
    d.af1 = scaled(s(16), -43);
    d.af2 = scaled(s(8), -55);
    d.crs = scaled(s(16), -5);
    d.delta_n = scaled(s(16), -43) * semicircle;
    d.cuc = scaled(s(16), -29);
    d.e = scaled(u(32), -33);
    d.cus = scaled(s(16), -29);
    d.sqrt_a = scaled(u(32), -19);
    d.toe = double(u(16) * 16);
    d.omega0 = scaled(s(32), -31) * semicircle;
    d.cic = scaled(s(16), -29);
    d.i0 = scaled(s(32), -31) * semicircle;
    d.cis = scaled(s(16), -29);
    d.omega = scaled(s(32), -31) * semicircle;
    d.crc = scaled(s(16), -5);
    d.omega_dot = scaled(s(24), -43) * semicircle;
    d.m0 = scaled(s(32), -31) * semicircle;
    d.iodc = int(u(10));
    d.af0 = scaled(s(22), -31);
    const auto id = std::uint8_t(u(5));
    d.sv = id == 0 ? 32 : id;
    p += 3;  // spare
    d.tgd = scaled(s(8), -31);
    d.l2_codes = int(u(2));
    d.ura = int(u(4));
    d.health = int(u(6));
    d.l2p_data = u(1) != 0;
    return true;
}

// As 16: three characters a word, the null fill kept.
bool decode_type_36(rtcm_data_36_type& d, const FrameBits& b) {
    d.text.clear();
    for (std::size_t p = 0; p + 8 <= b.size(); p += 8) d.text += char(b.u(p, 8));
    return true;
}

}  // namespace tessaly
