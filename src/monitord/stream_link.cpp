#include "stream_link.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QDateTime>
#include <QHostInfo>
#include <QObject>

#include <cerrno>
#include <cstring>

#include "ntrip_client.h"
#include "posix_io.h"
#include "socket_keepalive.h"

namespace tessaly::monitord {

namespace {

// One buffer for every read: the streams are read one after the other.
std::uint8_t read_buffer[65536];

QString system_error(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

double seconds_of(const timespec& t) { return double(t.tv_sec) + double(t.tv_nsec) * 1e-9; }

double clock_now() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return seconds_of(t);
}

// A line from the peer made safe to show: printable ASCII only, short.
QString shown(std::string_view text) {
    QString s;
    for (const char c : text.substr(0, 60)) s += (c >= 0x20 && c < 0x7f) ? QChar(c) : QChar('.');
    return s;
}

}  // namespace

StreamLink::StreamLink(Reactor& reactor, const SourceSetup& source) : reactor_(reactor), source_(source) {}

StreamLink::~StreamLink() {
    *alive_ = false;
    drop();
}

QString StreamLink::where() const { return QString::fromStdString(source_.name()); }

QString StreamLink::caster() const {
    const QString w = where();
    return source_.kind == SourceSetup::Kind::ntrip ? w.left(w.lastIndexOf('/')) : w;
}

void StreamLink::open() {
    drop();
    answered_ = false;
    asked_ = source_.url.version == ntrip::Version::v1 ? ntrip::Version::v1 : ntrip::Version::v2;
    if (source_.kind == SourceSetup::Kind::ntrip && source_.url.tls) {
        tls_ = std::make_unique<NtripClient>();
        tls_->setUrl(source_.url);
        tls_->setSilenceLimit(0);  // the supervisor watches for silence
        if (source_.gga)
            tls_->setGga(NtripClient::GgaPosition{source_.gga->latitude, source_.gga->longitude, source_.gga->height});
        QObject::connect(tls_.get(), &NtripClient::receiving, [this] {
            if (on_connected) on_connected();
        });
        QObject::connect(tls_.get(), &NtripClient::streamData, [this](const QByteArray& b) {
            deliver(reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size()), clock_now());
        });
        QObject::connect(tls_.get(), &NtripClient::failed, [this](NtripClient::Failure, const QString& message) {
            // Reported from the event loop: the channel is still inside its
            // own handler, and the owner may open it again at once.
            const auto alive = alive_;
            QTimer::singleShot(0, [this, alive, message] {
                if (*alive) fail(message);
            });
        });
        state_ = State::connecting;
        tls_->open();
        return;
    }
    if (source_.kind == SourceSetup::Kind::serial) {
        fd_ = ::open(source_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            const int e = errno;
            state_ = State::connecting;
            fail("cannot open " + where() + ": " + system_error(e));
            return;
        }
        termios t{};
        if (::tcgetattr(fd_, &t) == 0) {
            ::cfmakeraw(&t);
            t.c_cflag |= CLOCAL | CREAD;
            const speed_t speed = posix::baud_constant(source_.baud);
            if (speed != B0) {
                ::cfsetispeed(&t, speed);
                ::cfsetospeed(&t, speed);
            }
            ::tcsetattr(fd_, TCSANOW, &t);
        }
        state_ = State::streaming;
        reactor_.add(fd_, EPOLLIN | EPOLLRDHUP | EPOLLET, this);
        if (on_connected) on_connected();
        return;
    }
    const std::string& host = source_.kind == SourceSetup::Kind::ntrip ? source_.url.host : source_.host;
    state_ = State::resolving;
    QHostAddress numeric;
    if (numeric.setAddress(QString::fromStdString(host))) {
        resolved({numeric}, {});
        return;
    }
    lookup_ = std::make_unique<QObject>();
    QHostInfo::lookupHost(QString::fromStdString(host), lookup_.get(), [this](const QHostInfo& info) {
        resolved(info.addresses(), info.error() == QHostInfo::NoError ? QString() : info.errorString());
    });
}

void StreamLink::resolved(const QList<QHostAddress>& addresses, const QString& error) {
    if (state_ != State::resolving) return;
    if (addresses.isEmpty()) {
        const QString host = QString::fromStdString(source_.kind == SourceSetup::Kind::ntrip ? source_.url.host : source_.host);
        fail("cannot find host " + host + " (" + where() + ")" + (error.isEmpty() ? QString() : ": " + error));
        return;
    }
    addresses_ = addresses;
    next_address_ = 0;
    connect_error_.clear();
    connect_next();
}

void StreamLink::connect_next() {
    while (next_address_ < addresses_.size()) {
        const QHostAddress& a = addresses_[next_address_++];
        const int port = source_.kind == SourceSetup::Kind::ntrip ? source_.url.port : source_.port;
        sockaddr_storage ss{};
        socklen_t len = 0;
        if (a.protocol() == QAbstractSocket::IPv6Protocol) {
            auto* s6 = reinterpret_cast<sockaddr_in6*>(&ss);
            s6->sin6_family = AF_INET6;
            s6->sin6_port = htons(std::uint16_t(port));
            const Q_IPV6ADDR bytes = a.toIPv6Address();
            std::memcpy(&s6->sin6_addr, &bytes, 16);
            len = sizeof *s6;
        } else {
            auto* s4 = reinterpret_cast<sockaddr_in*>(&ss);
            s4->sin_family = AF_INET;
            s4->sin_port = htons(std::uint16_t(port));
            s4->sin_addr.s_addr = htonl(a.toIPv4Address());
            len = sizeof *s4;
        }
        fd_ = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            connect_error_ = system_error(errno);
            continue;
        }
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&ss), len) == 0 || errno == EINPROGRESS) {
            state_ = State::connecting;
            reactor_.add(fd_, EPOLLOUT | EPOLLRDHUP | EPOLLET, this);
            return;
        }
        connect_error_ = errno == ECONNREFUSED ? QStringLiteral("connection refused") : system_error(errno);
        ::close(fd_);
        fd_ = -1;
    }
    fail("cannot connect to " + where() + ": " + (connect_error_.isEmpty() ? QStringLiteral("no address") : connect_error_));
}

void StreamLink::ready(std::uint32_t events) {
    if (state_ == State::connecting) {
        if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) return;
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            connect_error_ = error == ECONNREFUSED ? QStringLiteral("connection refused") : system_error(error);
            reactor_.remove(fd_);
            ::close(fd_);
            fd_ = -1;
            connect_next();
            return;
        }
        on_connected_socket();
        return;
    }
    on_readable(events);
}

void StreamLink::on_connected_socket() {
    enable_short_keepalive(fd_);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    reactor_.modify(fd_, EPOLLIN | EPOLLRDHUP | EPOLLET);
    if (source_.kind == SourceSetup::Kind::tcp) {
        state_ = State::streaming;
        if (on_connected) on_connected();
        return;
    }
    state_ = State::requesting;
    answer_ = ntrip::AnswerParser();
    head_.clear();
    std::string gga;
    if (source_.gga) {
        const QTime t = QDateTime::currentDateTimeUtc().time();
        gga = ntrip::gga_sentence(source_.gga->latitude, source_.gga->longitude, source_.gga->height, t.hour(),
                                  t.minute(), t.second() + t.msec() / 1000.0);
    }
    const std::string request = ntrip::build_request(source_.url, asked_, gga);
    // A few hundred bytes into an empty send buffer: written at once.
    if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        fail("connection to " + where() + ": the request could not be sent");
}

void StreamLink::on_readable(std::uint32_t events) {
    // Edge-triggered: read until a read comes back short, which for a
    // socket or a terminal means that no more data are waiting (the next
    // bytes raise the next edge). One read per wake-up in the usual case,
    // and no second look by epoll at every ready descriptor. The peer's end
    // may have come with the last data, raising no edge of its own: then
    // the reading goes on until the end is read.
    const bool hangup = events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR);
    ssize_t n;
    do {
        double arrival = 0;
        n = receive(arrival);
        if (n <= 0) break;
        const auto alive = alive_;
        if (source_.kind != SourceSetup::Kind::ntrip) deliver(read_buffer, std::size_t(n), arrival);
        else take_answer(read_buffer, std::size_t(n), arrival);
        if (!*alive || fd_ < 0) return;
    } while (n == ssize_t(sizeof read_buffer) || (hangup && n > 0));
    if (n > 0 || (n < 0 && errno == EAGAIN)) return;
    if (n < 0 && errno == EINTR) {
        on_readable(events);
        return;
    }
    if (n < 0 && source_.kind != SourceSetup::Kind::serial) {
        fail("connection to " + where() + ": " + system_error(errno));
        return;
    }
    ended();
}

ssize_t StreamLink::receive(double& arrival) {
    if (source_.kind == SourceSetup::Kind::serial) {
        const ssize_t n = ::read(fd_, read_buffer, sizeof read_buffer);
        arrival = clock_now();
        return n;
    }
    iovec io{read_buffer, sizeof read_buffer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr m{};
    m.msg_iov = &io;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd_, &m, 0);
    arrival = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); n > 0 && c; c = CMSG_NXTHDR(&m, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t{};
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            arrival = seconds_of(t);
        }
    }
    if (arrival == 0) arrival = clock_now();
    return n;
}

void StreamLink::ended() {
    if (source_.kind == SourceSetup::Kind::serial) {
        fail(where() + " went away");
        return;
    }
    if (source_.kind == SourceSetup::Kind::tcp) {
        fail(where() + " closed the connection");
        return;
    }
    using R = ntrip::AnswerParser::Result;
    switch (answer_.result()) {
    case R::pending:
        if (state_ == State::requesting && answer_.reason().empty() && retry_as_v1()) return;
        fail("NTRIP caster " + where() + " closed the connection without an answer");
        return;
    case R::sourcetable:
        fail("NTRIP caster " + caster() + " has no mountpoint " + QString::fromStdString(source_.url.mount) +
             " (it sent its sourcetable)");
        return;
    default: {
        scratch_.clear();
        answer_.end_of_input(scratch_);
        const auto alive = alive_;
        if (!scratch_.empty())
            deliver(reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size(), clock_now());
        if (!*alive || state_ == State::idle) return;
        if (answer_.body_cut()) fail("the stream from " + where() + " broke off inside a chunk");
        else fail("NTRIP caster " + where() + " closed the connection");
    }
    }
}

bool StreamLink::retry_as_v1() {
    // A 1.0 caster may refuse or drop a 2.0 request; ask once more in 1.0.
    if (source_.url.version != ntrip::Version::automatic || asked_ != ntrip::Version::v2) return false;
    drop();
    asked_ = ntrip::Version::v1;
    state_ = State::resolving;
    resolved(addresses_, {});
    return true;
}

void StreamLink::take_answer(const std::uint8_t* data, std::size_t size, double arrival) {
    if (head_.size() < 60) head_.append(reinterpret_cast<const char*>(data), std::min(size, 60 - head_.size()));
    scratch_.clear();
    using R = ntrip::AnswerParser::Result;
    const R result = answer_.feed(data, size, scratch_);
    switch (result) {
    case R::pending:
        return;
    case R::sourcetable:  // instead of the stream: a 1.0 caster's "no such mountpoint"
        if (answer_.sourcetable_complete() || answer_.sourcetable_overflow())
            fail("NTRIP caster " + caster() + " has no mountpoint " + QString::fromStdString(source_.url.mount) +
                 " (it sent its sourcetable)");
        return;
    case R::stream: {
        if (!answered_) {
            answered_ = true;
            state_ = State::streaming;
            gga_wait_ = 10;
            if (on_connected) on_connected();
            if (state_ != State::streaming) return;
        }
        const auto alive = alive_;
        if (!scratch_.empty()) deliver(reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size(), arrival);
        if (!*alive || state_ != State::streaming) return;
        if (answer_.framing_failed()) fail("the stream from " + where() + " broke its chunked framing");
        else if (answer_.body_ended()) fail("NTRIP caster " + where() + " ended the stream");
        return;
    }
    case R::unauthorized:
        fail("NTRIP caster " + where() + " refused the user name or password (401 Unauthorized)");
        return;
    case R::not_found:
        fail("NTRIP caster " + caster() + " has no mountpoint " + QString::fromStdString(source_.url.mount) +
             " (404 Not Found)");
        return;
    case R::http_error:
        if (retry_as_v1()) return;
        fail("NTRIP caster " + where() + " answered: " + shown(answer_.reason()));
        return;
    case R::not_ntrip:
        if (answer_.header_overflow()) {
            fail("NTRIP caster " + where() + " sent more than 16 KiB of header lines");
            return;
        }
        // The first line, however it ends.
        fail(where() + " does not answer as an NTRIP caster (it sent \"" + shown(head_.substr(0, head_.find_first_of("\r\n"))) +
             "\")");
        return;
    }
}

void StreamLink::deliver(const std::uint8_t* data, std::size_t size, double arrival) {
    if (on_data) on_data(std::span<const std::uint8_t>(data, size), arrival);
}

void StreamLink::fail(const QString& text) {
    if (state_ == State::idle) return;
    drop();
    if (on_failed) on_failed(text);
}

void StreamLink::drop() {
    state_ = State::idle;
    lookup_.reset();
    if (fd_ >= 0) {
        reactor_.remove(fd_);
        ::close(fd_);
        fd_ = -1;
    }
    if (tls_) {
        tls_->disconnect();
        tls_->close();
        // Not deleted here: this may run inside one of its own signals.
        tls_.release()->deleteLater();
    }
}

void StreamLink::close() { drop(); }

void StreamLink::tick() {
    if (state_ != State::streaming || !source_.gga || source_.kind != SourceSetup::Kind::ntrip || tls_) return;
    if (--gga_wait_ > 0) return;
    gga_wait_ = 10;
    send_gga();
}

void StreamLink::send_gga() {
    const QTime t = QDateTime::currentDateTimeUtc().time();
    const std::string s = ntrip::gga_sentence(source_.gga->latitude, source_.gga->longitude, source_.gga->height,
                                              t.hour(), t.minute(), t.second() + t.msec() / 1000.0);
    const ssize_t ignored = ::send(fd_, s.data(), s.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)ignored;
}

}  // namespace tessaly::monitord
