// tessaly-decode --format text|code against golden files, compared whole.
// The stream carries every type with the values that reach the layout's
// edges; the golden files were checked line by line against the layouts.
// TESSALY_UPDATE_GOLDEN=1 rewrites them (check the difference by hand).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "recording_test_util.h"
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
    for (std::uint8_t sv = 1; sv <= 15; ++sv) fifteen.push_back({.sv = sv, .loss = sv, .phase = sv * 2560});
    send(18, 1004, words_18(2, 0, fifteen));
    send(18, 1005, words_18(0, 123456, {{.half_wave = true, .sv = 3, .quality = 7, .loss = 5, .phase = 158032},
                                        {.p_code = true, .sv = 12, .quality = 6, .loss = 31, .phase = -1},
                                        {.sv = 0, .quality = 0, .phase = 316064}}));
    send(19, 1006, words_19(2, 1, 500000, {{.sv = 7, .quality = 15, .multipath = 14, .pseudorange = INT32_MIN},
                                           {.p_code = true, .sv = 8, .quality = 0, .multipath = 15, .pseudorange = 1000000000},
                                           {.sv = 9, .quality = 14, .multipath = 0, .pseudorange = 1}}));
    send(20, 1007, words_20(1, 999999, {{.half_wave = true, .sv = 10, .quality = 7, .loss = 3, .iod = 200, .correction = -384},
                                        {.sv = 11, .quality = 6, .loss = 31, .iod = 0, .correction = 256}}));
    send(21, 1008, words_21(2, 2, 0, {{.sv = 4, .quality = 0, .multipath = 7, .iod = 17, .prc = -1, .rrc = -128},
                                      {.rr_scale = true, .p_code = true, .pr_scale = true, .sv = 5, .quality = 7,
                                       .multipath = 14, .iod = 255, .prc = 32767, .rrc = 127},
                                      {.sv = 6, .quality = 7, .multipath = 15}}));
    send(6, 1009, {0x123456});
    s.word(header_word_1(1, 42), true);  // a header word 1 that fails parity
    send(17, 1010, {0x111111, 0x222222});
    send(1, 1010, {}, {1});                            // a header word 2 that fails parity
    send(17, 1010, {0x333333});
    send(22, 5000, {0xABCDEF});                        // 09:50:00, the previous hour
    send(1, 1011, correction_words({{.id = 5, .range = 100, .rate = -10, .iod = 34}}));  // back in hour 10
    send(18, 1012, words_18(2, 0, {{.sv = 3}}), {2});  // fails at its first data word
    send(3, 1013, station_words(-258937712, 467613298, 449877210));
    return s.take();
}

struct Result {
    int status = -1;
    std::string out;
};

Result run_decode(const std::string& args) {
    Result r;
    FILE* p = ::popen((std::string(TESSALY_DECODE) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class Golden : public ::testing::Test {
protected:
    void SetUp() override {
        const auto bytes = golden_stream();
        write_file(stream.str(), std::string(bytes.begin(), bytes.end()));
    }
    TempPath stream{"golden-stream"};
    const std::string clock = " --clock 2026-12-06T10:12:00Z ";
};

}  // namespace

TEST_F(Golden, WholeOutputsMatchTheCheckedFiles) {
    struct Case {
        const char* file;
        const char* args;
    };
    const Case cases[] = {
        {"all_types_text.txt", ""},
        {"all_types_code.txt", "--format code"},
        {"types_1_3_18_text.txt", "--format text --types 1,3,18"},
        {"types_1_3_18_code.txt", "--format code --types 18,3,1"},
    };
    const bool update = std::getenv("TESSALY_UPDATE_GOLDEN") != nullptr;
    for (const auto& c : cases) {
        const Result r = run_decode(std::string(c.args) + clock + stream.str());
        ASSERT_EQ(r.status, 0) << c.file << ": " << r.out;
        const std::string path = std::string(TESSALY_GOLDEN_DIR) + "/" + c.file;
        if (update) write_file(path, r.out);
        EXPECT_EQ(r.out, read_file(path)) << c.file;
    }
}

TEST_F(Golden, OutputFileIsAppendedToAndFailuresEndWithStatus1) {
    TempPath out("golden-out");
    write_file(out.str(), "kept\r\n");
    const Result r = run_decode("-o " + out.str() + clock + stream.str());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(out.str()), "kept\r\n" + read_file(std::string(TESSALY_GOLDEN_DIR) + "/all_types_text.txt"));

    const Result full = run_decode("-o /dev/full" + clock + stream.str());
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "tessaly-decode: cannot write to /dev/full: No space left on device\n");
}

TEST(Options, TypesAreTheStoringDialogsOnly) {
    for (const char* bad : {"4", "1,17", "1,,3", "18a", ""}) {
        const Result r = run_decode(std::string("--types '") + bad + "' /dev/null");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.out.find("bad --types value"), std::string::npos) << bad << ": " << r.out;
    }
    const Result r = run_decode("--types 1,2,3,9,16,18,19,20,21 --format code /dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
}
