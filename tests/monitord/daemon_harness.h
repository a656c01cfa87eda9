#pragma once
// The network monitor under test: tessaly-monitord as a child process with
// a configuration of the test's, its HTTP interface, and a scripted NTRIP
// 1.0 caster on 127.0.0.1 whose sourcetable and mountpoints the test sets.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <optional>

#include "event_loop.h"
#include "qt_printers.h"

namespace tessaly::test {

struct HttpAnswer {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

inline HttpAnswer http_get(const QString& url, const QByteArray& accept = {}) {
    static QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    if (!accept.isEmpty()) request.setRawHeader("Accept", accept);
    QNetworkReply* reply = manager.get(request);
    spin_until([&] { return reply->isFinished(); }, 10000);
    HttpAnswer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                 reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
    reply->deleteLater();
    return a;
}

// The value of one sample in a metrics text: `series` as written, e.g.
// tessaly_bytes_total{stream="a"}; nothing when it is absent.
inline std::optional<double> sample(const QByteArray& text, const QByteArray& series) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series + ' ')) return line.mid(series.size() + 1).toDouble();
    return std::nullopt;
}

class Daemon {
public:
    Daemon() { EXPECT_TRUE(dir.isValid()); }
    ~Daemon() { stop(); }
    // Writes the configuration (mode 0600); the daemon reads it at start
    // and at every reload().
    void configure(const QByteArray& text) {
        QFile f(config());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QString config() const { return dir.filePath("monitord.conf"); }
    // Starts it and waits for its HTTP address.
    bool start(const QStringList& more = {}) {
        process.setProgram(TESSALY_MONITORD);
        process.setArguments(QStringList{"--config", config(), "--listen", "127.0.0.1:0"} + more);
        process.start();
        const bool up = spin_until(
            [&] {
                log += process.readAllStandardError();
                const auto m = QRegularExpression("serving http://([0-9.:]+)/metrics").match(QString::fromUtf8(log));
                if (m.hasMatch()) address = m.captured(1);
                return !address.isEmpty() || process.state() == QProcess::NotRunning;
            },
            10000);
        return up && !address.isEmpty();
    }
    void reload() { ::kill(pid_t(process.processId()), SIGHUP); }
    void stop() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
        process.waitForFinished(1000);
    }
    HttpAnswer get(const QString& path, const QByteArray& accept = {}) {
        log += process.readAllStandardError();
        return http_get("http://" + address + path, accept);
    }
    QByteArray metrics() { return get("/metrics").body; }
    // Waits (10 s at most) until a scrape satisfies `done`.
    bool wait_metrics(const std::function<bool(const QByteArray&)>& done, int limit_ms = 10000) {
        QByteArray text;
        return spin_until([&] { return done(text = metrics()); }, limit_ms);
    }
    QTemporaryDir dir;
    QProcess process;
    QByteArray log;  // its standard error so far
    QString address;
};

// An NTRIP 1.0 caster: GET / answers the sourcetable (complete, or cut off
// before ENDSOURCETABLE), a listed mountpoint "ICY 200 OK" and then
// `stream` in a loop, 600 bytes a second in pieces of 60; any other request
// the sourcetable, as a 1.0 caster does.
class ScriptedCaster {
public:
    explicit ScriptedCaster(QByteArray stream_bytes) : stream(std::move(stream_bytes)) {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* c = server.nextPendingConnection())
                QObject::connect(c, &QTcpSocket::readyRead, [this, c] { answer(c); });
        });
        QObject::connect(&pace, &QTimer::timeout, [this] {
            for (auto it = clients.begin(); it != clients.end(); ++it) {
                QTcpSocket* c = it.key();
                if (c->state() != QAbstractSocket::ConnectedState) continue;
                c->write(stream.mid(it.value() % stream.size(), 60));
                it.value() += 60;
            }
        });
        pace.start(100);
    }
    int port() const { return server.serverPort(); }
    // Ends every connection (a caster that stops).
    void drop_all() {
        for (QTcpSocket* c : clients.keys()) c->abort();
        clients.clear();
    }
    QByteArray stream;
    QStringList mounts;
    bool cut_table = false;
    QMap<QString, int> connections;  // per mountpoint

private:
    void answer(QTcpSocket* c) {
        QByteArray& request = requests[c];
        request += c->readAll();
        if (clients.contains(c) || !request.contains("\r\n\r\n")) return;
        const QString path = QString::fromLatin1(request.mid(5, request.indexOf(' ', 5) - 5));
        if (!path.isEmpty() && mounts.contains(path)) {
            ++connections[path];
            clients[c] = 0;
            c->write("ICY 200 OK\r\n");
            return;
        }
        QByteArray table;
        for (const QString& m : mounts)
            table += "STR;" + m.toLatin1() + ";" + m.toLatin1() + ";RTCM 2.3;1(6),3(60);0;GPS;NET;DEU;52.0;9.0;0;0;x;none;N;N;4800;\r\n";
        table += "STR;R3;R3;RTCM 3.2;1004(1);2;GPS;NET;DEU;52.0;9.0;0;0;x;none;N;N;4800;\r\n";
        if (!cut_table) table += "ENDSOURCETABLE\r\n";
        c->write("SOURCETABLE 200 OK\r\n\r\n" + table);
        c->disconnectFromHost();
    }
    QTcpServer server;
    QTimer pace;
    QMap<QTcpSocket*, qint64> clients;  // streaming, with the bytes sent
    QMap<QTcpSocket*, QByteArray> requests;
};

inline QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace tessaly::test
