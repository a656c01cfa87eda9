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

}  // namespace tessaly::testing
