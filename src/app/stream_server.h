#pragma once
// Serves recorded raw streams to every TCP client that connects, each from
// the first byte, paced at a fixed number of bytes per second: a stand-in
// for the relay or NTRIP caster the monitor reads from.
//
// As an NTRIP caster (setCaster) a client first sends its request: a
// mountpoint gets its recording (NTRIP 1.0: "ICY 200 OK" and the raw bytes;
// 2.0: HTTP/1.1 with the body in chunks), "/" the sourcetable (one STR line
// per mountpoint), a user not on the list or a wrong password 401, another
// mountpoint 404 (2.0) or the sourcetable (1.0).
//
// Clients that neither send nor take a byte for the idle limit are dropped,
// and running out of file descriptors only delays new clients: accepting
// starts again once some are free. (The listening socket is our own:
// QTcpServer stops accepting for good after such a failure, or, once an
// earlier accept() ran dry, keeps retrying at full speed without a word.)
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <list>
#include <memory>
#include <vector>

#include "live_retimer.h"

class QSocketNotifier;
class QTcpSocket;

namespace tessaly {

// The sourcetable's format details of a recording: each message type it
// carries with its usual interval in seconds, "1(5),3(10),18(1)".
QByteArray advertised_format(const QByteArray& recording);

// How many of the recording's frames --live can re-time, and how many the
// decoder finds: a stream whose words do not start on a character keeps
// its recorded times.
std::pair<std::size_t, std::size_t> retimed_frames(const QByteArray& recording);

class StreamServer : public QObject {
    Q_OBJECT
public:
    struct Mount {
        QString name;     // without the leading '/'
        QByteArray data;  // the recording it serves
    };
    struct User {
        QString name;
        QString password;
    };

    // rate: bytes per second, 0 for as fast as the connection takes them.
    // loop: start again from the first byte at the end, instead of closing.
    // `data` is what a plain TCP server (no setCaster) sends.
    StreamServer(QByteArray data, int rate, bool loop, QObject* parent = nullptr);
    ~StreamServer() override;

    // Serve as an NTRIP caster with these mountpoints; an empty user list
    // means no authentication.
    void setCaster(std::vector<Mount> mounts, const std::vector<User>& users);
    // Re-time every frame to the moment it is sent (GPS time, with these
    // leap seconds), each client's stream on its own.
    void setLive(int leap_seconds) {
        live_ = true;
        leap_seconds_ = leap_seconds;
    }
    // A client that neither sends a byte nor takes one for this long is
    // dropped (a stuck reader, a request that never comes). Default 60 s.
    void setIdleLimit(int ms) { idle_limit_ms_ = ms; }

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString errorString() const;
    int clientCount() const { return int(clients_.size()); }

signals:
    void clientConnected();
    void clientFinished();
    // New connections could not be taken (out of file descriptors, or
    // another failure of accept()); they wait and are taken later.
    void acceptFailed(const QString& why);

private:
    struct Client {
        QTcpSocket* socket;
        const QByteArray* data = nullptr;  // the recording being served
        QElapsedTimer since;
        QElapsedTimer idle;  // since the last byte either way
        qint64 sent = 0;
        bool closing = false;
        bool gone = false;      // disconnected: removed by sweep(), never while clients_ is walked
        bool streaming = true;  // false while a caster waits for the request
        bool chunked = false;   // NTRIP 2.0: the body in chunks
        QByteArray request;
        std::unique_ptr<LiveRetimer> retimer;
    };

    void accept();
    void take(QTcpSocket* s);
    void pace();
    void sweep();
    void feed(Client& c, qint64 upto);
    void write_body(Client& c, const char* data, qint64 n);
    void end_body(Client& c);
    void answer_request(Client& c);
    Client* find(QTcpSocket* s);
    const Mount* mount_named(const QByteArray& name) const;
    QByteArray sourcetable() const;

    QByteArray data_;
    int rate_;
    bool loop_;
    int listen_fd_ = -1;
    QSocketNotifier* acceptor_ = nullptr;
    quint16 port_ = 0;
    QString error_;
    QTimer tick_;
    QTimer resume_;  // accepting again after accept() failed
    std::list<Client> clients_;
    bool sweep_due_ = false;
    bool caster_ = false;
    std::vector<Mount> mounts_;
    std::vector<QByteArray> details_;  // per mountpoint, its sourcetable's format details
    QSet<QByteArray> credentials_;  // "user:password" in base64, empty: none asked
    bool live_ = false;
    int leap_seconds_ = 18;
    int idle_limit_ms_ = 60000;
};

}  // namespace tessaly
