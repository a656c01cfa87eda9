#include "stream_server.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace tessaly {

namespace {
// Unsent bytes kept in a socket's buffer at most, so that a slow reader is
// paced by the network rather than by a growing queue.
constexpr qint64 backlog_limit = 64 * 1024;
}  // namespace

StreamServer::StreamServer(QByteArray data, int rate, bool loop, QObject* parent)
    : QObject(parent), data_(std::move(data)), rate_(rate), loop_(loop), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &StreamServer::accept);
    tick_.setInterval(20);
    connect(&tick_, &QTimer::timeout, this, &StreamServer::pace);
}

StreamServer::~StreamServer() {
    // Aborting emits disconnected() at once; that handler must not run on
    // the list being walked.
    std::list<Client> clients;
    clients.swap(clients_);
    for (Client& c : clients) {
        c.socket->disconnect(this);
        c.socket->abort();
    }
}

bool StreamServer::listen(const QHostAddress& address, quint16 port) { return server_->listen(address, port); }
quint16 StreamServer::port() const { return server_->serverPort(); }
QString StreamServer::errorString() const { return server_->errorString(); }

void StreamServer::accept() {
    while (QTcpSocket* s = server_->nextPendingConnection()) {
        clients_.push_back(Client{s, {}, 0, false});
        clients_.back().since.start();
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            clients_.remove_if([s](const Client& c) { return c.socket == s; });
            s->deleteLater();
            emit clientFinished();
        });
        emit clientConnected();
    }
    if (!tick_.isActive()) tick_.start();
    pace();
}

void StreamServer::pace() {
    for (Client& c : clients_) {
        if (c.closing) continue;
        const qint64 due = rate_ > 0 ? c.since.elapsed() * rate_ / 1000 : c.sent + backlog_limit;
        feed(c, due);
    }
    if (clients_.empty()) tick_.stop();
}

void StreamServer::feed(Client& c, qint64 upto) {
    const qint64 size = data_.size();
    while (c.sent < upto && c.socket->bytesToWrite() < backlog_limit) {
        if (size == 0 || (!loop_ && c.sent >= size)) {
            // The whole recording went out: close once it is written.
            c.closing = true;
            c.socket->disconnectFromHost();
            return;
        }
        const qint64 at = c.sent % size;
        const qint64 n = std::min({upto - c.sent, size - at, backlog_limit});
        c.socket->write(data_.constData() + at, n);
        c.sent += n;
    }
    if (!loop_ && c.sent >= size && !c.closing) {
        c.closing = true;
        c.socket->disconnectFromHost();
    }
}

}  // namespace tessaly
