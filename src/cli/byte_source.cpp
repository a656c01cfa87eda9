#include "byte_source.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>

#include "json_output.h"
#include "ntrip_client.h"
#include "port_number.h"
#include "posix_io.h"
#include "reconnect_policy.h"
#include "socket_keepalive.h"

namespace tessaly::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The stop signals write to this pipe; every wait watches its read end, and
// since nobody reads it, a stop stays visible to all later waits.
int stop_pipe[2] = {-1, -1};
volatile std::sig_atomic_t stop_seen = 0;

// Every second after a stop: a write that began just before the stop
// signal came, and waits on a reader that takes nothing, returns EINTR.
extern "C" void on_alarm(int) {
    if (stop_seen) ::alarm(1);
}

extern "C" void on_stop_signal(int) {
    stop_seen = 1;
    ::alarm(1);
    if (stop_pipe[1] >= 0) {
        const ssize_t ignored = ::write(stop_pipe[1], "x", 1);
        (void)ignored;
    }
}

enum class Wait { ready, stopped, timeout };

// Calls the owner's tick about once a second while a live source is read
// or waited for, whether data flow or not.
class Ticks {
public:
    explicit Ticks(const std::function<void(UtcTime)>& tick) : tick_(tick) {}
    // Ticks when a second has passed since the last tick.
    void maybe() {
        if (!tick_) return;
        const auto now = Clock::now();
        if (now < next_) return;
        next_ = now + std::chrono::seconds(1);
        tick_(std::chrono::system_clock::now());
    }
    // A poll timeout shortened so that the next tick is not missed.
    int cap(int timeout_ms) const {
        if (!tick_) return timeout_ms;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_ - Clock::now()).count();
        const int until = int(std::clamp<long long>(left, 0, 1000)) + 1;
        return timeout_ms < 0 ? until : std::min(timeout_ms, until);
    }

private:
    const std::function<void(UtcTime)>& tick_;
    Clock::time_point next_ = Clock::now() + std::chrono::seconds(1);
};

// Waits until `fd` has `events`, a stop signal came, or `timeout_ms` passed
// (-1: no limit), ticking meanwhile when `ticks` is given.
Wait wait_for(int fd, short events, int timeout_ms, Ticks* ticks = nullptr) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        if (stop_seen) return Wait::stopped;
        int slice = timeout_ms;
        if (timeout_ms >= 0)
            slice = int(std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
        if (ticks) slice = ticks->cap(slice);
        pollfd p[2] = {{fd, events, 0}, {stop_pipe[0], POLLIN, 0}};
        const int n = ::poll(p, stop_pipe[0] >= 0 ? 2 : 1, slice);
        if (n < 0 && errno == EINTR) continue;
        if (stop_seen || (p[1].revents & POLLIN)) return Wait::stopped;
        if (ticks) ticks->maybe();
        if (n > 0) return Wait::ready;
        if (timeout_ms >= 0 && Clock::now() >= deadline) return Wait::timeout;
    }
}

// Files and standard input: read to the end as fast as they come.
SourceEnd read_plain(int fd, const std::string& what, const ChunkSink& sink) {
    struct stat st {};
    const bool may_block = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
    std::array<std::uint8_t, 65536> buf{};
    for (;;) {
        if (may_block && wait_for(fd, POLLIN, -1) == Wait::stopped) return {SourceEnd::How::stopped, {}};
        if (stop_seen) return {SourceEnd::How::stopped, {}};
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n > 0) {
            sink(std::span<const std::uint8_t>(buf.data(), std::size_t(n)));
        } else if (n == 0) {
            return {};
        } else if (errno != EINTR && errno != EAGAIN) {
            return {SourceEnd::How::failed, "cannot read " + what + ": " + std::strerror(errno)};
        }
    }
}

// How one connection (or one opening of a device) ended.
struct Attempt {
    enum class How { ended, failed, stopped };
    How how = How::ended;
    std::string reason;
    Clock::duration receiving{};  // first byte to last byte
};

// Counts when data flowed, for the reconnect policy.
struct DataClock {
    std::optional<Clock::time_point> first, last;
    void tick() {
        last = Clock::now();
        if (!first) first = last;
    }
    Clock::duration span() const { return first ? *last - *first : Clock::duration{}; }
};

// A connected socket or an open device: read until it ends, fails, stays
// silent for the limit, or a stop signal comes.
Attempt read_live(int fd, const std::string& what, const std::string& end_text, const SourceOptions& o,
                  const ChunkSink& sink) {
    const int silence_s = o.silence_s;
    std::array<std::uint8_t, 65536> buf{};
    DataClock clock;
    Ticks ticks(o.on_tick);
    for (;;) {
        const Wait w = wait_for(fd, POLLIN, silence_s > 0 ? silence_s * 1000 : -1, &ticks);
        if (w == Wait::stopped) return {Attempt::How::stopped, {}, clock.span()};
        if (w == Wait::timeout)
            return {Attempt::How::failed, "no data from " + what + " for " + std::to_string(silence_s) + " s",
                    clock.span()};
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n > 0) {
            clock.tick();
            sink(std::span<const std::uint8_t>(buf.data(), std::size_t(n)));
        } else if (n == 0) {
            return {Attempt::How::ended, end_text, clock.span()};
        } else if (errno != EINTR && errno != EAGAIN) {
            return {Attempt::How::failed, "cannot read " + what + ": " + std::strerror(errno), clock.span()};
        }
    }
}

Attempt attempt_tcp(const std::string& endpoint, const SourceOptions& o, const ChunkSink& sink) {
    const auto fail = [](std::string why) { return Attempt{Attempt::How::failed, std::move(why), {}}; };
    const auto colon = endpoint.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == endpoint.size())
        return fail("bad TCP source 'tcp://" + endpoint + "': expected tcp://HOST:PORT");
    std::string host = endpoint.substr(0, colon);
    const std::string port = endpoint.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    // A number must name a port; getaddrinfo would cut it to 16 bits. Other
    // texts are service names ("rtcm-sc104").
    if (port.find_first_not_of("0123456789") == std::string::npos && !parse_port(port))
        return fail("bad TCP source 'tcp://" + endpoint + "': the port must be 1..65535");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0)
        return fail("cannot resolve " + host + ":" + port + ": " + ::gai_strerror(rc));
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

    std::string last_error = "no address";
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            last_error = std::strerror(errno);
            continue;
        }
        posix::FdCloser closer{fd};
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                last_error = std::strerror(errno);
                continue;
            }
            // A host that never answers is given up after the silence limit.
            Ticks ticks(o.on_tick);
            const Wait w = wait_for(fd, POLLOUT, o.silence_s > 0 ? o.silence_s * 1000 : -1, &ticks);
            if (w == Wait::stopped) return {Attempt::How::stopped, {}, {}};
            int error = ETIMEDOUT;
            socklen_t len = sizeof error;
            if (w == Wait::ready) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0) {
                last_error = std::strerror(error);
                continue;
            }
        }
        enable_short_keepalive(fd);
        return read_live(fd, "tcp://" + endpoint, "tcp://" + endpoint + " closed the connection", o, sink);
    }
    return fail("cannot connect to " + host + ":" + port + ": " + last_error);
}

Attempt attempt_serial(const std::string& path, const SourceOptions& o, const ChunkSink& sink) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {Attempt::How::failed, "cannot open " + path + ": " + std::strerror(errno), {}};
    posix::FdCloser closer{fd};
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, posix::baud_constant(o.baud));
        ::cfsetospeed(&t, posix::baud_constant(o.baud));
        if (::tcsetattr(fd, TCSANOW, &t) != 0)
            return {Attempt::How::failed, "cannot set up " + path + ": " + std::strerror(errno), {}};
    }
    // A vanished device (adapter pulled, pty peer gone) reads as an error.
    return read_live(fd, path, path + " went away", o, sink);
}

Attempt attempt_ntrip(const ntrip::Url& url, const SourceOptions& o, const ChunkSink& sink) {
    ensure_qt_application();
    QEventLoop loop;
    NtripClient client;
    client.setUrl(url);
    client.setSilenceLimit(o.silence_s);
    Attempt a;
    DataClock clock;
    QObject::connect(&client, &NtripClient::streamData, [&](const QByteArray& b) {
        clock.tick();
        sink(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())));
    });
    QObject::connect(&client, &NtripClient::failed, [&](NtripClient::Failure kind, const QString& message) {
        a.how = kind == NtripClient::Failure::closed_by_peer ? Attempt::How::ended : Attempt::How::failed;
        a.reason = message.toStdString();
    });
    QObject::connect(&client, &NtripClient::closed, &loop, &QEventLoop::quit);
    QTimer ticker;
    if (o.on_tick) {
        QObject::connect(&ticker, &QTimer::timeout, [&] { o.on_tick(std::chrono::system_clock::now()); });
        ticker.start(1000);
    }
    QSocketNotifier stop(stop_pipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&] {
        a.how = Attempt::How::stopped;
        stop.setEnabled(false);
        client.close();
    });
    if (stop_seen) return {Attempt::How::stopped, {}, {}};
    client.open();
    loop.exec();
    a.receiving = clock.span();
    return a;
}

// The wait between attempts; false when a stop signal came.
bool pause(std::chrono::seconds wait, const SourceOptions& o) {
    if (stop_pipe[0] < 0) {
        ::sleep(unsigned(wait.count()));
        return !stop_seen;
    }
    Ticks ticks(o.on_tick);
    return wait_for(stop_pipe[0], POLLIN, int(wait.count() * 1000), &ticks) == Wait::timeout;
}

using AttemptFn = std::function<Attempt(const ChunkSink&)>;

// Runs attempts one after the other; without `reconnect` just one.
SourceEnd follow(const std::string& name, const AttemptFn& attempt, const SourceOptions& o, const ChunkSink& sink) {
    ReconnectPolicy policy;
    std::optional<Outage> outage;
    const auto tell = [&](SourceEvent::Kind kind, const std::string& reason) {
        if (!o.on_event) return;
        SourceEvent e{kind, std::chrono::system_clock::now(), name, reason, {}};
        if (outage) e.outage = *outage;
        o.on_event(e);
    };
    const auto end_outage = [&](bool ongoing) {
        if (!outage) return;
        outage->end = std::chrono::system_clock::now();
        outage->ongoing = ongoing;
        tell(SourceEvent::Kind::outage_end, outage->reason);
        outage.reset();
    };
    for (;;) {
        bool first = true;
        // An outage starts with the last byte before the failure, not when
        // the failure was noticed (a silence limit later).
        std::optional<UtcTime> last_byte;
        const ChunkSink counted = [&](std::span<const std::uint8_t> chunk) {
            if (first) {
                first = false;
                end_outage(false);
            }
            last_byte = std::chrono::system_clock::now();
            sink(chunk);
        };
        if (outage) ++outage->attempts;
        const Attempt a = attempt(counted);
        if (a.how == Attempt::How::stopped) {
            end_outage(true);
            return {SourceEnd::How::stopped, {}};
        }
        tell(SourceEvent::Kind::failed, a.reason);
        if (!o.reconnect) {
            if (a.how == Attempt::How::failed) return {SourceEnd::How::failed, a.reason};
            return {};
        }
        if (!outage) {
            outage = Outage{name, last_byte.value_or(std::chrono::system_clock::now()), {}, a.reason, 0, false};
            tell(SourceEvent::Kind::outage_begin, a.reason);
        }
        if (!pause(policy.next_wait(a.receiving), o)) {
            end_outage(true);
            return {SourceEnd::How::stopped, {}};
        }
    }
}

bool is_serial_device(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

}  // namespace

void ensure_qt_application() {
    static int argc = 1;
    static char name[] = "tessaly-decode";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) static QCoreApplication app(argc, argv);
}

void install_stop_signals() {
    if (stop_pipe[0] < 0 && ::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) stop_pipe[0] = stop_pipe[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a blocked read returns at once
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = on_alarm;
    ::sigaction(SIGALRM, &sa, nullptr);
}

namespace {

void use_login(ntrip::Url& url, const std::optional<credentials::Login>& login) {
    if (!login) return;
    url.user = login->user;
    url.password = login->password;
    url.has_credentials = url.has_password = true;
}

}  // namespace

bool stop_requested() { return stop_seen != 0; }

SourceEnd read_source(const std::string& source, const ChunkSink& sink, const SourceOptions& options) {
    if (source == "-") return read_plain(STDIN_FILENO, "standard input", sink);
    if (source.starts_with("tcp://")) {
        const std::string endpoint = source.substr(6);
        return follow(source, [&](const ChunkSink& s) { return attempt_tcp(endpoint, options, s); }, options, sink);
    }
    if (ntrip::is_ntrip_url(source)) {
        std::string error;
        auto url = ntrip::parse_url(source, error);
        if (!url) return {SourceEnd::How::failed, error};
        use_login(*url, options.ntrip_login);
        if (url->mount.empty())
            return {SourceEnd::How::failed, "no mountpoint in " + url->display() + " (--sourcetable lists them)"};
        return follow(url->display(), [&](const ChunkSink& s) { return attempt_ntrip(*url, options, s); }, options,
                      sink);
    }
    if (is_serial_device(source)) {
        if (posix::baud_constant(options.baud) == B0)
            return {SourceEnd::How::failed, "unsupported --baud " + std::to_string(options.baud)};
        return follow(source, [&](const ChunkSink& s) { return attempt_serial(source, options, s); }, options, sink);
    }
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {SourceEnd::How::failed, "cannot open " + source + ": " + std::strerror(errno)};
    posix::FdCloser closer{fd};
    return read_plain(fd, source, sink);
}

namespace {

std::string utc_text(std::chrono::system_clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = std::time_t(ms / 1000);
    std::tm tm{};
    ::gmtime_r(&secs, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, int(ms % 1000));
    return buf;
}

double seconds_of(const Outage& o) { return std::chrono::duration<double>(o.end - o.start).count(); }

}  // namespace

std::string outage_line(const Outage& o) {
    return "outage of " + o.source + " from " + utc_text(o.start) + " to " + utc_text(o.end) + " (" +
           json_number(seconds_of(o), 1) + " s, " + std::to_string(o.attempts) + " attempts" +
           (o.ongoing ? ", not over when the run ended" : "") + "): " + o.reason;
}

std::string outage_json(const Outage& o) {
    return "{\"class\":\"OUTAGE\",\"source\":" + json_string(o.source) + ",\"start\":\"" + utc_text(o.start) +
           "\",\"end\":\"" + utc_text(o.end) + "\",\"duration\":" + json_number(seconds_of(o), 3) +
           ",\"attempts\":" + std::to_string(o.attempts) + ",\"ongoing\":" + (o.ongoing ? "true" : "false") +
           ",\"reason\":" + json_string(o.reason) + "}";
}

namespace {

std::optional<ntrip::Sourcetable> fetch_sourcetable(const ntrip::Url& url, std::string& failure) {
    ensure_qt_application();
    QEventLoop loop;
    NtripClient client;
    client.setUrl(url);
    std::optional<ntrip::Sourcetable> table;
    QObject::connect(&client, &NtripClient::sourcetableReceived, [&](const ntrip::Sourcetable& t) { table = t; });
    QObject::connect(&client, &NtripClient::failed,
                     [&](NtripClient::Failure, const QString& m) { failure = m.toStdString(); });
    QObject::connect(&client, &NtripClient::closed, &loop, &QEventLoop::quit);
    client.fetchSourcetable();
    loop.exec();
    return table;
}

}  // namespace

std::optional<std::string> mountpoint_format_details(const std::string& source, std::string& failure) {
    auto url = ntrip::parse_url(source, failure);
    if (!url) return std::nullopt;
    const std::string mount = url->mount;
    url->mount.clear();
    const auto table = fetch_sourcetable(*url, failure);
    if (!table) return std::nullopt;
    for (const ntrip::StreamRecord& s : table->streams)
        if (s.mountpoint == mount) return s.format_details;
    failure = "the sourcetable of " + url->host + ":" + std::to_string(url->port) + " has no mountpoint " + mount;
    return std::nullopt;
}

}  // namespace tessaly::cli
