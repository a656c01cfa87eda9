#pragma once
// A main server on 127.0.0.1 played by the test: it accepts one client and
// sends what the test tells it to, when it tells it to.
#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class StationServer {
public:
    StationServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            peer_ = server_.nextPendingConnection();
            QObject::connect(peer_, &QTcpSocket::readyRead, [this] { received += peer_->readAll(); });
            QObject::connect(peer_, &QTcpSocket::disconnected, [this] { ++disconnects; });
        });
    }
    QString port() const { return QString::number(server_.serverPort()); }
    bool hasClient() const { return peer_ != nullptr; }
    bool waitForClient() { return QTest::qWaitFor([this] { return peer_ != nullptr; }, 5000); }
    void send(const QByteArray& bytes) {
        peer_->write(bytes);
        peer_->flush();
    }
    bool waitForReceived(const QByteArray& text) {
        return QTest::qWaitFor([&] { return received.contains(text); }, 5000);
    }
    // A new client replaces the old one.
    void forgetClient() { peer_ = nullptr; }

    QByteArray received;
    int disconnects = 0;

private:
    QTcpServer server_;
    QPointer<QTcpSocket> peer_;
};
