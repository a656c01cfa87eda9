// Arbitrary bytes as a main server's text, cut into pieces whose sizes the
// first byte picks, must give the same station lines, drops and waiting
// text as the same text taken whole; what waits stays bounded, and every
// line goes through the station parser and the list item (under the
// sanitizers).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "RTCM_U5_stations.h"

using namespace tessaly;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void check_bounded(const StationLines& s) {
    if (s.pending().size() > max_station_line) fail("the waiting text outgrew its bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Pieces of 1 to 256 bytes, and sometimes far larger than a line.
    const std::size_t step = data[0] == 255 ? 3000 : std::size_t(data[0]) + 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    StationLines whole;
    const std::vector<std::string> lines = whole.take(text);
    check_bounded(whole);

    StationLines pieces;
    std::vector<std::string> piece_lines;
    for (std::size_t at = 0; at < text.size(); at += step) {
        for (std::string& line : pieces.take(text.substr(at, step))) piece_lines.push_back(std::move(line));
        check_bounded(pieces);
    }
    if (piece_lines != lines) fail("the lines depend on how the text arrived");
    if (pieces.dropped() != whole.dropped()) fail("the drops depend on how the text arrived");
    if (pieces.pending() != whole.pending() || pieces.skipping() != whole.skipping())
        fail("the waiting text depends on how the text arrived");

    for (const std::string& line : lines) {
        if (!line.starts_with("$DGPS") || line.find('\r') != line.size() - 1 || line.size() > max_station_line)
            fail("a line that is no station line");
        if (const auto station = parse_station_line(line)) (void)station_item_text(*station);
    }
    whole.clear();
    if (!whole.pending().empty() || whole.skipping() || whole.dropped() != 0) fail("clear() left something");
    return 0;
}
