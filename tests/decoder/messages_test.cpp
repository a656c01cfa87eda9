// Messages 1, 2 and 9: blocks across word boundaries, scaling, problem
// marks, and what a failed word costs.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "more_types_text.h"
#include "frame_text.h"
#include "json_output.h"

using namespace tessaly;
using namespace tessaly::testing;
using nlohmann::json;

namespace {

rtcm_corrections_store& store_of(RtcmDecoder& d, int type) {
    return type == 1 ? d.stores.data_1 : type == 2 ? d.stores.data_2 : d.stores.data_9;
}

std::vector<CorrectionBlock> blocks(int count, std::int16_t range_base) {
    std::vector<CorrectionBlock> out;
    for (int i = 0; i < count; ++i)
        out.push_back({i % 2 == 1, std::uint8_t(i % 4), std::uint8_t(i + 1), std::int16_t(range_base - 37 * i),
                       std::int8_t(-5 * i - 1), std::uint8_t(200 + i)});
    return out;
}

void expect_record(const rtcm_sat_1_type* r, const CorrectionBlock& b, const char* what) {
    ASSERT_NE(r, nullptr) << what;
    EXPECT_EQ(std::tuple(r->scale, r->udre, r->iod), std::tuple(b.scale, b.udre, b.iod)) << what;
    EXPECT_DOUBLE_EQ(r->range_corr, b.range * (b.scale ? 0.32 : 0.02)) << what;
    EXPECT_FLOAT_EQ(r->rate_corr, float(b.rate * (b.scale ? 0.032 : 0.002))) << what;
}

}  // namespace

TEST(Corrections, SatelliteCountFollowsTheLengthForEveryType) {
    // {blocks, N, satellites}: N = 5k+2 ends on word B, 5k+4 on word D; 3
    // and 6 are malformed and leave their last block unfinished.
    const struct {
        int blocks, n, satellites;
    } cases[] = {{1, 2, 1}, {2, 4, 2}, {3, 5, 3}, {4, 7, 4}, {6, 10, 6}, {2, 3, 1}, {4, 6, 3}};
    for (int type : {1, 2, 9}) {
        for (const auto& c : cases) {
            Link l;
            auto words = correction_words(blocks(c.blocks, 1000));
            words.resize(std::size_t(c.n));
            l.send({.type = std::uint8_t(type), .zcount = 100, .data = words});
            l.send({.type = 6, .zcount = 101, .data = {0}});  // the stream stays in step
            const auto& s = store_of(l.d, type);
            const std::string what = "type " + std::to_string(type) + " N " + std::to_string(c.n);
            EXPECT_EQ(s.list.size(), std::size_t(c.satellites)) << what;
            const auto built = blocks(c.blocks, 1000);
            for (int i = 0; i < c.satellites; ++i)
                expect_record(find_sv(s.list, i + 1), built[std::size_t(i)], what.c_str());
            EXPECT_EQ(l.d.frames_completed, 2u) << what;
        }
    }
}

TEST(Corrections, FieldPatternsInEveryBlockPosition) {
    const struct {
        const char* name;
        CorrectionBlock block;
        int sv;
        double range;
        float rate;
        bool range_problem, rate_problem;
    } cases[] = {
        {"id 0 is satellite 32", {false, 3, 0, 1, 1, 9}, 32, 0.02, 0.002f, false, false},
        {"7FFF coarse", {true, 0, 4, 0x7FFF, 0x7F, 1}, 4, 10485.44, 4.064f, false, false},
        {"FFFF fine", {false, 0, 4, -1, -1, 1}, 4, -0.02, -0.002f, false, false},
        {"FF00 is -256", {false, 1, 4, -256, 0, 1}, 4, -5.12, 0.0f, false, false},
        {"8000 and 80 are problems", {false, 2, 4, -32768, -128, 1}, 4, -655.36, -0.256f, true, true},
        {"8000 coarse", {true, 2, 4, -32768, 0, 1}, 4, -10485.76, 0.0f, true, false},
    };
    for (const auto& c : cases) {
        for (int pos = 0; pos < 3; ++pos) {  // block 1 (words A, B), 2 (B, C, D), 3 (D, E)
            for (int type : {1, 9}) {
                std::vector<CorrectionBlock> b{{false, 0, 10, 0, 0, 0}, {false, 0, 11, 0, 0, 0}, {false, 0, 12, 0, 0, 0}};
                b[std::size_t(pos)] = c.block;
                Link l;
                l.send({.type = std::uint8_t(type), .zcount = 10, .data = correction_words(b)});
                const auto* r = find_sv(store_of(l.d, type).list, c.sv);
                const std::string what = std::string(c.name) + " block " + std::to_string(pos + 1) + " type " + std::to_string(type);
                ASSERT_NE(r, nullptr) << what;
                EXPECT_EQ(r->udre, c.block.udre) << what;
                EXPECT_DOUBLE_EQ(r->range_corr, c.range) << what;
                EXPECT_FLOAT_EQ(r->rate_corr, c.rate) << what;
                // Message 9 carries no problem marks.
                EXPECT_EQ(std::tuple(r->range_problem, r->rate_problem),
                          std::tuple(type == 1 && c.range_problem, type == 1 && c.rate_problem)) << what;
            }
        }
    }
}

TEST(Corrections, AFailedWordCostsExactlyItsSatellites) {
    const struct {
        const char* word;
        int index;
        std::vector<int> lost;
    } cases[] = {{"A", 2, {1}}, {"B", 3, {1, 2}}, {"C", 4, {2}}, {"D", 5, {2, 3}}, {"E", 6, {3}}};
    for (const auto& c : cases) {
        Link l;
        const auto older = blocks(3, 500), newer = blocks(3, -900);
        l.send({.type = 2, .zcount = 100, .data = correction_words(older)});
        l.send({.type = 2, .zcount = 110, .data = correction_words(newer), .corrupt = {c.index}});
        const auto& s = l.d.stores.data_2;
        std::vector<int> kept;
        for (int sv = 1; sv <= 3; ++sv) {
            const bool lost = std::find(c.lost.begin(), c.lost.end(), sv) != c.lost.end();
            if (!lost) kept.push_back(sv);
            // A lost satellite keeps its older record, a kept one shows the new values.
            expect_record(find_sv(s.list, sv), (lost ? older : newer)[std::size_t(sv - 1)], c.word);
        }
        EXPECT_EQ(svs_of(s.list), (std::vector<int>{1, 2, 3})) << c.word;
        EXPECT_EQ(l.delivered(), kept) << c.word;
    }
}

TEST(Corrections, ListAgesWithTheFrameTime) {
    Link l;
    l.send({.type = 1, .zcount = 100, .data = correction_words(blocks(3, 10))});
    // The second frame of a multiple-message set repeats the Z-count.
    auto later = blocks(5, 20);
    later.erase(later.begin(), later.begin() + 3);  // satellites 4, 5
    l.send({.type = 1, .zcount = 100, .data = correction_words(later)});
    EXPECT_EQ(svs_of(l.d.stores.data_1.list), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(l.delivered(), (std::vector<int>{4, 5}));
    // 60 s later nothing is stale yet; 60.6 s after that 1..3 are.
    l.send({.type = 1, .zcount = 200, .data = correction_words({later[0]})});
    EXPECT_EQ(l.d.stores.data_1.list.size(), 5u);
    l.send({.type = 1, .zcount = 201, .data = correction_words({later[1]})});
    EXPECT_EQ(svs_of(l.d.stores.data_1.list), (std::vector<int>{4, 5}));
    EXPECT_DOUBLE_EQ(l.d.stores.data_1.time, 36000 + 201 * 0.6);
}

TEST(Corrections, GlonassCorrectionsAreTheLatestOtherFrame) {
    // The other-type page shows 31 and 34 by their raw characters; without
    // them it went on showing an older frame as the latest.
    for (int type : {31, 34}) {
        Link l;
        l.send({.type = 7, .zcount = 99, .data = {0, 0, 0}});
        l.send({.type = std::uint8_t(type), .zcount = 100, .data = correction_words(blocks(2, 1000))});
        EXPECT_EQ(int(l.d.stores.data_other.msg_type), type);
        EXPECT_EQ(l.d.stores.data_other.raw.size(), 4u * 5u) << type;
    }
}

// Message 3 (station coordinates) and message 16 (text).
TEST(Station, CoordinatesAndTheirLastChange) {
    Link l;
    const auto& s = l.d.stores.data_3;
    // X = -1 and the others come back as the previous coordinates below.
    l.send({.type = 3, .zcount = 10, .data = station_words(-1, 66378276, -503069032)});
    EXPECT_EQ(std::tuple(s.prev_x, s.frame_length, s.time_received, s.date_changed), std::tuple(0, 6, 36006.0, "06.12.2026"));
    const double first_change = s.time_changed;
    EXPECT_DOUBLE_EQ(first_change, day_number(l.clock.now_utc()));
    EXPECT_TRUE(l.d.delivery.station_stored);
    // The same coordinates a day later: only the time of receipt moves.
    l.clock.set({2026, 12, 7, 10, 20, 0, 0});
    l.send({.type = 3, .zcount = 20, .data = station_words(-1, 66378276, -503069032)});
    EXPECT_EQ(std::tuple(s.time_received, s.time_changed, s.date_changed), std::tuple(36012.0, first_change, "06.12.2026"));
    // A failed third word: nothing changes.
    l.send({.type = 3, .zcount = 30, .data = station_words(5, 6, 7), .corrupt = {4}});
    EXPECT_EQ(std::tuple(s.x, s.time_received), std::tuple(-1, 36012.0));
    EXPECT_FALSE(l.d.delivery.station_stored || l.d.stores.frame_error_3);
    l.send({.type = 3, .zcount = 40, .data = station_words(5, 6, 7)});
    EXPECT_EQ((std::vector<int>{s.prev_x, s.prev_y, s.prev_z, s.x, s.y, s.z}),
              (std::vector<int>{-1, 66378276, -503069032, 5, 6, 7}));
    EXPECT_EQ(s.date_changed, "07.12.2026");
    EXPECT_EQ(l.d.frames_completed, 4u);
}

TEST(Station, AlwaysFourDataWordsWhateverTheLength) {
    // N = 5 declared: the fifth data word is read as header word 1.
    Link l;
    auto words = station_words(1, 2, 3);
    words.push_back(0x123456);
    l.send({.type = 3, .zcount = 10, .data = words});
    EXPECT_EQ(std::tuple(l.d.stores.data_3.z, l.d.stores.data_3.frame_length, l.d.frames_completed, l.d.sync_losses),
              std::tuple(3, 7, 1u, 1u));
    // N = 2 declared: the frame takes the next two words as its own.
    Link m;
    m.send({.type = 3, .zcount = 10, .data = station_words(8, 9, 10), .length = 2});
    EXPECT_EQ(std::tuple(m.d.stores.data_3.z, m.d.frames_completed), std::tuple(10, 1u));
    m.send({.type = 16, .zcount = 11, .data = text_words("OK")});
    EXPECT_EQ(m.d.stores.data_16.text, std::string("OK\0", 3));
}

TEST(Text, NullsAreKeptAndAFailedWordLosesItsCharacters) {
    Link l;
    l.send({.type = 16, .zcount = 10, .data = text_words("SAPOS_E")});
    EXPECT_EQ(l.d.stores.data_16.text, std::string("SAPOS_E\0\0", 9));
    l.send({.type = 16, .zcount = 11, .data = text_words("abcdefghi"), .corrupt = {3}});
    EXPECT_EQ(l.d.stores.data_16.text, "abcghi");
    l.send({.type = 16, .zcount = 12, .data = {}});  // N = 0 leaves the text alone
    EXPECT_EQ(l.d.stores.data_16.text, "abcghi");
    EXPECT_DOUBLE_EQ(l.d.stores.data_16.time, 36000 + 11 * 0.6);
}

// Message 14's line on the other-type page, and its warning when the hour
// of the week disagrees with the hour the frame time came from (the clock).
TEST(StationText, GpsTimeLineWarnsWhenTheClockHourDisagrees) {
    Link l;  // clock at 10:20
    auto week_hour_leap = [](std::uint32_t hour) { return std::vector<std::uint32_t>{(601u << 14) | (hour << 6) | 18u}; };
    l.send({.type = 14, .zcount = 100, .data = week_hour_leap(24 * 3 + 10)});
    EXPECT_EQ(more_type_line(l.d), "GPS week 601 hour 82 leap seconds 18");
    l.send({.type = 14, .zcount = 100, .data = week_hour_leap(109)});
    EXPECT_EQ(more_type_line(l.d),
              "GPS week 601 hour 109 leap seconds 18 - hour 13 of the day, the clock gives 10: check the computer's clock");
}

// Messages 18 to 21: per-frequency lists and their ageing, parity failures,
// GLONASS apart from GPS. Scales, signs, every error bound and the bits no
// field uses are in the golden files of the recording tests.
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

// The first bit of word A is the multiple-message flag in 18 to 21: it is
// kept, and no unit follows it. The phase of 18 (32 bits) and the correction
// of 20 (24 bits) count 1/256 cycle; in 21 the one scale bit (bit 9) sets the
// units of both corrections, as in type 1.
TEST(Measurements, UnitsDoNotFollowTheMultipleMessageFlag) {
    const struct {
        std::uint8_t type;
        bool more, scale;  // scale: 21 only
        std::int32_t count;
        double value;    // phase, pseudorange, phase correction, RRC
        double prc = 0;  // 21: from a count of -1
    } cases[] = {{18, true, false, 158032, 617.3125},        {18, false, false, 158032, 617.3125},
                 {18, true, false, INT32_MIN, -8388608.0},   {18, true, false, -1, -0.00390625},
                 {19, true, false, 1024, 20.48},             {19, false, false, 1024, 20.48},
                 {20, true, false, -384, -1.5},              {20, false, false, -384, -1.5},
                 {20, false, false, 0x7FFFFF, 32767.99609375}, {20, true, false, -0x800000, -32768.0},
                 {21, true, false, -128, -0.256, -0.02},     {21, false, false, -128, -0.256, -0.02},
                 {21, true, true, 64, 2.048, -0.32},         {21, false, true, -128, -4.096, -0.32}};
    for (const auto& c : cases) {
        const std::uint8_t sv = 5;
        std::vector<std::uint32_t> data;
        switch (c.type) {
            case 18: data = words_18(0, 0, {{.more = c.more, .sv = sv, .phase = c.count}}); break;
            case 19: data = words_19(0, 0, 0, {{.sv = sv, .pseudorange = c.count, .more = c.more}}); break;
            case 20: data = words_20(0, 0, {{.more = c.more, .sv = sv, .correction = c.count}}); break;
            default:
                data = words_21(0, 0, 0, {{.more = c.more, .scale = c.scale, .sv = sv, .prc = -1, .rrc = std::int8_t(c.count)}});
        }
        Link l;
        l.send({.type = c.type, .zcount = 100, .data = data});
        using Got = std::tuple<bool, double, double>;
        Got got{!c.more, -1, -1};  // kept when the satellite is not stored
        const auto& st = l.d.stores;
        switch (c.type) {
            case 18: if (auto* r = st.data_18.sat_list[0].find(sv)) got = {r->more, r->phase, 0}; break;
            case 19: if (auto* r = st.data_19.sat_list[0].find(sv)) got = {r->more, r->pseudorange, 0}; break;
            case 20: if (auto* r = st.data_20.sat_list[0].find(sv)) got = {r->more, r->phase_corr, 0}; break;
            default: if (auto* r = st.data_21.sat_list[0].find(sv)) got = {r->more, r->rrc, r->prc};
        }
        EXPECT_EQ(got, Got(c.more, c.value, c.prc)) << int(c.type) << " " << c.count << " scale " << c.scale;
    }
}

// Types 15, 27 and 36, which no peer decodes: the encoder's field values come
// back exactly through the JSON members and the line of the other-type page;
// a frame with a failed word or too short for its layout gives no members.
// Type 17 is checked against RTKLIB in peers_test.cpp.
namespace {

// A beacon of 27: the fields of 7, then 72 bits of its own.
void put_beacon(BitPacker& p, std::uint16_t lat, std::uint16_t lon, std::uint32_t range, std::uint32_t freq,
                std::uint32_t health, std::uint32_t id, std::uint32_t rate, std::uint32_t flags, std::uint32_t ext) {
    p.put(lat, 16).put(lon, 16).put(range, 10).put(freq, 12).put(health, 2).put(id, 10).put(rate, 3).put(flags, 3);
    p.put(ext, 24).put(~ext & 0xFFFFFFu, 24).put(0x00FF00, 24);
}

std::vector<std::uint32_t> beacons_27() {
    BitPacker p;
    put_beacon(p, 0x7FFF, 0x8001, 1023, 4095, 3, 1023, 7, 7, 0xABCDEF);
    put_beacon(p, 0x4000, 0x2000, 300, 1200, 0, 513, 3, 0, 0x000001);
    return p.words();
}

}  // namespace

TEST(MoreTypes, FieldsComeBackExactly) {
    const struct {
        const char* name;
        std::uint8_t type;
        std::vector<std::uint32_t> data;
        const char* members;  // expected JSON members
        const char* line;     // expected line of the other-type page
    } cases[] = {
        {"15 at the limits", 15,
         iono_words({{.sv = 5, .delay = 16383, .rate = -8192}, {.glonass = true, .sv = 0, .delay = 1, .rate = 8191},
                     {.sv = 31, .delay = 1234, .rate = -1}}),
         R"({"satellites":[{"ident":5,"g":0,"delay":16.383,"rate":-409.6},{"ident":32,"g":1,"delay":0.001,"rate":409.55},
             {"ident":31,"g":0,"delay":1.234,"rate":-0.05}]})",
         "ionospheric delay: G5 16.383 m -409.60 cm/min; R32 0.001 m 409.55 cm/min; G31 1.234 m -0.05 cm/min;"},
        {"27, two beacons", 27, beacons_27(),
         R"({"satellites":[{"lat":90,"lon":-180,"range":1023,"frequency":599.5,"health":3,"station_id":1023,"bitrate":300,
             "ext":"abcdef54321000ff00"},{"lat":45.0014,"lon":45.0014,"range":300,"frequency":310,"health":0,
             "station_id":513,"bitrate":110,"ext":"000001fffffe00ff00"}]})",
         "beacons: 1023 599.5 kHz 90.0000 -180.0000; 513 310.0 kHz 45.0014 45.0014;"},
        {"36, text as sent", 36, text_words("GLONASS \xC7\xCC\"\\!"),
         R"({"message":"GLONASS \u00c7\u00cc\"\\!\u0000\u0000"})", "GLONASS message: GLONASS \xC7\xCC\"\\!"},
    };
    for (const auto& c : cases) {
        Link l;
        l.send({.type = c.type, .zcount = 100, .data = c.data});
        const json got = json::parse(cli::frame_json(l.d)), want = json::parse(c.members);
        for (const auto& [key, value] : want.items()) EXPECT_EQ(got[key], value) << c.name << " " << key;
        EXPECT_EQ(more_type_line(l.d), c.line) << c.name;
        // The same frame with a failed word, then cut short: no members, and
        // the record keeps the whole frame's values.
        l.send({.type = c.type, .zcount = 101, .data = c.data, .corrupt = {3}});
        EXPECT_FALSE(json::parse(cli::frame_json(l.d)).contains(want.begin().key())) << c.name;
        l.send({.type = c.type, .zcount = 102, .data = {c.data.begin(), c.data.begin() + 1}});
        const bool short_decodes = c.type == 36;  // a word of text is a whole text
        EXPECT_EQ(json::parse(cli::frame_json(l.d)).contains(want.begin().key()), short_decodes) << c.name;
    }
}

TEST(MoreTypes, EphemerisNeedsItsTwentyWords) {
    Link l;
    auto words = ephemeris_words({.week = 5, .sv = 0, .health = 63});
    l.send({.type = 17, .zcount = 100, .data = words});
    EXPECT_EQ(more_type_line(l.d), "ephemeris G32 week 5 IODE 0 toe 0 s health 63 URA index 0");
    words.pop_back();
    l.send({.type = 17, .zcount = 101, .data = words});
    EXPECT_FALSE(json::parse(cli::frame_json(l.d)).contains("ident"));
    EXPECT_EQ(l.d.stores.more.data_17.time, 36060.0);  // the whole frame's
}

// `tessaly-decode --format json`: numbers at the precision the stream
// carries, strings escaped; every type is in the golden file of the
// recording tests.
TEST(Json, NumbersAndStrings) {
    const struct {
        double v;
        int decimals;
        const char* text;
    } cases[] = {{100 * 0.02, 2, "2"},      {35 * 0.02, 2, "0.7"},        {-1 * 0.02, 2, "-0.02"},
                 {32767 * 0.32, 2, "10485.44"}, {-0.0001, 2, "0"},        {double(-0.02f), 3, "-0.02"},
                 {-1 / 256.0, 8, "-0.00390625"}, {36060.9, 6, "36060.9"}, {1641.0000000000002, 1, "1641"}};
    for (const auto& c : cases) EXPECT_EQ(cli::json_number(c.v, c.decimals), c.text) << c.v;
    EXPECT_EQ(cli::json_string(std::string("a\"b\\c\x01\x7f\xe9\0", 9)), R"("a\"b\\c\u0001\u007f\u00e9\u0000")");
}
