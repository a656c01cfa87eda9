// Decoding throughput with recording off, and with the text and code
// formats writing through the storing file (to /dev/null, so that every
// write is counted but no disk is), in 64 KiB chunks as tessaly-decode
// reads a file.
#include <benchmark/benchmark.h>

#include "bench_stream.h"
#include "recorder.h"

using namespace tessaly;

namespace {

enum Mode { off, text, code };

void BM_DecodeWithRecording(benchmark::State& st) {
    const auto& stream = tessaly::bench::realistic_stream();
    const auto mode = Mode(st.range(0));
    FixedClock clock({2026, 12, 6, 10, 20, 0, 0});
    for (auto _ : st) {
        RtcmDecoder d(clock);
        RecordingControl control;
        control.storing_active = mode != off;
        control.apply_pending = true;
        control.format = mode == code ? StoreFormat::code : StoreFormat::text;
        StoringFile file;
        file.open_append("/dev/null");
        std::string failure;
        Recorder rec(control, file, [&](const std::string& e) { failure = e; });
        d.set_storing_hook(&rec);
        constexpr std::size_t chunk = 65536;
        for (std::size_t i = 0; i < stream.size(); i += chunk)
            d.rtcm_decode(std::span(stream).subspan(i, std::min(chunk, stream.size() - i)), [](std::size_t) {});
        file.close();
        if (!failure.empty()) st.SkipWithError(failure.c_str());
        benchmark::DoNotOptimize(d.frames_completed);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
    st.SetLabel(mode == off ? "recording off" : mode == text ? "text format" : "code format");
}

}  // namespace

BENCHMARK(BM_DecodeWithRecording)->Arg(off)->Arg(text)->Arg(code)->Unit(benchmark::kMillisecond);
