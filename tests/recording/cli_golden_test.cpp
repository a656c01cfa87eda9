// tessaly-decode --format text|code|json against golden files, compared whole.
// The stream carries every type with the values that reach the layout's
// edges; the golden files were checked line by line against the layouts.
// TESSALY_UPDATE_GOLDEN=1 rewrites them (check the difference by hand).
#include <gtest/gtest.h>

#include "golden.h"
#include "tool_test_util.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"

using namespace tessaly::testing;

namespace {

std::vector<std::uint8_t> golden_stream() {
    StreamEncoder s;  // the lead byte '@'
    std::uint8_t seq = 0;
    auto send = [&](std::uint8_t type, std::uint16_t zcount, std::vector<std::uint32_t> data, std::set<int> corrupt = {}) {
        s.frame({.type = type, .station = 42, .zcount = zcount, .sequence = seq, .data = std::move(data),
                 .corrupt = std::move(corrupt)});
        seq = std::uint8_t((seq + 1) & 7u);
    };
    // The clock reads 10:12; Z-count 1000 is 10:10:00.
    send(21, 1000, {});  // N = 0 before any type 21: no frequency, smoothing 255
    send(9, 1000, {});   // N = 0 before any type 9: no rows, no blank line
    send(1, 1000, correction_words({{.udre = 0, .id = 5, .range = -75, .rate = -10, .iod = 33},
                                    {.scale = true, .udre = 3, .id = 0, .range = 32767, .rate = 127, .iod = 255},
                                    {.udre = 2, .id = 17, .range = -32768, .rate = -128, .iod = 7}}));
    send(2, 1001, correction_words({{.udre = 1, .id = 9, .range = 1, .rate = 1, .iod = 1}}));
    send(3, 1002, station_words(-258937712, 467613298, 449877210));
    send(9, 1003, correction_words({{.udre = 1, .id = 12, .range = 250, .rate = -3, .iod = 90},
                                    {.scale = true, .udre = 2, .id = 31, .range = -2, .rate = 0, .iod = 91}}));
    send(16, 1004, text_words("GOLDEN TEXT 16"));
    std::vector<Phase18> fifteen;  // a code line longer than 160 characters
    for (std::uint8_t sv = 1; sv <= 15; ++sv)  // every phase error bound
        fifteen.push_back({.sv = sv, .quality = std::uint8_t(sv % 8), .loss = sv, .phase = sv * 2560});
    send(18, 1004, words_18(2, 0, fifteen));
    send(18, 1005, words_18(0, 123456, {{.more = true, .sv = 3, .quality = 7, .loss = 5, .phase = 158032},
                                        {.p_code = true, .sv = 12, .quality = 6, .loss = 31, .phase = -1},
                                        {.sv = 0, .quality = 0, .phase = 316064}, {.sv = 1, .phase = INT32_MIN}}));
    std::vector<Range19> ranges{{.sv = 7, .quality = 15, .multipath = 14, .pseudorange = INT32_MIN},
                                {.p_code = true, .sv = 8, .quality = 0, .multipath = 15, .pseudorange = 1000000000},
                                {.sv = 8, .quality = 14, .multipath = 0, .pseudorange = 1, .glonass = true}};
    for (std::uint8_t q = 1; q <= 12; ++q) ranges.push_back({.sv = std::uint8_t(q + 12), .quality = q, .multipath = q});
    send(19, 1006, words_19(2, 1, 500000, ranges));  // with the next, every error bound
    send(19, 1006, words_19(2, 1, 500000, {{.sv = 30, .quality = 13, .multipath = 13, .pseudorange = 5}}));
    send(20, 1007, words_20(1, 999999, {{.more = true, .sv = 10, .quality = 7, .loss = 3, .iod = 200, .correction = -384},
                                        {.sv = 11, .quality = 6, .loss = 31, .iod = 0, .correction = 256},
                                        {.sv = 0, .correction = 0x7FFFFF}}));
    std::vector<RangeCorr21> corrections{{.sv = 4, .quality = 0, .multipath = 7, .iod = 17, .prc = -1, .rrc = -128},
                                         {.rr_scale = true, .p_code = true, .pr_scale = true, .sv = 5, .quality = 7,
                                          .multipath = 14, .iod = 255, .prc = 32767, .rrc = 127},
                                         {.sv = 6, .quality = 7, .multipath = 15},
                                         {.rr_scale = true, .sv = 7, .quality = 5, .prc = -1, .rrc = -128},  // scales apart
                                         {.pr_scale = true, .sv = 8, .quality = 5, .prc = -1, .rrc = -128}};
    for (std::uint8_t q = 0; q < 7; ++q) corrections.push_back({.pr_scale = true, .sv = std::uint8_t(q + 20), .quality = q});
    send(21, 1008, words_21(2, 2, 0, corrections));
    // Bits no field uses, set: bits 3-4 of the first data word of 18 and 20,
    // bit 1 of word A of 19, bit 2 of 20's; nothing may change.
    auto w18 = words_18(2, 7, {{.sv = 3, .quality = 1, .loss = 2, .phase = 300}});
    auto w19 = words_19(2, 0, 7, {{.sv = 3, .quality = 1, .multipath = 2, .pseudorange = 300}});
    auto w20 = words_20(2, 7, {{.sv = 3, .quality = 1, .loss = 2, .iod = 4, .correction = 300}});
    w18[0] |= 0x300000, w20[0] |= 0x300000, w19[1] |= 0x800000, w20[1] |= 0x400000;
    send(18, 1008, w18), send(19, 1008, w19), send(20, 1008, w20);
    send(6, 1009, {0x123456});
    s.word(header_word_1(1, 42), true);  // a header word 1 that fails parity
    send(17, 1010, {0x111111, 0x222222});
    send(1, 1010, {}, {1});                            // a header word 2 that fails parity
    send(17, 1010, {0x333333});
    send(22, 5000, {0xABCDEF});                        // 09:50:00, the previous hour
    send(1, 1011, correction_words({{.id = 5, .range = 100, .rate = -10, .iod = 34}}));  // back in hour 10
    send(18, 1012, words_18(2, 0, {{.sv = 3}}), {2});  // fails at its first data word
    send(3, 1013, station_words(-258937712, 467613298, 449877210));
    // The whole-frame types and GLONASS corrections, fields at their limits;
    // the text and code layouts of these types are those of every other type.
    auto bits = [](std::initializer_list<std::pair<std::uint32_t, int>> fields, const std::string& text = "") {
        BitPacker p;
        for (auto [v, n] : fields) p.put(v, n);
        for (char c : text) p.put(std::uint8_t(c), 8);
        return p.words();
    };
    send(4, 1014, bits({{1, 3}, {1, 1}, {0, 4}, {'W', 8}, {'8', 8}, {'4', 8}, {0, 8}, {'Z', 8},
                        {0x8000, 16}, {0x7FFF, 16}, {0xFFFF, 16}}));
    send(5, 1014, bits({{0, 1}, {0, 5}, {1, 1}, {7, 3}, {31, 5}, {1, 1}, {1, 1}, {1, 1}, {15, 4}, {0, 2},
                        {0, 1}, {1, 5}, {0, 18}}));
    send(7, 1014, bits({{0x7FFF, 16}, {0x8000, 16}, {1023, 10}, {4095, 12}, {3, 2}, {1023, 10}, {7, 3}, {7, 3}}));
    send(13, 1014, bits({{1, 1}, {1, 1}, {0, 6}, {0x8000, 16}, {0x7FFF, 16}, {255, 8}}));
    send(14, 1014, bits({{1023, 10}, {167, 8}, {63, 6}}));
    send(22, 1015, bits({{0x80, 8}, {0x7F, 8}, {0, 8}, {0, 2}, {1, 1}, {0, 3}, {262143, 18}, {0x80, 8}, {0x7F, 8}, {1, 8}}));
    send(23, 1015, bits({{0, 1}, {1, 1}, {1, 1}, {31, 5}}, std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234") + "\xff\x05SN123"));
    // 24: X -2^37, Y 2^37 - 1, Z -1 in 38 bits each; GS and AH set, the
    // largest height.
    send(24, 1015, bits({{0x20, 6}, {0, 32}, {0, 2}, {0x1F, 6}, {0xFFFFFFFF, 32}, {0, 2}, {0x3F, 6}, {0xFFFFFFFF, 32},
                         {1, 1}, {1, 1}, {262143, 18}, {0, 6}}));
    send(31, 1016, correction_words({{.scale = true, .udre = 3, .id = 24, .range = -32768, .rate = 127, .iod = 255},
                                     {.udre = 0, .id = 1, .range = 32767, .rate = -128, .iod = 0}}));
    send(32, 1016, station_words(INT32_MIN, INT32_MAX, 0));
    send(34, 1016, correction_words({{.udre = 1, .id = 0, .range = 1, .rate = -1, .iod = 128}}));
    send(59, 1016, {0xFFFFFF, 0x000001});
    // 15, 17, 27 and 36, decoded from the whole frame as well.
    send(15, 1017, iono_words({{.sv = 5, .delay = 16383, .rate = -8192}, {.glonass = true, .sv = 0, .delay = 1, .rate = 8191}}));
    send(17, 1017, ephemeris_words({.week = 1023, .idot = -8192, .iode = 255, .toc = 37799, .af1 = -1, .af2 = 127,
                                    .crs = -32768, .delta_n = 1, .cuc = -1, .e = 0xFFFFFFFFu, .cus = 32767,
                                    .sqrt_a = 0xFFFFFFFFu, .toe = 37799, .omega0 = INT32_MIN, .cic = 1, .i0 = INT32_MAX,
                                    .cis = -1, .omega = -1, .crc = 32767, .omega_dot = -0x800000, .m0 = 1, .iodc = 1023,
                                    .af0 = -0x200000, .sv = 0, .tgd = -128, .l2_codes = 3, .ura = 15, .health = 63,
                                    .l2p_data = true}));
    send(27, 1017, bits({{0x7FFF, 16}, {0x8001, 16}, {1023, 10}, {4095, 12}, {3, 2}, {1023, 10}, {7, 3}, {7, 3},
                         {0xABCDEF, 24}, {0x123456, 24}, {0, 24}}));
    send(36, 1017, text_words("GLONASS 36"));
    return s.take();
}

const std::string golden_dir = TESSALY_GOLDEN_DIR;

// tessaly-decode with `args` on the golden stream, on standard input.
ToolResult decode(std::vector<std::string> args) {
    const auto bytes = golden_stream();
    args.insert(args.end(), {"--clock", "2026-12-06T10:12:00Z", "--leap", "13"});
    return run_tool(TESSALY_DECODE, args, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(Golden, WholeOutputsMatchTheCheckedFiles) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"all_types_text.txt", {}},
        {"all_types_code.txt", {"--format", "code"}},
        {"types_1_3_18_text.txt", {"--format", "text", "--types", "1,3,18"}},
        {"types_1_3_18_code.txt", {"--format", "code", "--types", "18,3,1"}},
        {"all_types.json", {"--format", "json"}},
    };
    for (const auto& [file, args] : cases) {
        const auto r = decode(args);
        ASSERT_EQ(r.status, 0) << file << ": " << r.err;
        EXPECT_EQ(r.out, golden_check(r.out, golden_dir + "/" + file)) << file;
    }
}
