// tessaly-monitord: the network monitor. Watches many RTCM 2 streams (NTRIP
// mountpoints, whole casters, TCP streams, serial devices) in one process
// and serves their figures to Prometheus.

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

#include "command_line.h"
#include "config_file.h"
#include "http_api.h"
#include "monitor.h"
#include "process_figures.h"
#include "service.h"

#ifndef TESSALY_DEFAULT_CONFIG
#define TESSALY_DEFAULT_CONFIG "/etc/tessaly/monitord.conf"
#endif

using namespace tessaly;
using namespace tessaly::monitord;

namespace {

void log_line(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

double now_seconds() { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }

QString summary(const RunConfig& c) {
    return QStringLiteral("%1 stream sections, %2 casters").arg(c.streams.size()).arg(c.casters.size());
}

}  // namespace

int main(int argc, char** argv) {
    const double started = now_seconds();
    CommandLine cl(QStringLiteral("tessaly-monitord"), QStringLiteral("[options]"),
                   "Watches RTCM 2 streams - NTRIP mountpoints, the RTCM 2 mountpoints of whole\n"
                   "casters, TCP streams, serial devices - in one process: decodes every byte,\n"
                   "keeps statistics, supervises and reconnects each source, raises alarms, and\n"
                   "serves it all over HTTP: /metrics for Prometheus, /streams.json, /healthz.",
                   "Signals: SIGHUP reloads the configuration (streams whose definition did not\n"
                   "change go on undisturbed; a configuration with a fault is refused and the\n"
                   "running one kept), SIGTERM and SIGINT stop.\n"
                   "\n"
                   "Exit status: 0 stopped by a signal (or --check passed), 1 the configuration\n"
                   "could not be used or the HTTP address not taken, 2 usage error.\n");
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("The configuration file (default " TESSALY_DEFAULT_CONFIG ")."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          "Serve HTTP on this address and port (default:\n"
                                          "listen= of [monitord], else 127.0.0.1:9810; port 0:\n"
                                          "one of the system's choosing, named at the start).",
                                          QStringLiteral("HOST:PORT"));
    const QCommandLineOption shardOption(QStringLiteral("shard"),
                                         "Watch only share I of N of the streams, chosen by a\n"
                                         "stable hash of the stream's name, so that N\n"
                                         "instances with the same configuration split a network.",
                                         QStringLiteral("I/N"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         "Check the configuration (secrets, rules, sources) and\n"
                                         "exit: status 0 when it can be used, 1 with the fault.");
    cl.parser.addOptions({configOption, listenOption, shardOption, checkOption});
    if (const auto done = cl.parse(arguments_of(argc, argv))) return *done;
    const QCommandLineParser& p = cl.parser;
    if (!p.positionalArguments().isEmpty()) return cl.fail("unexpected argument " + p.positionalArguments().first());
    Shard shard;
    if (p.isSet(shardOption)) {
        const auto s = parse_shard(p.value(shardOption).toStdString());
        if (!s) return cl.fail(QStringLiteral("--shard takes I/N with 1 <= I <= N, e.g. 2/3"));
        shard = *s;
    }
    if (p.isSet(listenOption) && !parse_host_port(p.value(listenOption).toStdString(), true))
        return cl.fail(QStringLiteral("--listen takes HOST:PORT, e.g. 127.0.0.1:9810"));
    const std::string path = p.isSet(configOption) ? p.value(configOption).toStdString() : TESSALY_DEFAULT_CONFIG;

    QCoreApplication app(argc, argv);
    // Caught from the start: a reload or a stop that comes while the
    // streams start waits in the pipe for the event loop.
    SignalPipe signals_;
    std::string error;
    std::optional<RunConfig> config = load_config(path, error);
    if (!config) {
        std::fprintf(stderr, "tessaly-monitord: %s\n", error.c_str());
        return 1;
    }
    if (p.isSet(checkOption)) {
        std::printf("%s: %s\n", path.c_str(), qPrintable(summary(*config)));
        return 0;
    }
    const std::uint64_t files = raise_open_file_limit();

    Monitor monitor(shard, log_line);
    HttpApi http(monitor);
    DaemonFigures daemon;
    daemon.last_reload_time = started;
    http.daemon_figures = [&] {
        daemon.process = read_process_figures(started);
        return daemon;
    };
    const auto listen_address = [&](const RunConfig& c) {
        return p.isSet(listenOption) ? p.value(listenOption) : QString::fromStdString(c.listen);
    };
    QString listening = listen_address(*config), why;
    if (!http.listen(listening, why)) {
        std::fprintf(stderr, "tessaly-monitord: %s\n", qPrintable(why));
        return 1;
    }
    log_line("tessaly-monitord: serving http://" + http.address() + "/metrics; " + summary(*config) +
             (shard.count > 1 ? QStringLiteral("; shard %1 of %2").arg(shard.index).arg(shard.count) : QString()) +
             "; up to " + QString::number(files) + " open files");
    monitor.apply(*config);

    ServiceNotifier service;
    const auto status = [&] {
        int up = 0;
        for (const auto& [name, s] : monitor.streams()) up += s->up();
        return QStringLiteral("watching %1 streams, %2 up").arg(monitor.streams().size()).arg(up);
    };
    QTimer status_timer;
    QObject::connect(&status_timer, &QTimer::timeout, [&] { service.status(status()); });
    status_timer.start(10000);

    signals_.on_reload = [&] {
        service.reloading();
        std::string fault;
        std::optional<RunConfig> fresh = load_config(path, fault);
        if (!fresh) {
            daemon.last_reload_ok = false;
            log_line("tessaly-monitord: reload refused, the running configuration stays: " +
                     QString::fromStdString(fault));
        } else {
            const QString wanted = listen_address(*fresh);
            if (wanted != listening) {
                QString fault_text;
                if (http.listen(wanted, fault_text)) listening = wanted;
                else log_line("tessaly-monitord: " + fault_text + "; still on " + http.address());
            }
            monitor.apply(*fresh);
            daemon.last_reload_ok = true;
            daemon.last_reload_time = now_seconds();
            log_line("tessaly-monitord: configuration reloaded: " + summary(*fresh));
        }
        service.ready(status());
    };
    signals_.on_stop = [&] {
        service.stopping();
        QCoreApplication::quit();
    };
    // Ready only now: systemd may send a reload at once.
    service.ready(status());
    return QCoreApplication::exec();
}
