// Messages 18 to 21: the first data word, word pairs, scales and signs,
// error bounds, per-frequency lists and their ageing.
#include <cmath>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "frame_text.h"
#include "rtcm_messages.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

double rounded(double v, int decimals) {
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

}  // namespace

TEST(Measurements, CarrierPhaseAndCorrectionScales) {
    // 18: a set wavelength bit selects 1/128 cycle; 20 pairs them the other way.
    const struct {
        const char* name;
        bool half_wave;
        std::int32_t raw;
        double phase18, corr20;
    } cases[] = {
        {"-1 half", true, -1, -1.0 / 128, -1.0 / 256},
        {"-1 full", false, -1, -1.0 / 256, -1.0 / 128},
        {"24-bit extremes", false, 0x7FFFFF, 0x7FFFFF / 256.0, 0x7FFFFF / 128.0},
    };
    for (const auto& c : cases) {
        Link l;
        l.send({.type = 18, .zcount = 10, .data = words_18(1, 0, {{c.half_wave, true, 0, 5, 31, c.raw}})});
        l.send({.type = 20, .zcount = 10, .data = words_20(3, 0, {{c.half_wave, 0, 6, 30, 77, c.raw}})});
        const auto* e18 = l.d.stores.data_18.sat_list[1].get();
        const auto* e20 = l.d.stores.data_20.sat_list[3].get();
        ASSERT_TRUE(e18 && e20) << c.name;
        EXPECT_EQ(std::tuple(e18->phase, e20->phase_corr), std::tuple(c.phase18, c.corr20)) << c.name;
        EXPECT_TRUE(e18->sv == 32 && e18->p_code && e18->loss == 31 && e18->half_wave == c.half_wave) << c.name;
        EXPECT_TRUE(e20->sv == 32 && e20->loss == 30 && e20->iod == 77 && e20->half_wave == c.half_wave) << c.name;
    }
    Link l;  // the 32-bit phase: top bit set is negative
    l.send({.type = 18, .zcount = 10, .data = words_18(0, 0, {{false, false, 1, 0, 0, INT32_MIN}})});
    EXPECT_DOUBLE_EQ(l.d.stores.data_18.sat_list[0]->phase, -8388608.0);
}

// The 32-bit pseudorange of 19 with its sign is in the JSON and golden tests.
TEST(Measurements, RangeCorrectionScaleBitsActIndependently) {
    // Both clear and both set are in the golden files.
    const struct {
        bool rr_scale, pr_scale;
        double prc, rrc, pr_err_q5;
    } cases[] = {{false, true, -0.32, -0.256, 3.626}, {true, false, -0.02, -4.096, 0.148}};
    for (const auto& c : cases) {
        Link m;
        m.send({.type = 21, .zcount = 10, .data = words_21(0, 1, 0, {{c.rr_scale, true, c.pr_scale, 4, 5, 15, 99, -1, -128}})});
        const auto* r = m.d.stores.data_21.sat_list[0].get();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(std::tuple(r->prc, r->rrc, rounded(r->pr_err, 3), rounded(r->mp_err, 3)),
                  std::tuple(c.prc, c.rrc, c.pr_err_q5, 40.343));
        EXPECT_TRUE(r->rr_scale == c.rr_scale && r->pr_scale == c.pr_scale && r->p_code && r->iod == 99);
    }
}

// Type 20 shares the phase table of 18, and 21 the multipath table of 19.
TEST(Measurements, ErrorBoundsAsTheTablesPrintThem) {
    const double phase_err[8] = {0.00391, 0.00696, 0.01239, 0.02208, 0.03933, 0.07006, 0.12480, 0.22230};
    const double pr_err[16] = {0.020, 0.030, 0.045, 0.066, 0.099, 0.148, 0.220, 0.329,
                               0.491, 0.732, 1.092, 1.629, 2.430, 3.625, 5.409, 8.069};
    const double mp_err[16] = {0.100, 0.149, 0.223, 0.332, 0.495, 0.739, 1.102, 1.644,
                               2.453, 3.660, 5.460, 8.145, 12.151, 18.127, 27.043, 40.343};
    const double pr_err_coarse[8] = {0.491, 0.732, 1.092, 1.629, 2.430, 3.626, 5.409, 8.069};
    std::vector<Phase18> p18;
    std::vector<Range19> p19[2];  // 16 pairs need two frames
    std::vector<RangeCorr21> p21;
    for (std::uint8_t q = 0; q < 16; ++q) {
        const auto sv = std::uint8_t(q + 1);
        if (q < 8) p18.push_back({false, false, sv, q, 0, 0}), p21.push_back({false, false, true, sv, q, q, 0, 0, 0});
        p19[q / 8].push_back({false, sv, q, std::uint8_t(15 - q), 0});
    }
    Link l;
    l.send({.type = 18, .zcount = 10, .data = words_18(0, 0, p18)});
    l.send({.type = 19, .zcount = 10, .data = words_19(0, 0, 0, p19[0])});
    l.send({.type = 19, .zcount = 10, .data = words_19(0, 0, 0, p19[1])});
    l.send({.type = 21, .zcount = 10, .data = words_21(0, 0, 0, p21)});
    const auto& st = l.d.stores;
    for (int q = 0; q < 16; ++q) {
        const int sv = q + 1;
        if (q < 8) {
            EXPECT_DOUBLE_EQ(rounded(find_sv(st.data_18.sat_list[0].get(), sv)->phase_err, 5), phase_err[q]) << q;
            EXPECT_DOUBLE_EQ(rounded(find_sv(st.data_21.sat_list[0].get(), sv)->pr_err, 3), pr_err_coarse[q]) << q;
        }
        const auto* e19 = find_sv(st.data_19.sat_list[0].get(), sv);
        ASSERT_NE(e19, nullptr) << q;
        EXPECT_DOUBLE_EQ(rounded(e19->pr_err, 3), pr_err[q]) << q;
        EXPECT_DOUBLE_EQ(rounded(e19->mp_err, 3), mp_err[15 - q]) << q;
    }
}

TEST(Measurements, UnusedBitsAreIgnored) {
    // 18 and 20: data bits 3-4 of the first data word; 18, 19, 21: bit 3 of
    // word A; 20: bits 2-3; 19: bit 1.
    const std::uint32_t head_bits = 0x300000, bit1 = 0x800000, bit2 = 0x400000, bit3 = 0x200000;
    auto w18 = words_18(2, 7, {{false, false, 3, 1, 2, 300}});
    auto w19 = words_19(2, 0, 7, {{false, 3, 1, 2, 300}});
    auto w20 = words_20(2, 7, {{false, 3, 1, 2, 4, 300}});
    auto w21 = words_21(2, 0, 7, {{false, false, false, 3, 1, 2, 4, 30, 3}});
    w18[0] |= head_bits, w20[0] |= head_bits;
    w18[1] |= bit3, w19[1] |= bit1 | bit3, w20[1] |= bit2 | bit3, w21[1] |= bit3;
    Link l;
    l.send({.type = 18, .zcount = 10, .data = w18}).send({.type = 19, .zcount = 10, .data = w19});
    l.send({.type = 20, .zcount = 10, .data = w20}).send({.type = 21, .zcount = 10, .data = w21});
    const auto& st = l.d.stores;
    EXPECT_EQ(st.data_18.freq, 2);
    EXPECT_EQ(std::tuple(st.data_18.sat_list[2]->phase, st.data_19.sat_list[2]->pseudorange,
                         st.data_20.sat_list[2]->phase_corr, st.data_21.sat_list[2]->prc),
              std::tuple(300 / 256.0, 6.0, 300 / 128.0, 0.6));
    EXPECT_FALSE(st.data_18.sat_list[2]->p_code || st.data_19.sat_list[2]->p_code || st.data_21.sat_list[2]->p_code);
    EXPECT_EQ(st.data_20.sat_list[2]->sv, 3);
    EXPECT_DOUBLE_EQ(st.data_20.meas_time, 36006.000007);
}

TEST(Measurements, FrequencyListsAndTheirAgeing) {
    Link l;
    const auto& s = l.d.stores.data_19;
    auto sats = [](std::initializer_list<int> svs, int pr) {
        std::vector<Range19> out;
        for (int sv : svs) out.push_back({false, std::uint8_t(sv), 0, 0, pr + sv});
        return out;
    };
    // L1 and L2 with the same Z-count keep two lists.
    l.send({.type = 19, .zcount = 100, .data = words_19(0, 0, 900000, sats({1, 2}, 0))});
    l.send({.type = 19, .zcount = 100, .data = words_19(2, 0, 900000, sats({3}, 0))});
    EXPECT_EQ(s.freq, 2);
    EXPECT_DOUBLE_EQ(s.meas_time, 36060.9);
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{1, 2}));
    EXPECT_EQ(svs_of(s.sat_list[2].get()), (std::vector<int>{3}));
    // The second frame of a multiple-message set keeps the first's satellites.
    l.send({.type = 19, .zcount = 100, .data = words_19(0, 0, 900000, sats({4, 1}, 1000))});
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(l.delivered(), (std::vector<int>{4, 1}));
    EXPECT_DOUBLE_EQ(s.sat_list[0]->pseudorange, 1001 * 0.02);
    // Age is judged from the frame time: 59.7 s after the entries' measurement
    // time they stay, though the new measurement time is 60.6 s later.
    l.send({.type = 19, .zcount = 201, .data = words_19(0, 0, 900000, sats({5}, 0))});
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{1, 2, 4, 5}));
    l.send({.type = 19, .zcount = 203, .data = words_19(0, 0, 0, sats({6}, 0))});
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{5, 6}));
    EXPECT_EQ(svs_of(s.sat_list[2].get()), (std::vector<int>{3}));  // other lists untouched
}

TEST(Measurements, ParityFailures) {
    Link l;
    const auto& s = l.d.stores.data_18;
    auto sats = [](int phase) {
        return std::vector<Phase18>{{false, false, 1, 0, 0, phase}, {false, false, 2, 0, 0, phase}, {false, false, 3, 0, 0, phase}};
    };
    l.send({.type = 18, .zcount = 100, .data = words_18(0, 0, sats(256))});
    // Words A of satellite 1 and B of satellite 3 fail: 2 alone is renewed.
    l.send({.type = 18, .zcount = 110, .data = words_18(0, 0, sats(512)), .corrupt = {3, 8}});
    EXPECT_EQ(l.delivered(), std::vector<int>{2});
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{1, 2, 3}));
    const auto phase = [&](int sv) { return find_sv(s.sat_list[0].get(), sv)->phase; };
    EXPECT_EQ(std::tuple(phase(1), phase(2), phase(3)), std::tuple(1.0, 2.0, 1.0));
    EXPECT_EQ(l.d.sync_losses, 0u);

    // A failed first data word abandons the frame and the synchronisation;
    // the next frame is found again.
    l.send({.type = 18, .zcount = 120, .data = words_18(2, 5, sats(768)), .corrupt = {2}});
    EXPECT_EQ(l.d.sync_losses, 1u);
    EXPECT_EQ(s.freq, 0);
    EXPECT_DOUBLE_EQ(s.meas_time, 36066.0);
    EXPECT_EQ(s.sat_list[2], nullptr);
    l.send({.type = 18, .zcount = 130, .data = words_18(2, 5, sats(768))});
    EXPECT_EQ(svs_of(s.sat_list[2].get()), (std::vector<int>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(s.meas_time, 36078.000005);

    // N = 1 purges and stores nothing; a frame ending on a word A stores
    // nothing for it.
    l.send({.type = 18, .zcount = 300, .data = words_18(2, 0, {})});
    EXPECT_EQ(s.sat_list[2], nullptr);
    auto odd = words_18(2, 0, sats(0));
    odd.pop_back();
    l.send({.type = 18, .zcount = 301, .data = odd});
    EXPECT_EQ(svs_of(s.sat_list[2].get()), (std::vector<int>{1, 2}));
    EXPECT_EQ(s.current, nullptr);
}

// GPS and GLONASS satellites share numbers: the GNSS bit of word A keeps
// them apart in the list, the delivery and the text block (a merge mixed two
// satellites' values into one record).
TEST(Measurements, GlonassSatellitesKeptApartFromGpsOfTheSameNumber) {
    Link l;
    const auto& s = l.d.stores.data_19;
    l.send({.type = 19, .zcount = 100, .data = words_19(0, 0, 0, {{.sv = 14, .pseudorange = 1000}})});
    l.send({.type = 19, .zcount = 100, .data = words_19(0, 0, 0, {{.sv = 14, .pseudorange = 2000, .glonass = true},
                                                                  {.sv = 3, .pseudorange = 3000, .glonass = true}})});
    EXPECT_EQ(svs_of(s.sat_list[0].get()), (std::vector<int>{14, 14, 3}));
    EXPECT_EQ(l.delivered(), (std::vector<int>{14 | 0x40, 3 | 0x40}));
    EXPECT_DOUBLE_EQ(find_record(s.sat_list[0].get(), 14)->pseudorange, 20.0);
    EXPECT_DOUBLE_EQ(find_record(s.sat_list[0].get(), sat_key(14, true))->pseudorange, 40.0);
    std::string text;
    append_frame_text(text, l.d);
    EXPECT_NE(text.find("\r\n14 |<= 0.020|"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n14R|<= 0.020|"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n 3R|<= 0.020|"), std::string::npos) << text;
}
