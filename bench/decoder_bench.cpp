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
