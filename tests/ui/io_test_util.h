#pragma once
// Real counterparts for the window's channels: a TCP server on 127.0.0.1
// that the test feeds by hand, and a socat pair of pseudo-terminals whose
// near end the window opens as its COM port.
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "rtcm_encoder.h"
#include "ui_test_util.h"

namespace tessaly::testing {

inline QByteArray bytes_of(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// `count` frames of type 1 from `station`, sequence numbers counting up.
inline QByteArray frames(int count, std::uint16_t station = 9) {
    StreamEncoder s;
    for (int i = 0; i < count; ++i)
        s.frame({.type = 1, .station = station, .zcount = 1000, .sequence = std::uint8_t(i & 7), .data = {5, 6}});
    return bytes_of(s.bytes());
}

// Bytes of every value, none repeating soon.
inline QByteArray pattern(int n, int step = 31) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b.append(char(i * step % 251));
    return b;
}

class TestServer {
public:
    TestServer() { server.listen(QHostAddress::LocalHost, 0); }
    QString port() const { return QString::number(server.serverPort()); }
    // Waits for the next client.
    QTcpSocket* accept() {
        if (!wait_for([&] { return server.hasPendingConnections(); })) return nullptr;
        clients.push_back(server.nextPendingConnection());
        return clients.back();
    }
    void send(const QByteArray& bytes, int client = 0) {
        clients[std::size_t(client)]->write(bytes);
        clients[std::size_t(client)]->flush();
    }

    QTcpServer server;
    std::vector<QTcpSocket*> clients;
};

// A port number on 127.0.0.1 where nobody listens.
inline QString closed_port() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return QString::number(s.serverPort());
}

inline void configure_internet(SettingsRecord& s, const QString& port) {
    s.source = kSourceInternet;
    s.address = QStringLiteral("127.0.0.1");
    s.port = port;
}

// Two connected pseudo-terminals: `near` (the window's COM port, reached by
// its path) and `far` (the receiver or sender at the other end).
class PtyPair {
public:
    bool start() {
        if (QStandardPaths::findExecutable("socat").isEmpty()) return false;
        near = dir.filePath("near");
        farPath = dir.filePath("far");
        socat.setReadChannel(QProcess::StandardError);
        socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + near, "pty,raw,echo=0,link=" + farPath});
        if (!socat.waitForStarted(5000)) return false;
        QByteArray said;
        for (int i = 0; i < 50 && !said.contains("starting data transfer loop"); ++i)
            if (socat.waitForReadyRead(100)) said += socat.readAll();
        if (!said.contains("starting data transfer loop")) return false;
        far.setPortName(farPath);
        return far.open(QIODevice::ReadWrite);
    }
    ~PtyPair() {
        far.close();
        socat.kill();
        socat.waitForFinished(5000);
    }
    // Reads at the far end until `n` bytes came (or five seconds passed).
    QByteArray read(qsizetype n) {
        QByteArray got;
        wait_for([&] {
            got += far.readAll();
            return got.size() >= n;
        });
        return got;
    }

    QTemporaryDir dir;
    QProcess socat;
    QString near;
    QString farPath;
    QSerialPort far;
};

inline void configure_com(SettingsRecord& s, const QString& device, int number) {
    s.comport = device;  // a device path is used as it is
    s.comNumber = number;
}

}  // namespace tessaly::testing
