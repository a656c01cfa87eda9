// Decoding throughput over a realistic multi-megabyte stream.
#include <benchmark/benchmark.h>

#include "bench_stream.h"
#include "rtcmdecw.h"

using namespace tessaly;

static void BM_DecodeByte(benchmark::State& st) {
    const auto& stream = tessaly::bench::realistic_stream();
    FixedClock clock({2026, 12, 6, 10, 20, 0, 0});
    for (auto _ : st) {
        RtcmDecoder d(clock);
        for (auto b : stream) d.rtcm_decode_byte(b);
        benchmark::DoNotOptimize(d.frames_completed);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}
BENCHMARK(BM_DecodeByte)->Unit(benchmark::kMillisecond);

// The same stream in 64 KiB chunks, as tessaly-decode reads a file: whole
// words are taken in runs.
static void BM_DecodeChunks(benchmark::State& st) {
    const auto& stream = tessaly::bench::realistic_stream();
    FixedClock clock({2026, 12, 6, 10, 20, 0, 0});
    constexpr std::size_t chunk = 65536;
    for (auto _ : st) {
        RtcmDecoder d(clock);
        for (std::size_t i = 0; i < stream.size(); i += chunk)
            d.rtcm_decode(std::span(stream).subspan(i, std::min(chunk, stream.size() - i)), [](std::size_t) {});
        benchmark::DoNotOptimize(d.frames_completed);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}
BENCHMARK(BM_DecodeChunks)->Unit(benchmark::kMillisecond);
