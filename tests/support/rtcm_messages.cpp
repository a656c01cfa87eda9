#include "rtcm_messages.h"

namespace tessaly::testing {

BitPacker& BitPacker::put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bits_.push_back((value >> i) & 1u);
    return *this;
}

std::vector<std::uint32_t> BitPacker::words() const {
    std::vector<std::uint32_t> out;
    std::uint32_t w = 0;
    int n = 0;
    for (bool b : bits_) {
        w = (w << 1) | std::uint32_t(b);
        if (++n == 24) out.push_back(w), w = 0, n = 0;
    }
    if (n > 0) {
        for (int i = n; i < 24; ++i) w = (w << 1) | std::uint32_t((i - n) % 2 == 0);
        out.push_back(w);
    }
    return out;
}

std::vector<std::uint32_t> correction_words(const std::vector<CorrectionBlock>& blocks) {
    BitPacker p;
    for (const auto& b : blocks) {
        p.put(b.scale, 1).put(b.udre, 2).put(b.id, 5);
        p.put(std::uint16_t(b.range), 16).put(std::uint8_t(b.rate), 8).put(b.iod, 8);
    }
    return p.words();
}

std::vector<std::uint32_t> station_words(std::int32_t x, std::int32_t y, std::int32_t z) {
    BitPacker p;
    p.put(std::uint32_t(x), 32).put(std::uint32_t(y), 32).put(std::uint32_t(z), 32);
    return p.words();
}

std::vector<std::uint32_t> text_words(const std::string& text) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        std::uint32_t w = 0;
        for (std::size_t j = 0; j < 3; ++j)
            w = (w << 8) | (i + j < text.size() ? std::uint8_t(text[i + j]) : 0u);
        out.push_back(w);
    }
    return out;
}

std::uint32_t measurement_head(std::uint8_t freq, std::uint8_t smooth_bits, std::uint32_t tom_us) {
    return (std::uint32_t(freq & 3u) << 22) | (std::uint32_t(smooth_bits & 3u) << 20) | (tom_us & 0xFFFFFu);
}

namespace {
// The first data word, then each satellite's fields packed by `pack`.
template <class Sat, class Pack>
std::vector<std::uint32_t> measurement_words(std::uint32_t head, const std::vector<Sat>& sats, Pack pack) {
    std::vector<std::uint32_t> out{head};
    for (const auto& s : sats) {
        BitPacker p;
        pack(p, s);
        for (auto w : p.words()) out.push_back(w);
    }
    return out;
}
}  // namespace

std::vector<std::uint32_t> words_18(std::uint8_t freq, std::uint32_t tom_us, const std::vector<Phase18>& sats) {
    return measurement_words(measurement_head(freq, 0, tom_us), sats, [](BitPacker& p, const Phase18& s) {
        const auto ph = std::uint32_t(s.phase);
        p.put(s.more, 1).put(s.p_code, 1).put(s.glonass, 1).put(s.sv, 5).put(s.quality, 3).put(s.loss, 5);
        p.put(ph >> 24, 8).put(ph & 0xFFFFFFu, 24);
    });
}

std::vector<std::uint32_t> words_19(std::uint8_t freq, std::uint8_t smooth, std::uint32_t tom_us,
                                    const std::vector<Range19>& sats) {
    return measurement_words(measurement_head(freq, smooth, tom_us), sats, [](BitPacker& p, const Range19& s) {
        const auto pr = std::uint32_t(s.pseudorange);
        p.put(0, 1).put(s.p_code, 1).put(s.glonass, 1).put(s.sv, 5).put(s.quality, 4).put(s.multipath, 4);
        p.put(pr >> 24, 8).put(pr & 0xFFFFFFu, 24);
    });
}

std::vector<std::uint32_t> words_20(std::uint8_t freq, std::uint32_t tom_us, const std::vector<PhaseCorr20>& sats) {
    return measurement_words(measurement_head(freq, 0, tom_us), sats, [](BitPacker& p, const PhaseCorr20& s) {
        p.put(s.more, 1).put(0, 1).put(s.glonass, 1).put(s.sv, 5).put(s.quality, 3).put(s.loss, 5).put(s.iod, 8);
        p.put(std::uint32_t(s.correction) & 0xFFFFFFu, 24);
    });
}

std::vector<std::uint32_t> words_21(std::uint8_t freq, std::uint8_t smooth, std::uint32_t tom_us,
                                    const std::vector<RangeCorr21>& sats) {
    return measurement_words(measurement_head(freq, smooth, tom_us), sats, [](BitPacker& p, const RangeCorr21& s) {
        p.put(s.rr_scale, 1).put(s.p_code, 1).put(s.glonass, 1).put(s.sv, 5).put(s.pr_scale, 1);
        p.put(s.quality, 3).put(s.multipath, 4).put(s.iod, 8);
        p.put(std::uint16_t(s.prc), 16).put(std::uint8_t(s.rrc), 8);
    });
}

std::vector<std::uint32_t> iono_words(const std::vector<Iono15>& sats) {
    BitPacker p;
    for (const auto& s : sats)
        p.put(s.glonass, 1).put(s.sv, 5).put(s.delay, 14).put(std::uint32_t(s.rate) & 0x3FFFu, 14).put(0, 2);
    return p.words();
}

std::vector<std::uint32_t> ephemeris_words(const Ephemeris17& e) {
    auto bits = [](std::int64_t v, int n) { return std::uint32_t(v) & (n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u); };
    BitPacker p;
    p.put(e.week, 10).put(bits(e.idot, 14), 14).put(e.iode, 8).put(e.toc, 16).put(bits(e.af1, 16), 16);
    p.put(bits(e.af2, 8), 8).put(bits(e.crs, 16), 16).put(bits(e.delta_n, 16), 16).put(bits(e.cuc, 16), 16);
    p.put(e.e, 32).put(bits(e.cus, 16), 16).put(e.sqrt_a, 32).put(e.toe, 16).put(bits(e.omega0, 32), 32);
    p.put(bits(e.cic, 16), 16).put(bits(e.i0, 32), 32).put(bits(e.cis, 16), 16).put(bits(e.omega, 32), 32);
    p.put(bits(e.crc, 16), 16).put(bits(e.omega_dot, 24), 24).put(bits(e.m0, 32), 32).put(e.iodc, 10);
    p.put(bits(e.af0, 22), 22).put(e.sv, 5).put(0, 3).put(bits(e.tgd, 8), 8).put(e.l2_codes, 2).put(e.ura, 4);
    p.put(e.health, 6).put(e.l2p_data, 1);
    return p.words();  // 477 bits: the fill completes the twentieth word
}

}  // namespace tessaly::testing
