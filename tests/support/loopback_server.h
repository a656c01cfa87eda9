#pragma once
// A TCP server on 127.0.0.1 at a port of the system's choosing, played by the
// test: it takes every client as it comes, sends when told to (to the latest
// client unless told which), and keeps what the latest client sent.
#include "event_loop.h"

namespace tessaly::testing {

class TestServer {
public:
    TestServer() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* c = server.nextPendingConnection()) {
                clients.push_back(c);
                QObject::connect(c, &QTcpSocket::disconnected, [this] { ++disconnects; });
            }
        });
    }
    QString port() const { return QString::number(server.serverPort()); }
    // Waits (five seconds at most, the event loop running) for the next client.
    QTcpSocket* accept() {
        if (!spin_until([&] { return clients.size() > taken_; })) return nullptr;
        return clients[taken_++];
    }
    bool hasClient() const { return clients.size() > forgotten_; }
    bool waitForClient() { return spin_until([&] { return hasClient(); }); }
    void forgetClient() { taken_ = forgotten_ = clients.size(); }  // the next client replaces the old one
    void send(const QByteArray& bytes, int client = -1) {
        QTcpSocket* c = client < 0 ? clients.back() : clients[std::size_t(client)];
        c->write(bytes);
        c->flush();
    }
    // What the latest client sent so far.
    const QByteArray& allReceived() { return received += clients.back()->readAll(); }
    bool waitForReceived(const QByteArray& text) { return spin_until([&] { return allReceived().contains(text); }); }
    QTcpServer server;
    std::vector<QTcpSocket*> clients;
    QByteArray received;
    int disconnects = 0;

private:
    std::size_t taken_ = 0, forgotten_ = 0;
};

// A port number on 127.0.0.1 where nobody listens.
inline QString closed_port() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return QString::number(s.serverPort());
}

}  // namespace tessaly::testing
