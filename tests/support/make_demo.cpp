// Writes the demonstration stream: two minutes of a fictitious reference
// station (id 42) sending every message type the monitor decodes, with a
// line end after some frames and one burst of line noise, as real feeds do.
//
//   tessaly-make-demo FILE

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

using namespace tessaly::testing;

namespace {

constexpr std::uint16_t station = 42;
constexpr int first_second = 600;  // ten minutes into the hour
constexpr int duration = 120;

struct Sat {
    std::uint8_t sv;
    double range_m;     // pseudorange at the start
    double rate_mps;    // its rate of change
    double corr_m;      // correction at the start
};
const Sat sats[] = {{3, 21234567.12, 412.5, 2.31},   {7, 22876543.40, -233.1, -1.52},
                    {11, 20567890.02, 95.7, 0.87},   {16, 23456789.55, -512.9, 4.12},
                    {19, 24123456.78, 301.4, -3.05}, {26, 21987654.31, -48.2, 1.44},
                    {31, 22345678.90, 150.0, -0.66}};

std::uint16_t zcount_of(double t) { return std::uint16_t(std::lround(t / 0.6)) % 6000u; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: tessaly-make-demo FILE\n", 2;
    StreamEncoder s;
    std::uint8_t seq = 0;
    auto send = [&](std::uint8_t type, double t, std::vector<std::uint32_t> data) {
        s.frame({.type = type, .station = station, .zcount = zcount_of(t), .sequence = seq, .data = std::move(data), .corrupt = {}});
        seq = std::uint8_t((seq + 1) & 7u);
    };
    send(16, first_second, text_words("TESSALY DEMO STATION 42 - NOT FOR NAVIGATION"));
    for (int k = 0; k < duration; ++k) {
        const double t = first_second + k;
        if (k % 10 == 0) send(3, t, station_words(-258937712, 467613298, 449877210));
        if (k % 5 == 0) {
            std::vector<CorrectionBlock> blocks;
            for (const auto& sat : sats)
                blocks.push_back({false, std::uint8_t(sat.sv % 3), std::uint8_t(sat.sv & 31u),
                                  std::int16_t(std::lround((sat.corr_m + 0.004 * k) / 0.02)), 2, std::uint8_t(40 + sat.sv)});
            send(1, t, correction_words(blocks));
        }
        if (k % 30 == 15) {
            send(2, t, correction_words({{false, 1, 7, 12, -3, 47}, {true, 2, 16, -5, 4, 56}}));
            send(9, t, correction_words({{false, 0, 3, 118, 2, 43}, {false, 0, 11, 46, 1, 51}, {false, 1, 31, -35, -1, 71}}));
        }
        for (std::uint8_t freq : {std::uint8_t(0), std::uint8_t(2)}) {
            std::vector<Phase18> ph;
            std::vector<Range19> pr;
            for (const auto& sat : sats) {
                const double range = sat.range_m + sat.rate_mps * k + (freq == 2 ? 1.23 : 0.0);
                const double wavelength = freq == 0 ? 0.190293672798 : 0.244210213425;
                const double cycles = std::fmod(range / wavelength, 8388608.0);
                ph.push_back({false, freq == 2, sat.sv, std::uint8_t(sat.sv % 4), std::uint8_t(k / 60),
                              std::int32_t(std::lround(cycles * 256.0))});
                pr.push_back({freq == 2, sat.sv, std::uint8_t(2 + sat.sv % 5), std::uint8_t(sat.sv % 7),
                              std::int32_t(std::lround(range / 0.02))});
            }
            send(18, t, words_18(freq, 250000, ph));
            send(19, t, words_19(freq, 1, 250000, pr));
        }
        if (k % 5 == 2) {
            std::vector<PhaseCorr20> pc;
            std::vector<RangeCorr21> rc;
            for (const auto& sat : sats) {
                pc.push_back({false, sat.sv, 1, 0, std::uint8_t(40 + sat.sv),
                              std::int32_t(std::lround((sat.corr_m + 0.01 * k) * 128.0))});
                rc.push_back({false, false, false, sat.sv, 2, 3, std::uint8_t(40 + sat.sv),
                              std::int16_t(std::lround(sat.corr_m / 0.02)), std::int8_t(3)});
            }
            send(20, t, words_20(0, 250000, pc));
            send(21, t, words_21(0, 0, 250000, rc));
        }
        if (k % 20 == 7) send(6, t, {});                       // null frame
        if (k % 40 == 9) send(22, t, {0x123456, 0x789ABC});   // extended station data, kept raw
        if (k % 2 == 1) s.raw({'\r', '\n'});
        if (k == 64) s.raw({0x0D, 0x0A, 0xFF, 0x00, 0x13, 0x55, 0x37, 0xC0, 0x20});  // 0x55 slips a word
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    const auto& bytes = s.bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) return std::cerr << "tessaly-make-demo: cannot write " << argv[1] << "\n", 1;
    return 0;
}
