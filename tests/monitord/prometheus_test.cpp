// The monitor as its users see it: through a real Prometheus. Three
// mountpoints of a tessaly-serve caster play the shared recordings; the
// frames Prometheus stored per stream and type are those tessaly-decode
// counts in the same files; a caster that falls silent shows as a stream
// down with its outage alarm within the silence limit, and both recover.
// Some ten seconds: Prometheus takes a few to start, and the silence limit
// and the scrapes run on the clock.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrlQuery>

#include <cmath>
#include <csignal>

#include "daemon_harness.h"

namespace tessaly::test {
namespace {

// A tessaly-serve caster: `options` name the mountpoints.
struct Caster {
    explicit Caster(const QStringList& options) {
        process.start(TESSALY_SERVE, QStringList{"--port", "0"} + options);
        spin_until([&] {
            log += process.readAllStandardError();
            const auto m = QRegularExpression("on 127\\.0\\.0\\.1:(\\d+)").match(QString::fromUtf8(log));
            if (m.hasMatch()) this->port = m.captured(1).toInt();
            return this->port != 0 || process.state() == QProcess::NotRunning;
        });
    }
    ~Caster() { stop(); }
    void stop() {
        process.kill();
        process.waitForFinished(3000);
    }
    void signal(int s) { ::kill(pid_t(process.processId()), s); }
    QProcess process;
    QByteArray log;
    int port = 0;
};

// "type T: count" lines of tessaly-decode --format summary.
std::map<std::string, double> decoded_types(const QString& file) {
    QProcess decode;
    decode.start(TESSALY_DECODE, {"--format", "summary", file});
    decode.waitForFinished(30000);
    std::map<std::string, double> types;
    for (const QByteArray& line : decode.readAllStandardOutput().split('\n'))
        if (line.startsWith("type "))
            types[line.mid(5, line.indexOf(':') - 5).toStdString()] = line.mid(line.indexOf(':') + 2).toDouble();
    return types;
}

class Prometheus {
public:
    Prometheus(const QString& program, const QString& target) {
        QTcpServer probe;  // a free port for its web interface
        probe.listen(QHostAddress::LocalHost, 0);
        address = "127.0.0.1:" + QString::number(probe.serverPort());
        probe.close();
        QFile config(dir.filePath("prometheus.yml"));
        config.open(QIODevice::WriteOnly);
        config.write(("global:\n  scrape_interval: 500ms\n  scrape_timeout: 400ms\n"
                      "scrape_configs:\n  - job_name: tessaly\n    static_configs:\n      - targets: ['" +
                      target + "']\n")
                         .toUtf8());
        config.close();
        process.start(program, {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                                "--web.listen-address=" + address});
    }
    ~Prometheus() {
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
    }
    // The instant vector of `query`: each series' labels and value.
    QList<QPair<QJsonObject, double>> query(const QString& expression) {
        QUrlQuery q;
        q.addQueryItem("query", expression);
        const HttpAnswer a = http_get("http://" + address + "/api/v1/query?" + q.toString(QUrl::FullyEncoded));
        QList<QPair<QJsonObject, double>> out;
        for (const QJsonValue r : QJsonDocument::fromJson(a.body)["data"]["result"].toArray())
            out.append({r["metric"].toObject(), r["value"][1].toString().toDouble()});
        return out;
    }
    // One series' value, or -1 while Prometheus has none.
    double value(const QString& expression) {
        const auto r = query(expression);
        return r.size() == 1 ? r[0].second : -1;
    }
    QTemporaryDir dir;
    QProcess process;
    QString address;
};

TEST(Prometheus, StoresTheFramesOfEveryStreamAndSeesAnOutageComeAndGo) {
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    if (prometheus.isEmpty()) GTEST_SKIP() << "prometheus is not installed (Debian: prometheus): no end-to-end run";
    const QStringList names = {"bend", "naujoks", "sample"};
    QMap<QString, QString> files;
    // Without the shared recordings each mountpoint serves the
    // demonstration stream: the counts are compared all the same.
    for (const QString& n : names) {
        files[n] = QString(TESSALY_SHARED_DATA) + "/gpsd-" + n + ".rtcm2";
        if (!QFile::exists(files[n])) files[n] = TESSALY_DEMO;
    }
    // The caster sends each whole file at once and closes; the monitor
    // may take it more than once before the caster stops. Another one goes
    // on sending until it falls silent.
    Caster live({TESSALY_DEMO, "--ntrip", "LIVE", "--loop", "--live", "--rate", "2000"});
    ASSERT_NE(live.port, 0) << live.log.constData();
    QByteArray config = QString("[monitord]\nsilence=2\n[stream.live]\nsource=ntrip://127.0.0.1:%1/LIVE\n"
                                "alarm.outage.recover=0\n")
                            .arg(live.port)
                            .toUtf8();
    QStringList mounts{"--rate", "0"};
    for (const QString& n : names) mounts << "--ntrip" << n.toUpper() + "=" + files[n];
    Caster recordings(mounts);
    ASSERT_NE(recordings.port, 0) << recordings.log.constData();
    for (const QString& n : names)
        config += QString("[stream.%1]\nsource=ntrip://127.0.0.1:%2/%3\nalarm.outage.recover=0\n")
                      .arg(n).arg(recordings.port).arg(n.toUpper()).toUtf8();
    Daemon d;
    d.configure(config);
    ASSERT_TRUE(d.start()) << d.log.constData();
    Prometheus p(prometheus, d.address);
    QByteArray final_scrape;
    ASSERT_TRUE(d.wait_metrics([&](const QByteArray& t) {
        for (const QString& n : names)
            if (sample(t, "tessaly_bytes_total{stream=\"" + n.toUtf8() + "\"}") < QFile(files[n]).size()) return false;
        return true;
    })) << d.log.constData();
    recordings.stop();
    spin_until([] { return false; }, 300);  // a reconnect under way ends
    final_scrape = d.metrics();
    // Prometheus holds what the monitor counted...
    ASSERT_TRUE(spin_until(
        [&] {
            for (const QString& n : names) {
                const QByteArray series = "tessaly_bytes_total{stream=\"" + n.toUtf8() + "\"}";
                if (p.value(QString::fromUtf8(series)) != sample(final_scrape, series)) return false;
            }
            return true;
        },
        20000))
        << p.process.readAllStandardError().constData();
    // ...and that is what tessaly-decode finds in the files, as many times
    // as the monitor took each file.
    for (const QString& n : names) {
        const double bytes = *sample(final_scrape, "tessaly_bytes_total{stream=\"" + n.toUtf8() + "\"}");
        const double size = double(QFile(files[n]).size());
        ASSERT_EQ(std::fmod(bytes, size), 0) << qPrintable(n) << " was cut off within a pass";
        std::map<std::string, double> expected = decoded_types(files[n]);
        for (auto& [type, count] : expected) count *= bytes / size;
        std::map<std::string, double> stored;
        for (const auto& [labels, value] : p.query("tessaly_frames_total{stream=\"" + n + "\"}"))
            stored[labels["type"].toString().toStdString()] = value;
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(stored, expected) << qPrintable(n);
    }
    // The live caster falls silent (stopped, its connection open) and
    // comes back.
    const auto state = [&](double up, double alarm) {
        return spin_until(
            [&] {
                return p.value("tessaly_stream_up{stream=\"live\"}") == up &&
                       p.value("tessaly_alarm_active{stream=\"live\",rule=\"outage\"}") == alarm;
            },
            20000);
    };
    ASSERT_TRUE(state(1, 0)) << d.log.constData();
    // Re-timed as it is sent: its latency is the link's (and the Z-count's
    // 0.6 s), whenever the monitor got round to reading it.
    const double latency = p.value("tessaly_latency_seconds{stream=\"live\"}");
    EXPECT_GT(latency, -0.7);
    EXPECT_LT(latency, 1.5);
    live.signal(SIGSTOP);
    // The silence limit, a few scrapes and a generous allowance for a busy
    // machine: not a measurement, a bound that a monitor waiting for a
    // reconnect or a later byte would overshoot.
    QDeadlineTimer silence_and_scrapes(2000 + 3 * 500 + 3000);
    ASSERT_TRUE(state(0, 1)) << d.log.constData();
    EXPECT_FALSE(silence_and_scrapes.hasExpired()) << "seen only well after the silence limit";
    live.signal(SIGCONT);
    EXPECT_TRUE(state(1, 0)) << d.log.constData();
}

}  // namespace
}  // namespace tessaly::test
