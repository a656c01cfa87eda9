// Writes small fuzzing seeds, one file per message type decoded from the
// whole frame that no recording carries (15, 17, 27, 36), and one of 18 and
// 20 with the multiple-message flag set: two frames of the type after the
// encoder's lead byte, which the fuzzers take for their clock's minute.
//
//   tessaly-make-seeds DIR

#include <fstream>
#include <iostream>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"

using namespace tessaly::testing;

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: tessaly-make-seeds DIR\n", 2;
    BitPacker beacon;
    beacon.put(0x4000, 16).put(0x2000, 16).put(300, 10).put(1200, 12).put(0, 2).put(513, 10).put(3, 3).put(0, 3);
    beacon.put(0xABCDEF, 24).put(0x123456, 24).put(0x00FF00, 24);
    const struct {
        const char* name;
        std::uint8_t type;
        std::vector<std::uint32_t> data;
    } seeds[] = {
        {"type15", 15, iono_words({{.sv = 5, .delay = 1234, .rate = -20}, {.glonass = true, .sv = 7, .delay = 99, .rate = 3}})},
        {"type17", 17, ephemeris_words({.week = 370, .iode = 77, .toc = 5400, .e = 40000000, .sqrt_a = 2702000000u,
                                        .toe = 5400, .iodc = 333, .sv = 5, .ura = 3})},
        {"type27", 27, beacon.words()},
        {"type36", 36, text_words("GLONASS SPECIAL")},
        {"type18_20", 18, words_18(0, 1000, {{.more = true, .sv = 3, .phase = 158032}})},
    };
    for (const auto& seed : seeds) {
        StreamEncoder s;
        for (std::uint16_t z : {100, 101}) s.frame({.type = seed.type, .station = 7, .zcount = z, .data = seed.data});
        if (seed.type == 18) s.frame({.type = 20, .station = 7, .zcount = 101, .data = words_20(2, 0, {{.more = true, .sv = 3, .correction = -384}})});
        std::ofstream out(std::string(argv[1]) + "/" + seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(s.bytes().data()), std::streamsize(s.bytes().size()));
        if (!out) return std::cerr << "tessaly-make-seeds: cannot write into " << argv[1] << "\n", 1;
    }
    return 0;
}
