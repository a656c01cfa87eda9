#include "stream_server.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTcpSocket>

namespace tessaly {

namespace {
// Unsent bytes kept in a socket's buffer at most, so that a slow reader is
// paced by the network rather than by a growing queue.
constexpr qint64 backlog_limit = 64 * 1024;
// Connections the system holds for us before accept(): a burst of clients
// (a whole class starting the monitor at once) must not overflow it.
constexpr int listen_backlog = 1024;
// A request longer than this is not an NTRIP request.
constexpr qsizetype max_request = 8192;
}  // namespace

StreamServer::StreamServer(QByteArray data, int rate, bool loop, QObject* parent)
    : QObject(parent), data_(std::move(data)), rate_(rate), loop_(loop), server_(new QTcpServer(this)) {
    server_->setListenBacklogSize(listen_backlog);
    server_->setMaxPendingConnections(listen_backlog);
    connect(server_, &QTcpServer::newConnection, this, &StreamServer::accept);
    tick_.setInterval(20);
    connect(&tick_, &QTimer::timeout, this, &StreamServer::pace);
}

StreamServer::~StreamServer() {
    for (Client& c : clients_) {
        c.socket->disconnect(this);
        c.socket->abort();
        delete c.socket;
    }
}

void StreamServer::setCaster(const QString& mount, const QString& user, const QString& password) {
    mount_ = mount;
    credentials_ = user.isEmpty() ? QByteArray() : (user + ":" + password).toUtf8().toBase64();
}

bool StreamServer::listen(const QHostAddress& address, quint16 port) { return server_->listen(address, port); }
quint16 StreamServer::port() const { return server_->serverPort(); }
QString StreamServer::errorString() const { return server_->errorString(); }

StreamServer::Client* StreamServer::find(QTcpSocket* s) {
    for (Client& c : clients_)
        if (c.socket == s && !c.gone) return &c;
    return nullptr;
}

void StreamServer::accept() {
    while (QTcpSocket* s = server_->nextPendingConnection()) {
        clients_.push_back(Client{s, {}, 0, false, false, mount_.isEmpty(), false, {},
                                  live_ ? std::make_unique<LiveRetimer>() : nullptr});
        clients_.back().since.start();
        // A disconnect can come in the middle of pace() (a close of a socket
        // with nothing left to write is reported at once): only mark here.
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (Client* c = find(s)) c->gone = true;
            if (!sweep_due_) {
                sweep_due_ = true;
                QTimer::singleShot(0, this, &StreamServer::sweep);
            }
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            Client* c = find(s);
            if (!c) return;
            if (c->streaming) {
                s->readAll();  // GGA sentences and the like
                return;
            }
            c->request += s->readAll();
            answer_request(*c);
        });
        // Unpaced clients are topped up whenever the socket took bytes, not
        // only on the timer, so that the network alone sets the speed.
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
            Client* c = find(s);
            if (c && rate_ == 0 && c->streaming && !c->closing) feed(*c, c->sent + backlog_limit);
        });
        emit clientConnected();
    }
    if (!tick_.isActive()) tick_.start();
    pace();
}

void StreamServer::sweep() {
    sweep_due_ = false;
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (!it->gone) {
            ++it;
            continue;
        }
        it->socket->deleteLater();
        it = clients_.erase(it);
        emit clientFinished();
    }
    if (clients_.empty()) tick_.stop();
}

void StreamServer::pace() {
    for (Client& c : clients_) {
        if (c.closing || c.gone || !c.streaming) continue;
        const qint64 due = rate_ > 0 ? c.since.elapsed() * rate_ / 1000 : c.sent + backlog_limit;
        feed(c, due);
    }
}

void StreamServer::write_body(Client& c, const char* data, qint64 n) {
    std::string timed;
    if (c.retimer) {
        const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        c.retimer->process(data, std::size_t(n), LiveRetimer::zcount_of(now, leap_seconds_), timed);
        data = timed.data();
        n = qint64(timed.size());
    }
    if (n == 0) return;  // an empty chunk would end the body
    if (c.chunked) c.socket->write(QByteArray::number(n, 16) + "\r\n");
    c.socket->write(data, n);
    if (c.chunked) c.socket->write("\r\n");
}

void StreamServer::end_body(Client& c) {
    // The whole recording went out: close once it is written.
    c.closing = true;
    if (c.retimer) {
        std::string rest;
        c.retimer->flush(rest);
        c.retimer.reset();
        write_body(c, rest.data(), qint64(rest.size()));
    }
    if (c.chunked) c.socket->write("0\r\n\r\n");
    c.socket->disconnectFromHost();
}

void StreamServer::feed(Client& c, qint64 upto) {
    const qint64 size = data_.size();
    while (!c.closing && c.sent < upto && c.socket->bytesToWrite() < backlog_limit) {
        if (size == 0 || (!loop_ && c.sent >= size)) break;
        const qint64 at = c.sent % size;
        const qint64 n = std::min({upto - c.sent, size - at, backlog_limit});
        write_body(c, data_.constData() + at, n);
        c.sent += n;
    }
    if (!c.closing && (size == 0 || (!loop_ && c.sent >= size))) end_body(c);
}

QByteArray StreamServer::sourcetable() const {
    return "STR;" + mount_.toUtf8() + ";Tessaly;RTCM 2.3;1(5),3(10),18(1),19(1),20(5),21(5);1;GPS;Tessaly;;0.00;0.00;0;0;tessaly-serve;none;" +
           (credentials_.isEmpty() ? "N" : "B") + ";N;" + QByteArray::number(rate_ * 8) + ";\r\nENDSOURCETABLE\r\n";
}

void StreamServer::answer_request(Client& c) {
    const qsizetype end = c.request.indexOf("\r\n\r\n");
    if (end < 0) {
        if (c.request.size() > max_request) {
            c.socket->write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
            c.closing = true;
            c.socket->disconnectFromHost();
        }
        return;
    }
    const QList<QByteArray> lines = c.request.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    bool v2 = false, authorised = credentials_.isEmpty();
    for (const QByteArray& line : lines) {
        const QByteArray l = line.trimmed();
        if (l.toLower().startsWith("ntrip-version:") && l.contains("Ntrip/2.0")) v2 = true;
        if (l.toLower().startsWith("authorization:") && l.split(' ').value(2) == credentials_ && !credentials_.isEmpty())
            authorised = true;
    }
    c.request.clear();
    const auto close_with = [&](const QByteArray& answer) {
        c.socket->write(answer);
        c.closing = true;
        c.socket->disconnectFromHost();
    };
    if (first.size() < 3 || first[0] != "GET" || !first[2].startsWith("HTTP/1.")) {
        close_with("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
        return;
    }
    const QByteArray path = first[1];
    const QByteArray table = sourcetable();
    const QByteArray table_answer =
        v2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/sourcetable\r\nContent-Length: " +
                 QByteArray::number(table.size()) + "\r\nConnection: close\r\n\r\n" + table
           : "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(table.size()) +
                 "\r\n\r\n" + table;
    if (path == "/") {
        close_with(table_answer);
    } else if (path != "/" + mount_.toUtf8()) {
        // A 1.0 caster answers an unknown mountpoint with its table.
        close_with(v2 ? QByteArray("HTTP/1.1 404 Not Found\r\nNtrip-Version: Ntrip/2.0\r\nConnection: close\r\n\r\n")
                      : table_answer);
    } else if (!authorised) {
        close_with(QByteArray(v2 ? "HTTP/1.1" : "HTTP/1.0") +
                   " 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"/" + mount_.toUtf8() + "\"\r\n\r\n");
    } else {
        c.socket->write(v2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\n"
                             "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                           : "ICY 200 OK\r\n");
        c.chunked = v2;
        c.streaming = true;
        c.since.restart();
        if (!tick_.isActive()) tick_.start();
        feed(c, rate_ > 0 ? 0 : backlog_limit);
    }
}

}  // namespace tessaly
