#pragma once
// A TCP server on 127.0.0.1 at a port of the system's choosing, played by the
// test: it takes clients and sends when told to.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>

namespace tessaly::testing {

class TestServer {
public:
    TestServer() { server.listen(QHostAddress::LocalHost, 0); }
    QString port() const { return QString::number(server.serverPort()); }
    // Waits (five seconds at most, the event loop running) for the next client.
    QTcpSocket* accept() {
        for (const QDeadlineTimer limit(5000); !server.hasPendingConnections(); ) {
            if (limit.hasExpired()) return nullptr;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
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

}  // namespace tessaly::testing
