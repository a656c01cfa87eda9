// tessaly-netload: a network of NTRIP 1.0 casters on 127.0.0.1 for the
// network monitor's benchmark. Serves N mountpoints spread over K caster
// ports, each a recording played in a loop at a fixed byte rate in a fixed
// number of writes a second (the way a caster's stream arrives), and counts
// the bytes every mountpoint handed to its clients. Optionally churns: drops
// connections, changes the sourcetables and restarts casters, to show that
// the monitor's memory stays flat over a long accelerated run.
//
//   tessaly-netload --port BASE --streams N [--casters K] [--rate B] [--reads R]
//                   [--file F] [--seconds S] [--counts FILE]
//                   [--drop-per-s D] [--table-every S --table-change C] [--restart-every S]
//
// One thread, epoll; the mountpoint names are S00000, S00001, ... (new
// ones from churn count on). After --seconds it stops sending, writes
// "MOUNT BYTES" lines to --counts and keeps its connections open until
// SIGINT or SIGTERM, so that the counts can be compared with the monitor's.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stop = 0;
extern "C" void on_signal(int) { stop = 1; }

using Clock = std::chrono::steady_clock;

struct Options {
    int port = 0;
    int streams = 1;
    int casters = 1;
    int rate = 600;
    int reads = 10;
    std::string file;
    double seconds = 0;  // 0: send until stopped
    std::string counts;
    double drop_per_s = 0;
    double table_every = 0;
    int table_change = 0;
    double restart_every = 0;
};

struct Mount {
    std::string name;
    int caster = 0;
    bool listed = true;  // in its caster's sourcetable
    unsigned long long sent = 0;
};

struct Conn {
    int fd = -1;
    int caster = 0;
    int mount = -1;  // index into mounts; -1 while the request is read
    std::size_t offset = 0;
    std::string request;
};

struct Caster {
    int port = 0;
    int fd = -1;
    Clock::time_point reopen{};
};

class Load {
public:
    explicit Load(Options o) : o_(std::move(o)), rng_(12345) {}
    int run();

private:
    bool open_caster(Caster& c);
    void close_caster(int index);
    void accept_on(int caster);
    void read_request(int id);
    void drop(int id);
    void send_due(Clock::time_point now);
    void churn(Clock::time_point now);
    std::string sourcetable(int caster) const;
    int add_mount(int caster);

    Options o_;
    std::string data_;
    std::mt19937 rng_;
    int epoll_ = -1;
    std::vector<Caster> casters_;
    std::vector<Mount> mounts_;
    std::vector<Conn> conns_;               // by id; fd -1 when free
    std::vector<std::vector<int>> slots_;   // per millisecond of the period: ids
    int period_ms_ = 100;
    int next_name_ = 0;
    bool sending_ = true;
};

bool Load::open_caster(Caster& c) {
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(c.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(c.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(c.fd, 4096) != 0) {
        std::fprintf(stderr, "tessaly-netload: cannot listen on port %d: %s\n", c.port, std::strerror(errno));
        ::close(c.fd);
        c.fd = -1;
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = (1ull << 32) | std::uint64_t(&c - casters_.data());
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &ev);
    return true;
}

void Load::close_caster(int index) {
    Caster& c = casters_[std::size_t(index)];
    ::close(c.fd);
    c.fd = -1;
    for (std::size_t id = 0; id < conns_.size(); ++id)
        if (conns_[id].fd >= 0 && conns_[id].caster == index) drop(int(id));
    c.reopen = Clock::now() + std::chrono::seconds(2);
}

int Load::add_mount(int caster) {
    char name[16];
    std::snprintf(name, sizeof name, "S%05d", next_name_++);
    mounts_.push_back({name, caster, true, 0});
    return int(mounts_.size() - 1);
}

std::string Load::sourcetable(int caster) const {
    std::string body;
    for (const Mount& m : mounts_)
        if (m.listed && m.caster == caster)
            body += "STR;" + m.name + ";" + m.name + ";RTCM 2.3;1(1),3(10);0;GPS;NET;XXX;50.00;10.00;0;0;load;none;N;N;" +
                    std::to_string(o_.rate * 8) + ";\r\n";
    body += "ENDSOURCETABLE\r\n";
    return "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

void Load::accept_on(int caster) {
    for (;;) {
        const int fd = ::accept4(casters_[std::size_t(caster)].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        auto free = std::find_if(conns_.begin(), conns_.end(), [](const Conn& c) { return c.fd < 0; });
        if (free == conns_.end()) free = conns_.insert(conns_.end(), Conn{});
        const int id = int(free - conns_.begin());
        *free = Conn{fd, caster, -1, 0, {}};
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = std::uint64_t(id);
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    }
}

void Load::drop(int id) {
    Conn& c = conns_[std::size_t(id)];
    if (c.fd < 0) return;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
    ::close(c.fd);
    c.fd = -1;  // its slot entry goes at the next pass
}

void Load::read_request(int id) {
    Conn& c = conns_[std::size_t(id)];
    char buf[2048];
    const ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) drop(id);
        return;
    }
    if (c.mount >= 0) return;  // GGA sentences and the like
    c.request.append(buf, std::size_t(n));
    if (c.request.find("\r\n\r\n") == std::string::npos && c.request.find("\n\n") == std::string::npos) {
        if (c.request.size() > 8192) drop(id);
        return;
    }
    std::string path;
    if (c.request.starts_with("GET /")) path = c.request.substr(5, c.request.find(' ', 5) - 5);
    const auto m = std::find_if(mounts_.begin(), mounts_.end(),
                                [&](const Mount& x) { return x.listed && x.caster == c.caster && x.name == path; });
    if (m == mounts_.end()) {  // the sourcetable, as a 1.0 caster answers
        const std::string t = sourcetable(c.caster);
        const ssize_t ignored = ::write(c.fd, t.data(), t.size());
        (void)ignored;
        drop(id);
        return;
    }
    static const char ok[] = "ICY 200 OK\r\n";
    const ssize_t ignored = ::write(c.fd, ok, sizeof ok - 1);
    (void)ignored;
    c.mount = int(m - mounts_.begin());
    c.offset = (std::size_t(c.mount) * 997) % data_.size();
    // A stream that opened with a line end after "ICY 200 OK" would have
    // it taken for the end of header lines, as NTRIP 1.0 clients must.
    for (std::size_t k = 0; k < data_.size() && static_cast<unsigned char>(data_[c.offset]) < 0x40; ++k)
        c.offset = (c.offset + 1) % data_.size();
    slots_[std::size_t(rng_() % unsigned(period_ms_))].push_back(id);
}

void Load::send_due(Clock::time_point now) {
    static Clock::time_point start = now;
    static long long done_ms = -1;
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
    const std::size_t chunk = std::size_t(std::max(1, o_.rate / o_.reads));
    for (long long t = std::max(done_ms + 1, ms - period_ms_ + 1); t <= ms; ++t) {
        std::vector<int>& slot = slots_[std::size_t(t % period_ms_)];
        for (std::size_t i = 0; i < slot.size();) {
            Conn& c = conns_[std::size_t(slot[i])];
            if (c.fd < 0 || c.mount < 0) {
                slot[i] = slot.back();
                slot.pop_back();
                continue;
            }
            if (sending_) {
                char buf[4096];
                std::size_t n = std::min(chunk, sizeof buf);
                for (std::size_t k = 0; k < n; ++k) buf[k] = data_[(c.offset + k) % data_.size()];
                const ssize_t w = ::send(c.fd, buf, n, MSG_NOSIGNAL);
                if (w > 0) {
                    c.offset = (c.offset + std::size_t(w)) % data_.size();
                    mounts_[std::size_t(c.mount)].sent += std::size_t(w);
                }
            }
            ++i;
        }
    }
    done_ms = ms;
}

void Load::churn(Clock::time_point now) {
    static Clock::time_point last_drop = now, last_table = now, last_restart = now;
    const auto since = [&](Clock::time_point t) { return std::chrono::duration<double>(now - t).count(); };
    if (o_.drop_per_s > 0 && since(last_drop) >= 1.0) {
        last_drop = now;
        for (int k = 0; k < int(o_.drop_per_s) && !conns_.empty(); ++k) {
            const int id = int(rng_() % conns_.size());
            if (conns_[std::size_t(id)].mount >= 0) drop(id);
        }
    }
    if (o_.table_every > 0 && since(last_table) >= o_.table_every) {
        last_table = now;
        for (int k = 0; k < o_.table_change; ++k) {
            std::vector<int> listed;
            for (std::size_t i = 0; i < mounts_.size(); ++i)
                if (mounts_[i].listed) listed.push_back(int(i));
            if (listed.empty()) break;
            const int gone = listed[rng_() % listed.size()];
            mounts_[std::size_t(gone)].listed = false;
            for (std::size_t id = 0; id < conns_.size(); ++id)
                if (conns_[id].fd >= 0 && conns_[id].mount == gone) drop(int(id));
            add_mount(mounts_[std::size_t(gone)].caster);
        }
    }
    if (o_.restart_every > 0 && since(last_restart) >= o_.restart_every) {
        last_restart = now;
        close_caster(int(rng_() % casters_.size()));
    }
    for (Caster& c : casters_)
        if (c.fd < 0 && now >= c.reopen) open_caster(c);
}

int Load::run() {
    std::ifstream in(o_.file, std::ios::binary);
    data_.assign(std::istreambuf_iterator<char>(in), {});
    if (data_.empty()) {
        std::fprintf(stderr, "tessaly-netload: cannot read %s\n", o_.file.c_str());
        return 1;
    }
    rlimit r{};
    ::getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = r.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &r);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    period_ms_ = std::max(1, 1000 / o_.reads);
    slots_.resize(std::size_t(period_ms_));
    casters_.resize(std::size_t(o_.casters));
    for (int i = 0; i < o_.casters; ++i) {
        casters_[std::size_t(i)].port = o_.port + i;
        if (!open_caster(casters_[std::size_t(i)])) return 1;
    }
    for (int i = 0; i < o_.streams; ++i) add_mount(i % o_.casters);
    std::fprintf(stderr, "tessaly-netload: %d mountpoints on ports %d..%d, %d bytes/s in %d writes\n", o_.streams,
                 o_.port, o_.port + o_.casters - 1, o_.rate, o_.reads);
    const auto start = Clock::now();
    epoll_event events[256];
    while (!stop) {
        const int n = ::epoll_wait(epoll_, events, 256, 1);
        for (int i = 0; i < n; ++i) {
            const std::uint64_t u = events[i].data.u64;
            if (u >> 32) accept_on(int(u & 0xffffffffu));
            else if (conns_[u].fd >= 0) read_request(int(u));
        }
        const auto now = Clock::now();
        send_due(now);
        if (sending_) churn(now);
        if (sending_ && o_.seconds > 0 && std::chrono::duration<double>(now - start).count() >= o_.seconds) {
            sending_ = false;
            std::ofstream out(o_.counts.empty() ? "/dev/stdout" : o_.counts);
            for (const Mount& m : mounts_) out << m.name << ' ' << m.sent << '\n';
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    const std::map<std::string, std::function<void(const char*)>> take = {
        {"--port", [&](const char* v) { o.port = std::atoi(v); }},
        {"--streams", [&](const char* v) { o.streams = std::atoi(v); }},
        {"--casters", [&](const char* v) { o.casters = std::max(1, std::atoi(v)); }},
        {"--rate", [&](const char* v) { o.rate = std::atoi(v); }},
        {"--reads", [&](const char* v) { o.reads = std::max(1, std::atoi(v)); }},
        {"--file", [&](const char* v) { o.file = v; }},
        {"--seconds", [&](const char* v) { o.seconds = std::atof(v); }},
        {"--counts", [&](const char* v) { o.counts = v; }},
        {"--drop-per-s", [&](const char* v) { o.drop_per_s = std::atof(v); }},
        {"--table-every", [&](const char* v) { o.table_every = std::atof(v); }},
        {"--table-change", [&](const char* v) { o.table_change = std::atoi(v); }},
        {"--restart-every", [&](const char* v) { o.restart_every = std::atof(v); }},
    };
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto it = take.find(argv[i]);
        if (it == take.end()) {
            std::fprintf(stderr, "tessaly-netload: unknown option %s\n", argv[i]);
            return 2;
        }
        it->second(argv[i + 1]);
    }
    if (o.port <= 0 || o.file.empty()) {
        std::fprintf(stderr, "usage: tessaly-netload --port BASE --file F [--streams N] ... (see the source)\n");
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGPIPE, SIG_IGN);
    return Load(o).run();
}
