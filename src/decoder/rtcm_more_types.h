#pragma once
// Records of the message types decoded from whole frames: the frame's data
// words are collected as they come and decoded when its last word arrived
// and every word passed parity (a frame with a failed word keeps the
// record of the previous frame of its type). The received characters of
// these types are still kept in rtcm_data_other_type.
//
// Field layouts per RTCM 10402.3 (RTCM SC-104 version 2.3).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// Common to every record of this file.
struct rtcm_frame_record {
    bool valid = false;  // a frame of this type was decoded
    double time = 0;     // frame time of that frame, s of the day
    std::uint8_t frame_length = 0;
};

// 4: reference station datum.
struct rtcm_data_4_type : rtcm_frame_record {
    std::uint8_t gnss = 0;  // 0 GPS, 1 GLONASS, others reserved
    bool global = false;    // DAT: datum global (WGS-84 or PZ-90), else local
    std::string datum;      // alpha and sub-division characters, nulls left out
    bool has_shift = false; // words 5 and 6 present
    double dx = 0, dy = 0, dz = 0;  // m, shift to the global datum
};

// 5: constellation health, one entry per data word.
struct rtcm_health_5 {
    std::uint8_t sv = 0;   // 1..32
    bool iodl = false;     // the health refers to the IOD of the last correction
    std::uint8_t health = 0;  // data health, 0..7
    int snr = -1;          // dB-Hz; -1: not given (code 0)
    bool health_enable = false;
    bool new_data = false;
    bool loss_warning = false;
    int unhealthy_minutes = 0;  // time to unhealthy, 5-minute steps
};
struct rtcm_data_5_type : rtcm_frame_record {
    std::vector<rtcm_health_5> sats;
};

// 7: radiobeacon almanac, three data words per beacon.
struct rtcm_beacon_7 {
    double lat = 0, lon = 0;     // degrees
    int range = 0;               // km
    double frequency = 0;        // kHz
    std::uint8_t health = 0;     // 0..3
    int station_id = 0;          // 0..1023
    int bitrate = 0;             // bit/s
    bool modulation = false, sync_type = false, encoding = false;
};
struct rtcm_data_7_type : rtcm_frame_record {
    std::vector<rtcm_beacon_7> beacons;
};

// 27: extended radiobeacon almanac, six data words per beacon: the three of
// 7, then three more whose fields are kept as they came (72 bits).
struct rtcm_beacon_27 : rtcm_beacon_7 {
    std::array<std::uint32_t, 3> extension{};  // data words 4 to 6, 24 bits each
};
struct rtcm_data_27_type : rtcm_frame_record {
    std::vector<rtcm_beacon_27> beacons;
};

// 15: ionospheric delay, 36 bits per satellite.
struct rtcm_iono_15 {
    bool glonass = false;  // 0 GPS, 1 GLONASS
    std::uint8_t sv = 0;   // 1..32
    double delay = 0;      // m, 0.001 m
    double rate = 0;       // cm/min, 0.05 cm/min
};
struct rtcm_data_15_type : rtcm_frame_record {
    std::vector<rtcm_iono_15> sats;
};

// 17: GPS ephemeris, the fields of subframes 1 to 3 of the navigation
// message, scaled as IS-GPS-200 gives them, angles in radians as a RINEX
// navigation record holds them.
struct rtcm_data_17_type : rtcm_frame_record {
    std::uint8_t sv = 0;     // 1..32
    int week = 0;            // modulo 1024
    int iode = 0, iodc = 0;
    int ura = 0;             // SV accuracy index 0..15
    int health = 0;          // 6 bits
    int l2_codes = 0;        // codes on L2, 2 bits
    bool l2p_data = false;   // L2 P data flag
    double toc = 0, toe = 0;  // s of the GPS week
    double af0 = 0, af1 = 0, af2 = 0;  // s, s/s, s/s^2
    double tgd = 0;                    // s
    double crs = 0, crc = 0;           // m
    double cuc = 0, cus = 0, cic = 0, cis = 0;  // rad
    double e = 0;
    double sqrt_a = 0;                 // m^1/2
    double delta_n = 0, omega_dot = 0, idot = 0;  // rad/s
    double m0 = 0, omega0 = 0, i0 = 0, omega = 0;  // rad
};

// 13: ground transmitter parameters.
struct rtcm_data_13_type : rtcm_frame_record {
    bool status = false, range_flag = false;
    double lat = 0, lon = 0;  // degrees
    int range = 0;            // km
};

// 14: GPS time of week.
struct rtcm_data_14_type : rtcm_frame_record {
    int week = 0;          // 0..1023, modulo 1024
    int hour = 0;          // hour of the week, 0..167
    int leap_seconds = 0;  // GPS time minus UTC
};

// 22: extended reference station parameters (fine corrections to 3 or 32).
struct rtcm_data_22_type : rtcm_frame_record {
    double dx = 0, dy = 0, dz = 0;  // cm, L1 phase centre, 1/256 cm
    bool has_word4 = false;
    bool glonass = false;           // GS
    bool has_height = false;        // NH clear: the antenna height is given
    double height = 0;              // cm
    bool has_l2 = false;            // word 5
    double dx2 = 0, dy2 = 0, dz2 = 0;  // cm, L2 phase centre, 1/16 cm
};

// 23: antenna type definition.
struct rtcm_data_23_type : rtcm_frame_record {
    bool ar = false;          // the antenna reference point is given in 24
    bool has_serial = false;  // SF
    std::string descriptor;
    int setup_id = 0;
    std::string serial;
};

// 24: antenna reference point.
struct rtcm_data_24_type : rtcm_frame_record {
    double x = 0, y = 0, z = 0;  // m, 0.0001 m
    bool glonass = false;        // GS
    bool has_height = false;     // AH
    double height = 0;           // m, from units of 1/256 cm
};

// 36: GLONASS special message, three characters per data word as 16,
// nulls included.
struct rtcm_data_36_type : rtcm_frame_record {
    std::string text;
};

// 32: GLONASS reference station parameters (PZ-90), the layout of 3.
struct rtcm_data_32_type : rtcm_frame_record {
    std::int32_t x = 0, y = 0, z = 0;  // 0.01 m
};

// 6 (null frame), 37, 59 and the rest: no decoded content.

struct rtcm_more_stores {
    rtcm_data_4_type data_4;
    rtcm_data_5_type data_5;
    rtcm_data_7_type data_7;
    rtcm_data_13_type data_13;
    rtcm_data_14_type data_14;
    rtcm_data_15_type data_15;
    rtcm_data_17_type data_17;
    rtcm_data_22_type data_22;
    rtcm_data_23_type data_23;
    rtcm_data_24_type data_24;
    rtcm_data_27_type data_27;
    rtcm_data_32_type data_32;
    rtcm_data_36_type data_36;
};

// The data words of the frame in progress for the whole-frame types.
struct rtcm_frame_words {
    std::array<std::uint32_t, 31> word{};  // normalised, data word 1 first
    std::uint8_t count = 0;
    bool all_ok = true;
};

// Decodes a complete frame of `msg_type` into its record; false when the type
// has no whole-frame decoder or the words do not fit its layout.
bool decode_whole_frame(rtcm_more_stores& stores, std::uint8_t msg_type, const rtcm_frame_words& words,
                        double frame_time, std::uint8_t frame_length);

}  // namespace tessaly
