#include "tcp_client.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>

#include "error_seam.h"
#include "port_number.h"
#include "socket_keepalive.h"
#include "winsock_errors.h"

namespace tessaly {
namespace {

// Close gives up draining after this many receives, so that a peer that
// keeps sending cannot hold the event loop.
constexpr int kDrainLimit = 256;
// Write drops the rest of a text after this many would-block failures.
constexpr int kWouldBlockLimit = 101;

bool would_block(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

// A whole-number text as the framework's conversion reads it: leading
// blanks, an optional sign, decimal digits, nothing after them, and a value
// that fits in 32 bits.
std::optional<std::int32_t> integer_value(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' ')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return std::int32_t(value);
}

std::optional<std::uint16_t> tcp_service_port(const QString& name) {
    const QByteArray n = name.toLocal8Bit();
    servent entry{};
    servent* found = nullptr;
    std::array<char, 1024> scratch{};
    if (getservbyname_r(n.constData(), "tcp", &entry, scratch.data(), scratch.size(), &found) != 0 ||
        found == nullptr)
        return std::nullopt;
    return ntohs(std::uint16_t(found->s_port));
}

// The first IPv4 address of a host name; the lookup blocks.
std::optional<in_addr> lookup_ipv4(const QByteArray& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &list) != 0 || list == nullptr)
        return std::nullopt;
    const in_addr address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return address;
}

}  // namespace

TTCPClient::TTCPClient(QObject* owner) : QObject(owner) {
    // There is no socket layer to start on Linux; the texts say what this
    // one is. The version is that of the interface the channel offers.
    utsname system{};
    const QString kernel = uname(&system) == 0
                               ? QString::fromLocal8Bit(system.sysname) + QLatin1Char(' ') +
                                     QString::fromLocal8Bit(system.release)
                               : QStringLiteral("Linux");
    version_ = QStringLiteral("1.1");
    description_ = QStringLiteral("POSIX sockets on ") + kernel;
    system_status_ = QStringLiteral("Running");
}

TTCPClient::~TTCPClient() {
    alive_.reset();
    // No handler may run for a channel that is going away.
    OnConnect = nullptr;
    OnData = nullptr;
    OnClose = nullptr;
    OnError = nullptr;
    Close();
    if (fd_ >= 0) release_socket();
}

template <class Slot, class... Args>
bool TTCPClient::dispatch(const Slot& slot, Args... args) {
    if (!slot) return true;
    const std::weak_ptr<bool> alive = alive_;
    const Slot handler = slot;  // the slot may be reassigned while it runs
    run_guarded([&] { handler(*this, args...); });
    return !alive.expired();
}

bool TTCPClient::report(int code) {
    last_error_ = code;
    return dispatch(OnError, code, winsock_text(code));
}

void TTCPClient::Open() {
    if (state_ != State::Closed) return;

    std::uint16_t port = 0;
    if (const auto service = tcp_service_port(Port)) {
        port = *service;
    } else {
        const auto number = integer_value(Port);
        if (!number) throw Failure(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(Port));
        // Outside 1..65535 the number names no port (port_number.h).
        if (!port_in_range(*number)) {
            report(kWsaInvalidArgument);
            return;
        }
        port = std::uint16_t(*number);
    }

    const QByteArray host = Host.toLocal8Bit();
    in_addr address{};
    if (inet_aton(host.constData(), &address) == 0) {
        const auto found = lookup_ipv4(host);
        if (!found) {
            // Reported like a refused connect: the channel stays Closed, so
            // that the next Open tries again.
            report(kWsaHostNotFound);
            return;
        }
        address = *found;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        report(winsock_code(errno));
        return;
    }
    const int on = 1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = address;
    // A link that is cut shows no close: without keepalive probes a quiet
    // connection (a source, the station-list download) would look alive
    // for hours.
    enable_short_keepalive(fd);
    if (::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on) != 0 ||
        (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
         errno != EINPROGRESS && errno != EINTR)) {
        const int e = errno;
        ::close(fd);
        report(winsock_code(e));
        return;
    }

    fd_ = fd;
    ++connection_;
    // Readable data are watched from the completed connect on; until then
    // the socket's becoming writable is the connect completion.
    readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    readable_->setEnabled(false);
    writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(readable_, &QSocketNotifier::activated, this, [this] { on_readable(); });
    connect(writable_, &QSocketNotifier::activated, this, [this] { on_writable(); });
    state_ = State::Connecting;
}

void TTCPClient::on_writable() {
    writable_->setEnabled(false);
    if (state_ != State::Connecting) return;
    const int fd = fd_;
    const std::uint64_t connection = connection_;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
        // The attempt is over: the channel closes itself, so that the next
        // Open tries again instead of finding it still Connecting.
        if (report(winsock_code(error)) && state_ == State::Connecting && connection_ == connection) Close();
        return;
    }
    if (!dispatch(OnConnect, fd)) return;
    if (state_ == State::Connecting && connection_ == connection) {
        state_ = State::Connected;
        readable_->setEnabled(true);
    }
}

void TTCPClient::on_readable() {
    if (state_ != State::Connected) return;
    // No further event of this channel while its handler runs, even if the
    // handler shows a modal box.
    readable_->setEnabled(false);
    const int fd = fd_;
    const std::uint64_t connection = connection_;
    char probe = 0;
    const ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK);
    if (n > 0) {
        // Unread data are delivered before the close is looked at, so that
        // every byte the peer sent reaches OnData.
        in_data_event_ = true;
        read_in_event_ = false;
        if (!dispatch(OnData, fd)) return;
        in_data_event_ = false;
        // Like the select notifications: the next data event follows a
        // receive. A handler that did not read waits for its next Read.
        if (read_in_event_ && state_ == State::Connected && connection_ == connection) readable_->setEnabled(true);
        return;
    }
    if (n < 0 && would_block(errno)) {
        readable_->setEnabled(true);
        return;
    }
    peer_closed(n == 0 ? 0 : errno);
}

void TTCPClient::peer_closed(int linux_errno) {
    const int code = linux_errno == 0 ? 0 : winsock_code(linux_errno);
    if (code == kWsaNetworkDown) {
        report(code);
        return;
    }
    close_code_ = code;
    const std::uint64_t connection = connection_;
    if (!dispatch(OnClose, fd_)) return;
    // The handler may have closed this connection and opened the next one
    // (a retry behind a modal box): that one is not this close's to end.
    if (connection_ == connection) Close();
}

void TTCPClient::Close() {
    if (state_ != State::Connecting && state_ != State::Connected) return;
    readable_->setEnabled(false);
    writable_->setEnabled(false);
    if (::shutdown(fd_, SHUT_WR) != 0 && errno != ENOTCONN) {
        report(winsock_code(errno));
        return;
    }
    // What is still unread goes unread: the user closed the connection.
    for (int i = 0; i < kDrainLimit; ++i)
        if (::recv(fd_, buffer_.data(), buffer_.size(), 0) <= 0) break;
    release_socket();
}

void TTCPClient::release_socket() {
    // The notifiers may be the ones whose event is running: delete them later.
    for (QSocketNotifier* n : {readable_, writable_}) {
        if (n == nullptr) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    readable_ = nullptr;
    writable_ = nullptr;
    // Linux releases the descriptor even when close reports an error.
    ::close(fd_);
    fd_ = -1;
    state_ = State::Closed;
}

QByteArray TTCPClient::Read() {
    if (fd_ < 0) {
        report(kWsaNotSocket);
        return {};
    }
    const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
    const int e = errno;
    if (in_data_event_)
        read_in_event_ = true;
    else if (state_ == State::Connected)
        readable_->setEnabled(true);
    if (n > 0) return QByteArray(buffer_.data(), n);
    if (n < 0 && !would_block(e)) report(winsock_code(e));
    return {};
}

void TTCPClient::Write(const QByteArray& text) {
    if (text.isEmpty()) return;
    if (fd_ < 0) {
        report(kWsaNotSocket);
        return;
    }
    qsizetype sent = 0;
    int blocked = 0;
    while (sent < text.size()) {
        // MSG_NOSIGNAL: a peer that has gone must give an error, not SIGPIPE.
        const ssize_t n = ::send(fd_, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL);
        if (n >= 0) {
            sent += n;
        } else if (would_block(errno)) {
            if (++blocked >= kWouldBlockLimit) return;
        } else {
            report(winsock_code(errno));
            return;
        }
    }
}

QString TTCPClient::LocalHostName() const {
    std::array<char, 129> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return {};
    return QString::fromLocal8Bit(name.data());
}

QString TTCPClient::LocalHostAddress() const {
    const auto address = lookup_ipv4(LocalHostName().toLocal8Bit());
    if (!address) return {};
    std::array<char, INET_ADDRSTRLEN> text{};
    return QString::fromLatin1(inet_ntop(AF_INET, &*address, text.data(), text.size()));
}

QString TTCPClient::LocalPort() const {
    if (fd_ < 0) return {};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    return QString::number(ntohs(local.sin_port));
}

}  // namespace tessaly
