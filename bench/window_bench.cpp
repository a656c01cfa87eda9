// The monitor's replay beside the bare decoder, in the same run: a
// multi-megabyte recorded stream through a real (offscreen) main window with
// decoding on and the type 18 page showing, from a file source and from a
// TCP source fed by a server thread on 127.0.0.1. bytes_per_second is the
// replay rate (wall clock); max_event_gap_ms the longest time the window
// left its events waiting (a 1 ms timer's longest gap) during the replay.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "RTCM_U1.h"
#include "bench_stream.h"
#include "error_seam.h"
#include "rtcmdecw.h"

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

// The longest gap between the ticks of a 1 ms timer while alive.
class EventGap {
public:
    EventGap() {
        QObject::connect(&tick_, &QTimer::timeout, [this] { note(); });
        tick_.start(1);
        clock_.start();
    }
    double max_ms() {
        note();
        return double(max_);
    }

private:
    void note() {
        const qint64 now = clock_.elapsed();
        max_ = std::max(max_, now - last_);
        last_ = now;
    }
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 last_ = 0, max_ = 0;
};

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
        settings.source = kSourceFile;
        settings.fileName = path;
        TForm1 w(d, settings);
        w.show();
        w.pages().setCurrentIndex(MessagePages::Type18);
        st.ResumeTiming();
        EventGap gap;
        // The first slice at a tick, the others from the event loop.
        w.Timer1Timer();
        while (w.replaying()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        st.counters["frames"] = double(d.frames_completed);
        st.counters["max_event_gap_ms"] = gap.max_ms();
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}

// A server thread that sends the stream as fast as the window takes it and
// keeps the connection open until told.
class StreamServer {
public:
    explicit StreamServer(const std::vector<std::uint8_t>& bytes) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, &bytes] {
            const int peer = ::accept(listener_, nullptr, nullptr);
            while (!go_) std::this_thread::yield();
            for (std::size_t sent = 0; peer >= 0 && sent < bytes.size();) {
                const ssize_t n = ::send(peer, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += std::size_t(n);
            }
            while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (peer >= 0) ::close(peer);
        });
    }
    ~StreamServer() {
        go_ = done_ = true;
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }
    void send() { go_ = true; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> go_{false}, done_{false};
    std::thread thread_;
};

void BM_WindowTcpSource(benchmark::State& st) {
    const auto& stream = bench::realistic_stream();
    FixedClock clock(bench_time);
    std::uint64_t frames = 0;
    {
        RtcmDecoder d(clock);
        for (auto b : stream) d.rtcm_decode_byte(b);
        frames = d.frames_completed;
    }
    ScopedErrorReporter quiet([](const QString&, const QString&) {});
    for (auto _ : st) {
        st.PauseTiming();
        StreamServer server(stream);
        RtcmDecoder d(clock);
        SettingsRecord settings;
        settings.source = kSourceInternet;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = QString::number(server.port());
        TForm1 w(d, settings);
        w.show();
        w.pages().setCurrentIndex(MessagePages::Type18);
        QElapsedTimer limit;
        limit.start();
        while (!w.panelText(0).contains(QStringLiteral("connected")) && limit.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        st.ResumeTiming();
        EventGap gap;
        server.send();
        while (d.frames_completed < frames && limit.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
        st.counters["frames"] = double(d.frames_completed);
        st.counters["max_event_gap_ms"] = gap.max_ms();
    }
    st.SetBytesProcessed(std::int64_t(st.iterations()) * std::int64_t(stream.size()));
}

}  // namespace

BENCHMARK(BM_DecoderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowFileSource)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindowTcpSource)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

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
