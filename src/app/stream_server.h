#pragma once
// Serves a recorded raw stream to every TCP client that connects, each from
// the first byte, paced at a fixed number of bytes per second: a stand-in
// for the relay or NTRIP caster the monitor reads from.
//
// As an NTRIP caster (setCaster) a client first sends its request: the
// mountpoint gets the stream (NTRIP 1.0: "ICY 200 OK" and the raw bytes;
// 2.0: HTTP/1.1 with the body in chunks), "/" the sourcetable, a wrong user
// or password 401, another mountpoint 404 (2.0) or the sourcetable (1.0).
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <list>
#include <memory>

#include "live_retimer.h"

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

    // Serve as an NTRIP caster with one mountpoint; an empty user means
    // no authentication.
    void setCaster(const QString& mount, const QString& user, const QString& password);
    // Re-time every frame to the moment it is sent (GPS time, with these
    // leap seconds), each client's stream on its own.
    void setLive(int leap_seconds) {
        live_ = true;
        leap_seconds_ = leap_seconds;
    }

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
        bool gone = false;      // disconnected: removed by sweep(), never while clients_ is walked
        bool streaming = true;  // false while a caster waits for the request
        bool chunked = false;   // NTRIP 2.0: the body in chunks
        QByteArray request;
        std::unique_ptr<LiveRetimer> retimer;
    };

    void accept();
    void pace();
    void sweep();
    void feed(Client& c, qint64 upto);
    void write_body(Client& c, const char* data, qint64 n);
    void end_body(Client& c);
    void answer_request(Client& c);
    Client* find(QTcpSocket* s);
    QByteArray sourcetable() const;

    QByteArray data_;
    int rate_;
    bool loop_;
    QTcpServer* server_;
    QTimer tick_;
    std::list<Client> clients_;
    bool sweep_due_ = false;
    QString mount_;
    QByteArray credentials_;  // "user:password" in base64, empty: none asked
    bool live_ = false;
    int leap_seconds_ = 18;
};

}  // namespace tessaly
