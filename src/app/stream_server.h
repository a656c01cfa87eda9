#pragma once
// Serves a recorded raw stream to every TCP client that connects, each from
// the first byte, paced at a fixed number of bytes per second: a stand-in
// for the relay or NTRIP client the monitor reads from.
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <list>

class QTcpServer;
class QTcpSocket;

namespace tessaly {

class StreamServer : public QObject {
    Q_OBJECT
public:
    // rate: bytes per second, 0 for as fast as the connection takes them.
    // loop: start again from the first byte at the end, instead of closing.
    StreamServer(QByteArray data, int rate, bool loop, QObject* parent = nullptr);
    ~StreamServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString errorString() const;
    int clientCount() const { return int(clients_.size()); }

signals:
    void clientConnected();
    void clientFinished();

private:
    struct Client {
        QTcpSocket* socket;
        QElapsedTimer since;
        qint64 sent = 0;
        bool closing = false;
    };

    void accept();
    void pace();
    void feed(Client& c, qint64 upto);

    QByteArray data_;
    int rate_;
    bool loop_;
    QTcpServer* server_;
    QTimer tick_;
    std::list<Client> clients_;
};

}  // namespace tessaly
