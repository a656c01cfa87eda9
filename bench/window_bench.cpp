// The monitor's file source against the bare decoder, in the same run: a
// multi-megabyte recorded stream replayed through a real (offscreen) main
// window, which hands every byte to the decoder, lets the event loop run
// after each, and rewrites the pages as frames complete.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "RTCM_U1.h"
#include "bench_stream.h"
#include "rtcmdecw.h"
#include "error_seam.h"

using namespace tessaly;

namespace {

const ClockReading bench_time{2026, 12, 6, 10, 20, 0, 0};

void BM_DecoderOnly(benchmark::State& st) {
    const auto& stream = bench::realistic_stream();
    FixedClock clock(bench_time);
    for (auto _ : st) {
        RtcmDecoder d(clock);
        for (auto b : stream) d.rtcm_decode_byte(b);
        benchmark::DoNotOptimize(d.frames_completed);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}

void BM_WindowFileSource(benchmark::State& st) {
    const auto& stream = bench::realistic_stream();
    QTemporaryDir dir;
    const QString path = dir.filePath("stream.rtcm");
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(stream.data()), qint64(stream.size()));
    }
    ScopedErrorReporter quiet([](const QString&, const QString&) {});  // " End of data"
    FixedClock clock(bench_time);
    for (auto _ : st) {
        st.PauseTiming();
        RtcmDecoder d(clock);
        SettingsRecord settings;
        settings.source = 0;
        settings.fileName = path;
        TForm1 w(d, settings);
        w.show();
        st.ResumeTiming();
        w.Timer1Timer();  // the whole file in one tick
        st.counters["frames"] = double(d.frames_completed);
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}

}  // namespace

BENCHMARK(BM_DecoderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFileSource)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config_home;  // never the user's own settings
    qputenv("XDG_CONFIG_HOME", config_home.path().toUtf8());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
