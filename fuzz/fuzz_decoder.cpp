// Arbitrary bytes into two fresh decoders with a fixed clock: one takes a
// byte per call, the other the same bytes in chunks of varying size, as the
// command-line tool gives them. The first byte picks the clock's minute, so
// that the frame-hour branches are reached, and the chunk sizes. What must
// hold: both decoders agree at every frame end and at the end, and the
// chunked one's callback sees every completed frame.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "rtcmdecw.h"

namespace {

using namespace tessaly;

void same(bool equal, const char* what, std::size_t at) {
    if (equal) return;
    std::fprintf(stderr, "chunked and byte-wise decoding differ in %s after byte %zu\n", what, at);
    std::abort();
}

void compare(const RtcmDecoder& a, const RtcmDecoder& b, std::size_t at) {
    same(a.frames_completed == b.frames_completed && a.parity_failures == b.parity_failures &&
             a.sync_losses == b.sync_losses && a.unused_chars == b.unused_chars,
         "the counters", at);
    same(a.state.window == b.state.window && a.state.byte_count == b.state.byte_count &&
             a.state.word == b.state.word && a.state.in_sync == b.state.in_sync &&
             a.state.word_index == b.state.word_index && a.state.stars == b.state.stars && a.bit_offset() == b.bit_offset(),
         "the word layer", at);
    same(a.header.msg_type == b.header.msg_type && a.header.station_id == b.header.station_id &&
             a.header.frame_time == b.header.frame_time && a.header.frame_length == b.header.frame_length &&
             a.latency == b.latency && a.frame_completed == b.frame_completed,
         "the header", at);
    same(a.delivery.sv_count == b.delivery.sv_count && a.delivery.svs == b.delivery.svs &&
             a.stores.data_other.raw == b.stores.data_other.raw,
         "the frame's delivery", at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FixedClock clock({2026, 12, 31, 23, int(data[0] % 60), 30, 0});
    RtcmDecoder bytewise(clock);
    RtcmDecoder chunked(clock);
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    std::size_t fed = 0;  // bytes given to `bytewise`
    unsigned seed = data[0] | 1u;
    std::uint64_t frames_seen = 0;  // by the chunked decoder's callback
    for (std::size_t start = 0; start < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(stream.size() - start, 1 + (seed >> 16) % 97);
        chunked.rtcm_decode(stream.subspan(start, n), [&](std::size_t i) {
            while (fed <= start + i) bytewise.rtcm_decode_byte(stream[fed++]);
            frames_seen += chunked.frame_completed;
            if (chunked.frame_completed || chunked.state.word_index == 0) compare(bytewise, chunked, fed);
        });
        start += n;
    }
    while (fed < stream.size()) bytewise.rtcm_decode_byte(stream[fed++]);
    compare(bytewise, chunked, fed);
    same(frames_seen == chunked.frames_completed, "the frames the callback saw", fed);
    return 0;
}
