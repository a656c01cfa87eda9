// Messages 1, 2 and 9: blocks across word boundaries, scaling, problem
// marks, and what a failed word costs.
#include <algorithm>

#include "decoder_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

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
