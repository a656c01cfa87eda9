#include "stream_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>
#include <cstring>

#include "rtcmdecw.h"

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
// After accept() failed (no file descriptor left), the next try.
constexpr int resume_ms = 100;

// Where the request's header lines end (after the empty line), or -1 while
// they go on. Lines end in CR LF or, from hand-made clients, in LF alone.
qsizetype header_end(const QByteArray& request) {
    for (qsizetype at = request.indexOf('\n'); at >= 0; at = request.indexOf('\n', at + 1)) {
        const qsizetype next = at + 1;
        if (request.mid(next, 1) == "\n") return next + 1;
        if (request.mid(next, 2) == "\r\n") return next + 2;
    }
    return -1;
}
}  // namespace

StreamServer::StreamServer(QByteArray data, int rate, bool loop, QObject* parent)
    : QObject(parent), data_(std::move(data)), rate_(rate), loop_(loop) {
    resume_.setSingleShot(true);
    connect(&resume_, &QTimer::timeout, this, [this] {
        acceptor_->setEnabled(true);
        accept();
    });
    tick_.setInterval(20);
    connect(&tick_, &QTimer::timeout, this, &StreamServer::pace);
}

StreamServer::~StreamServer() {
    for (Client& c : clients_) {
        c.socket->disconnect(this);
        c.socket->abort();
        delete c.socket;
    }
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

void StreamServer::setCaster(std::vector<Mount> mounts, const std::vector<User>& users) {
    caster_ = true;
    mounts_ = std::move(mounts);
    details_.clear();
    for (const Mount& m : mounts_) details_.push_back(advertised_format(m.data));
    credentials_.clear();
    for (const User& u : users) credentials_.insert((u.name + ":" + u.password).toUtf8().toBase64());
}

QByteArray advertised_format(const QByteArray& recording) {
    // The Z-count times of every frame, per type, in the order they came.
    FixedClock clock({2026, 1, 1, 0, 30, 0, 0});
    RtcmDecoder decoder(clock);
    std::map<int, std::vector<double>> times;
    decoder.rtcm_decode(std::span(reinterpret_cast<const std::uint8_t*>(recording.constData()), std::size_t(recording.size())),
                        [&](std::size_t) {
                            if (decoder.frame_completed)
                                times[decoder.header.msg_type].push_back(decoder.delivery.zcount * 0.6);
                        });
    // Each type's distinct times, carried across the hour and sorted.
    std::map<int, std::vector<double>> at;
    double span = 1;
    for (const auto& [type, t] : times) {
        std::vector<double>& a = at[type];
        double hours = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (i && t[i] + hours < a.back() - 1800) hours += 3600;
            a.push_back(t[i] + hours);
        }
        std::sort(a.begin(), a.end());
        span = std::max(span, a.back() - a.front());
    }
    QByteArray details;
    for (const auto& [type, a] : at) {
        // The usual step between the frames of the type: the median step
        // between their distinct times, so that the frames of one set,
        // which share a Z-count, and frames of two time scales sent in turn
        // (GPS and GLONASS measurements) count as the stream's pace. A type
        // sent once recurs with the recording when it loops.
        std::vector<double> steps;
        for (std::size_t i = 1; i < a.size(); ++i)
            if (a[i] - a[i - 1] > 0.05) steps.push_back(a[i] - a[i - 1]);
        double interval = span;
        if (!steps.empty()) {
            std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
            interval = steps[steps.size() / 2];
        }
        if (!details.isEmpty()) details += ',';
        details += QByteArray::number(type) + '(' + QByteArray::number(std::max(1L, std::lround(interval))) + ')';
    }
    return details;
}

std::pair<std::size_t, std::size_t> retimed_frames(const QByteArray& recording) {
    FixedClock clock({2026, 1, 1, 0, 30, 0, 0});
    RtcmDecoder decoder(clock);
    std::size_t found = 0;
    decoder.rtcm_decode(std::span(reinterpret_cast<const std::uint8_t*>(recording.constData()), std::size_t(recording.size())),
                        [&](std::size_t) { found += decoder.frame_completed; });
    LiveRetimer retimer;
    std::string out;
    retimer.process(recording.constData(), std::size_t(recording.size()), {}, out);
    return {retimer.frames(), found};
}

bool StreamServer::listen(const QHostAddress& address, quint16 port) {
    sockaddr_storage where{};
    socklen_t size = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&where);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&a->sin6_addr, &bytes, sizeof bytes);
        size = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&where);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(address.toIPv4Address());
        size = sizeof *a;
    }
    const int fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&where), size) != 0 || ::listen(fd, listen_backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return false;
    }
    listen_fd_ = fd;
    port_ = ntohs(where.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&where)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&where)->sin_port);
    acceptor_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(acceptor_, &QSocketNotifier::activated, this, &StreamServer::accept);
    return true;
}

quint16 StreamServer::port() const { return port_; }
QString StreamServer::errorString() const { return error_; }

StreamServer::Client* StreamServer::find(QTcpSocket* s) {
    for (Client& c : clients_)
        if (c.socket == s && !c.gone) return &c;
    return nullptr;
}

const StreamServer::Mount* StreamServer::mount_named(const QByteArray& name) const {
    for (const Mount& m : mounts_)
        if (m.name.toUtf8() == name) return &m;
    return nullptr;
}

void StreamServer::accept() {
    for (;;) {
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            auto* s = new QTcpSocket(this);
            s->setSocketDescriptor(fd);
            take(s);
        } else if (errno == EINTR || errno == ECONNABORTED) {
            continue;  // a client that left while waiting
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            // No descriptor left (EMFILE, ENFILE) or no memory: the waiting
            // clients stay in the backlog until the next try.
            const int error = errno;
            acceptor_->setEnabled(false);
            resume_.start(resume_ms);
            emit acceptFailed(QString::fromLocal8Bit(std::strerror(error)));
            break;
        }
    }
    if (!clients_.empty() && !tick_.isActive()) tick_.start();
    pace();
}

void StreamServer::take(QTcpSocket* s) {
    clients_.push_back(Client{s, caster_ ? nullptr : &data_, {}, {}, 0, false, false, !caster_, false, {},
                              live_ ? std::make_unique<LiveRetimer>() : nullptr});
    clients_.back().since.start();
    clients_.back().idle.start();
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
        c->idle.restart();
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
        if (!c) return;
        c->idle.restart();
        if (rate_ == 0 && c->streaming && !c->closing) feed(*c, c->sent + backlog_limit);
    });
    emit clientConnected();
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
        if (c.gone) continue;
        if (idle_limit_ms_ > 0 && c.idle.hasExpired(idle_limit_ms_)) {
            // Nothing either way for the limit: a reader that takes nothing
            // or a request that never comes holds a descriptor for nothing.
            c.socket->abort();
            c.gone = true;
            if (!sweep_due_) {
                sweep_due_ = true;
                QTimer::singleShot(0, this, &StreamServer::sweep);
            }
            continue;
        }
        if (c.closing || !c.streaming) continue;
        const qint64 due = rate_ > 0 ? c.since.elapsed() * rate_ / 1000 : c.sent + backlog_limit;
        feed(c, due);
    }
}

void StreamServer::write_body(Client& c, const char* data, qint64 n) {
    std::string timed;
    if (c.retimer) {
        const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        c.retimer->process(data, std::size_t(n), LiveRetimer::time_of(now, leap_seconds_), timed);
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
    const qint64 size = c.data->size();
    while (!c.closing && c.sent < upto && c.socket->bytesToWrite() < backlog_limit) {
        if (size == 0 || (!loop_ && c.sent >= size)) break;
        const qint64 at = c.sent % size;
        const qint64 n = std::min({upto - c.sent, size - at, backlog_limit});
        write_body(c, c.data->constData() + at, n);
        c.sent += n;
    }
    if (!c.closing && (size == 0 || (!loop_ && c.sent >= size))) end_body(c);
}

QByteArray StreamServer::sourcetable() const {
    QByteArray table;
    for (std::size_t i = 0; i < mounts_.size(); ++i)
        table += "STR;" + mounts_[i].name.toUtf8() + ";Tessaly;RTCM 2.3;" + details_[i] +
                 ";1;GPS;Tessaly;;0.00;0.00;0;0;tessaly-serve;none;" + (credentials_.isEmpty() ? "N" : "B") + ";N;" +
                 QByteArray::number(rate_ * 8) + ";\r\n";
    return table + "ENDSOURCETABLE\r\n";
}

void StreamServer::answer_request(Client& c) {
    const auto close_with = [&](const QByteArray& answer) {
        c.socket->write(answer);
        c.closing = true;
        c.socket->disconnectFromHost();
    };
    const qsizetype end = header_end(c.request);
    if (end < 0) {
        if (c.request.size() > max_request) close_with("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
        return;
    }
    const QList<QByteArray> lines = c.request.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    bool v2 = false, authorised = credentials_.isEmpty();
    for (const QByteArray& line : lines) {
        const QByteArray l = line.trimmed();
        if (l.toLower().startsWith("ntrip-version:") && l.contains("Ntrip/2.0")) v2 = true;
        if (l.toLower().startsWith("authorization:") && credentials_.contains(l.split(' ').value(2))) authorised = true;
    }
    c.request.clear();
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
    const Mount* mount = path.startsWith('/') ? mount_named(path.mid(1)) : nullptr;
    if (path == "/") {
        close_with(table_answer);
    } else if (!mount) {
        // A 1.0 caster answers an unknown mountpoint with its table.
        close_with(v2 ? QByteArray("HTTP/1.1 404 Not Found\r\nNtrip-Version: Ntrip/2.0\r\nConnection: close\r\n\r\n")
                      : table_answer);
    } else if (!authorised) {
        close_with(QByteArray(v2 ? "HTTP/1.1" : "HTTP/1.0") + " 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"" +
                   path + "\"\r\n\r\n");
    } else {
        c.socket->write(v2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\n"
                             "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                           : "ICY 200 OK\r\n");
        c.data = &mount->data;
        c.chunked = v2;
        c.streaming = true;
        c.since.restart();
        if (!tick_.isActive()) tick_.start();
        feed(c, rate_ > 0 ? 0 : backlog_limit);
    }
}

}  // namespace tessaly
