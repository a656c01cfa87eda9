// Messages 4, 22, 23, 24 and 32: the reference station's datum, its fine
// position corrections, its antenna and its GLONASS coordinates.
#include "frame_bits.h"
#include "decode_more.h"

namespace tessaly {

namespace {

// Characters of a text field; the null fill is left out.
void append_chars(std::string& out, const FrameBits& b, std::size_t pos, int count) {
    for (int i = 0; i < count; ++i) {
        const auto c = char(b.u(pos + std::size_t(8 * i), 8));
        if (c != '\0') out += c;
    }
}

}  // namespace

bool decode_type_4(rtcm_data_4_type& d, const FrameBits& b) {
    if (b.size() < 48) return false;
    d.gnss = std::uint8_t(b.u(0, 3));
    d.global = b.bit(3);
    d.datum.clear();
    append_chars(d.datum, b, 8, 2);    // datum alpha characters
    append_chars(d.datum, b, 24, 3);   // sub-division characters
    d.has_shift = b.size() >= 96;
    d.dx = d.has_shift ? b.s(48, 16) * 0.1 : 0;
    d.dy = d.has_shift ? b.s(64, 16) * 0.1 : 0;
    d.dz = d.has_shift ? b.s(80, 16) * 0.1 : 0;
    return true;
}

bool decode_type_22(rtcm_data_22_type& d, const FrameBits& b) {
    if (b.size() < 24) return false;
    constexpr double l1_unit = 1.0 / 256;  // cm
    constexpr double l2_unit = 1.0 / 16;   // cm
    d.dx = b.s(0, 8) * l1_unit;
    d.dy = b.s(8, 8) * l1_unit;
    d.dz = b.s(16, 8) * l1_unit;
    d.has_word4 = b.size() >= 48;
    d.glonass = d.has_word4 && b.bit(26);
    // NH set: no antenna height.
    d.has_height = d.has_word4 && !b.bit(29);
    d.height = d.has_height ? double(b.u(30, 18)) * l1_unit : 0;
    d.has_l2 = b.size() >= 72;
    d.dx2 = d.has_l2 ? b.s(48, 8) * l2_unit : 0;
    d.dy2 = d.has_l2 ? b.s(56, 8) * l2_unit : 0;
    d.dz2 = d.has_l2 ? b.s(64, 8) * l2_unit : 0;
    return true;
}

bool decode_type_23(rtcm_data_23_type& d, const FrameBits& b) {
    if (b.size() < 8) return false;
    d.ar = b.bit(1);
    d.has_serial = b.bit(2);
    const std::size_t nad = b.u(3, 5);
    // Descriptor, setup id, and with SF the serial number's count and text.
    std::size_t need = 8 * (1 + nad + 1);
    if (b.size() < need) return false;
    d.descriptor.clear();
    append_chars(d.descriptor, b, 8, int(nad));
    d.setup_id = int(b.u(8 * (1 + nad), 8));
    d.serial.clear();
    if (d.has_serial) {
        if (b.size() < need + 8) return false;
        const std::size_t nas = b.u(need + 3, 5);
        if (b.size() < need + 8 + 8 * nas) return false;
        append_chars(d.serial, b, need + 8, int(nas));
    }
    return true;
}

bool decode_type_24(rtcm_data_24_type& d, const FrameBits& b) {
    if (b.size() < 120) return false;
    constexpr double unit = 0.0001;  // m
    d.x = double(b.s(0, 38)) * unit;
    d.y = double(b.s(40, 38)) * unit;
    d.z = double(b.s(80, 38)) * unit;
    d.glonass = b.bit(118);
    d.has_height = b.bit(119) && b.size() >= 144;
    d.height = d.has_height ? double(b.u(120, 18)) / 25600 : 0;  // 1/256 cm, as in 22
    return true;
}

bool decode_type_32(rtcm_data_32_type& d, const FrameBits& b) {
    if (b.size() < 96) return false;
    d.x = std::int32_t(b.s(0, 32));
    d.y = std::int32_t(b.s(32, 32));
    d.z = std::int32_t(b.s(64, 32));
    return true;
}

}  // namespace tessaly
