// Messages 18 to 21: per-frequency lists and their ageing, parity failures,
// GLONASS apart from GPS. Scales, signs, every error bound and the bits no
// field uses are in the golden files of the recording tests.

#include "decoder_test_util.h"
#include "frame_text.h"

using namespace tessaly;
using namespace tessaly::testing;

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
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{1, 2}));
    EXPECT_EQ(svs_of(s.sat_list[2]), (std::vector<int>{3}));
    // The second frame of a multiple-message set keeps the first's satellites.
    l.send({.type = 19, .zcount = 100, .data = words_19(0, 0, 900000, sats({4, 1}, 1000))});
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(l.delivered(), (std::vector<int>{4, 1}));
    EXPECT_DOUBLE_EQ(s.sat_list[0].begin()->pseudorange, 1001 * 0.02);
    // Age is judged from the frame time: 59.7 s after the entries' measurement
    // time they stay, though the new measurement time is 60.6 s later.
    l.send({.type = 19, .zcount = 201, .data = words_19(0, 0, 900000, sats({5}, 0))});
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{1, 2, 4, 5}));
    l.send({.type = 19, .zcount = 203, .data = words_19(0, 0, 0, sats({6}, 0))});
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{5, 6}));
    EXPECT_EQ(svs_of(s.sat_list[2]), (std::vector<int>{3}));  // other lists untouched
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
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{1, 2, 3}));
    const auto phase = [&](int sv) { return find_sv(s.sat_list[0], sv)->phase; };
    EXPECT_EQ(std::tuple(phase(1), phase(2), phase(3)), std::tuple(1.0, 2.0, 1.0));
    EXPECT_EQ(l.d.sync_losses, 0u);

    // A failed first data word abandons the frame and the synchronisation;
    // the next frame is found again.
    l.send({.type = 18, .zcount = 120, .data = words_18(2, 5, sats(768)), .corrupt = {2}});
    EXPECT_EQ(l.d.sync_losses, 1u);
    EXPECT_EQ(s.freq, 0);
    EXPECT_DOUBLE_EQ(s.meas_time, 36066.0);
    EXPECT_TRUE(s.sat_list[2].empty());
    l.send({.type = 18, .zcount = 130, .data = words_18(2, 5, sats(768))});
    EXPECT_EQ(svs_of(s.sat_list[2]), (std::vector<int>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(s.meas_time, 36078.000005);

    // N = 1 purges and stores nothing; a frame ending on a word A stores
    // nothing for it.
    l.send({.type = 18, .zcount = 300, .data = words_18(2, 0, {})});
    EXPECT_TRUE(s.sat_list[2].empty());
    auto odd = words_18(2, 0, sats(0));
    odd.pop_back();
    l.send({.type = 18, .zcount = 301, .data = odd});
    EXPECT_EQ(svs_of(s.sat_list[2]), (std::vector<int>{1, 2}));
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
    EXPECT_EQ(svs_of(s.sat_list[0]), (std::vector<int>{14, 14, 3}));
    EXPECT_EQ(l.delivered(), (std::vector<int>{14 | 0x40, 3 | 0x40}));
    EXPECT_DOUBLE_EQ(s.sat_list[0].find(14)->pseudorange, 20.0);
    EXPECT_DOUBLE_EQ(s.sat_list[0].find(sat_key(14, true))->pseudorange, 40.0);
    std::string text;
    append_frame_text(text, l.d);
    EXPECT_NE(text.find("\r\n14 |<= 0.020|"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n14R|<= 0.020|"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n 3R|<= 0.020|"), std::string::npos) << text;
}

// The first bit of word A is the multiple-message flag: it is kept, and the
// phase of 18 (32 bits) and the correction of 20 (24 bits) count 1/256 cycle
// whether it is set or not.
TEST(Measurements, PhasesAreIn256thsOfACycleWhateverTheMultipleMessageFlag) {
    const struct {
        std::uint8_t type;
        bool more;
        std::int32_t count;
        double cycles;
    } cases[] = {{18, true, 158032, 617.3125},  {18, false, 158032, 617.3125}, {18, true, INT32_MIN, -8388608.0},
                 {18, true, -1, -0.00390625},   {20, true, -384, -1.5},        {20, false, -384, -1.5},
                 {20, false, 0x7FFFFF, 32767.99609375}, {20, true, -0x800000, -32768.0}};
    for (const auto& c : cases) {
        Link l;
        if (c.type == 18) {
            l.send({.type = 18, .zcount = 100, .data = words_18(0, 0, {{.more = c.more, .sv = 5, .phase = c.count}})});
            const auto* r = l.d.stores.data_18.sat_list[0].find(5);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(std::pair(r->more, r->phase), std::pair(c.more, c.cycles)) << c.count;
        } else {
            l.send({.type = 20, .zcount = 100, .data = words_20(0, 0, {{.more = c.more, .sv = 5, .correction = c.count}})});
            const auto* r = l.d.stores.data_20.sat_list[0].find(5);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(std::pair(r->more, r->phase_corr), std::pair(c.more, c.cycles)) << c.count;
        }
    }
}
