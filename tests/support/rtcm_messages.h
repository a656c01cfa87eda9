#pragma once
// Data words of the message types, built from field values as the
// RTCM SC-104 version 2 layouts place them. Raw (unscaled) field values go
// in, so that tests choose exact bit patterns.

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

// Packs fields most significant bit first into 24-bit data words; the last
// word is filled with the 1010... pattern stations use.
class BitPacker {
public:
    BitPacker& put(std::uint32_t value, int bits);
    std::vector<std::uint32_t> words() const;
    int bit_count() const { return int(bits_.size()); }

private:
    std::vector<bool> bits_;
};

// Messages 1, 2 and 9: one 40-bit block per satellite.
struct CorrectionBlock {
    bool scale = false;       // coarse when set
    std::uint8_t udre = 0;    // 0..3
    std::uint8_t id = 1;      // 0..31 (0 stands for 32)
    std::int16_t range = 0;   // units 0.02 m or 0.32 m
    std::int8_t rate = 0;     // units 0.002 m/s or 0.032 m/s
    std::uint8_t iod = 0;
};
std::vector<std::uint32_t> correction_words(const std::vector<CorrectionBlock>& blocks);

// Message 3: earth-centred coordinates in units of 0.01 m.
std::vector<std::uint32_t> station_words(std::int32_t x, std::int32_t y, std::int32_t z);

// Message 16: three characters per word, the last word filled with nulls.
std::vector<std::uint32_t> text_words(const std::string& text);

// Messages 18 to 21: the first data word.
std::uint32_t measurement_head(std::uint8_t freq, std::uint8_t smooth_bits, std::uint32_t tom_us);

struct Phase18 {
    bool more = false, p_code = false;  // more: the multiple-message flag
    std::uint8_t sv = 1, quality = 0, loss = 0;
    std::int32_t phase = 0;  // units 1/256 cycle
    bool glonass = false;
};
std::vector<std::uint32_t> words_18(std::uint8_t freq, std::uint32_t tom_us, const std::vector<Phase18>& sats);

struct Range19 {
    bool p_code = false;
    std::uint8_t sv = 1, quality = 0, multipath = 0;
    std::int32_t pseudorange = 0;  // units 0.02 m
    bool glonass = false;
};
std::vector<std::uint32_t> words_19(std::uint8_t freq, std::uint8_t smooth, std::uint32_t tom_us,
                                    const std::vector<Range19>& sats);

struct PhaseCorr20 {
    bool more = false;  // the multiple-message flag
    std::uint8_t sv = 1, quality = 0, loss = 0, iod = 0;
    std::int32_t correction = 0;  // 24-bit, units 1/256 cycle
    bool glonass = false;
};
std::vector<std::uint32_t> words_20(std::uint8_t freq, std::uint32_t tom_us, const std::vector<PhaseCorr20>& sats);

struct RangeCorr21 {
    bool rr_scale = false, p_code = false, pr_scale = false;
    std::uint8_t sv = 1, quality = 0, multipath = 0, iod = 0;
    std::int16_t prc = 0;  // units 0.02 m or 0.32 m
    std::int8_t rrc = 0;   // units 0.002 m/s or 0.032 m/s
    bool glonass = false;
};
std::vector<std::uint32_t> words_21(std::uint8_t freq, std::uint8_t smooth, std::uint32_t tom_us,
                                    const std::vector<RangeCorr21>& sats);

// Message 15: two satellites in three words.
struct Iono15 {
    bool glonass = false;
    std::uint8_t sv = 1;     // 0..31 (0 stands for 32)
    std::uint16_t delay = 0;  // 14 bits, units 0.001 m
    std::int16_t rate = 0;    // 14 bits, units 0.05 cm/min
};
std::vector<std::uint32_t> iono_words(const std::vector<Iono15>& sats);

// Message 17: the raw fields, each of its width in the message.
struct Ephemeris17 {
    std::uint16_t week = 0;                         // 10 bits
    std::int16_t idot = 0;                          // 14 bits, 2^-43 semicircle/s
    std::uint8_t iode = 0;
    std::uint16_t toc = 0;                          // 2^4 s
    std::int16_t af1 = 0;                           // 2^-43 s/s
    std::int8_t af2 = 0;                            // 2^-55 s/s^2
    std::int16_t crs = 0, delta_n = 0, cuc = 0;     // 2^-5 m, 2^-43 semicircle/s, 2^-29 rad
    std::uint32_t e = 0;                            // 2^-33
    std::int16_t cus = 0;                           // 2^-29 rad
    std::uint32_t sqrt_a = 0;                       // 2^-19 m^1/2
    std::uint16_t toe = 0;                          // 2^4 s
    std::int32_t omega0 = 0;                        // 2^-31 semicircle
    std::int16_t cic = 0;
    std::int32_t i0 = 0;
    std::int16_t cis = 0;
    std::int32_t omega = 0;
    std::int16_t crc = 0;
    std::int32_t omega_dot = 0;                     // 24 bits, 2^-43 semicircle/s
    std::int32_t m0 = 0;
    std::uint16_t iodc = 0;                         // 10 bits
    std::int32_t af0 = 0;                           // 22 bits, 2^-31 s
    std::uint8_t sv = 1;                            // 0..31 (0 stands for 32)
    std::int8_t tgd = 0;                            // 2^-31 s
    std::uint8_t l2_codes = 0, ura = 0, health = 0;  // 2, 4 and 6 bits
    bool l2p_data = false;
};
std::vector<std::uint32_t> ephemeris_words(const Ephemeris17& e);

}  // namespace tessaly::testing
