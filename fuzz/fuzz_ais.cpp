// Arbitrary bytes through the AIS splitter into two decoders: one in
// chunks of varying size, as tessaly-decode reads, the other a byte at a
// time, as the window's sources feed it. What must hold: the callback's
// indices stay in the chunk and never go back, and both see the same
// frames (with the same AIS senders) and end with the same counts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "ais_input.h"

namespace {

using namespace tessaly;

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "AIS input: %s\n", what);
    std::abort();
}

struct Seen {
    std::uint8_t type;
    std::uint32_t station;
    std::uint32_t mmsi;
    bool operator==(const Seen&) const = default;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FixedClock clock({2026, 12, 31, 23, int(data[0] % 60), 30, 0});
    RtcmDecoder chunked(clock), bytewise(clock);
    AisInput ais_chunked, ais_bytewise;
    std::size_t problems[2] = {0, 0};
    ais_chunked.on_problem = [&](const std::string&) { ++problems[0]; };
    ais_bytewise.on_problem = [&](const std::string&) { ++problems[1]; };
    std::vector<Seen> seen[2];
    const auto note = [&](const RtcmDecoder& d, int k) {
        if (d.frame_completed) seen[k].push_back({d.header.msg_type, d.header.station_id, d.carrier.mmsi});
    };
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    unsigned seed = data[0] | 1u;
    for (std::size_t start = 0; start < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(stream.size() - start, 1 + (seed >> 16) % 97);
        std::size_t last = 0;
        ais_chunked.decode(chunked, stream.subspan(start, n), [&](std::size_t i) {
            require(i < n && i >= last, "an index outside the chunk or going back");
            last = i;
            note(chunked, 0);
        });
        start += n;
    }
    for (const std::uint8_t b : stream) {
        if (ais_bytewise.passes(b)) {
            bytewise.rtcm_decode_byte(b);
            note(bytewise, 1);
        } else {
            ais_bytewise.decode(bytewise, std::span(&b, 1), [&](std::size_t) { note(bytewise, 1); });
        }
    }
    ais_chunked.finish(chunked, [&] { note(chunked, 0); });
    ais_bytewise.finish(bytewise, [&] { note(bytewise, 1); });

    require(seen[0] == seen[1], "different frames");
    require(seen[0].size() == chunked.frames_completed, "a frame the callback did not see");
    require(chunked.unused_chars == bytewise.unused_chars && chunked.parity_failures == bytewise.parity_failures &&
                chunked.sync_losses == bytewise.sync_losses,
            "different decoder counts");
    const AisCounts &a = ais_chunked.counts(), &b = ais_bytewise.counts();
    require(a.sentences == b.sentences && a.checksum_failures == b.checksum_failures && a.malformed == b.malformed &&
                a.dropped == b.dropped && a.types == b.types && a.frames == b.frames && a.undecoded == b.undecoded &&
                problems[0] == problems[1] && problems[0] == a.undecoded,
            "different AIS counts");
    return 0;
}
