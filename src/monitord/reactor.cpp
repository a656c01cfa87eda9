#include "reactor.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace tessaly::monitord {

namespace {

// Events fetched per epoll_wait, and rounds per wake-up: a set that stays
// busy returns to the event loop (timers, HTTP) after this many.
constexpr int batch = 512;
constexpr int rounds = 8;

}  // namespace

Reactor::Reactor(int rest_ms, QObject* parent) : QObject(parent), rest_ms_(rest_ms) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Reactor::drain);
    rest_.setSingleShot(true);
    rest_.setTimerType(Qt::PreciseTimer);
    connect(&rest_, &QTimer::timeout, this, [this] { notifier_->setEnabled(true); });
}

Reactor::~Reactor() {
    delete notifier_;
    ::close(epoll_);
}

bool Reactor::add(int fd, std::uint32_t events, Handler* handler) {
    if (fd < 0) return false;
    if (std::size_t(fd) >= entries_.size()) entries_.resize(std::size_t(fd) + 64);
    Entry& e = entries_[std::size_t(fd)];
    e.handler = handler;
    ++e.generation;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = (std::uint64_t(e.generation) << 32) | std::uint32_t(fd);
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) == 0) return true;
    e.handler = nullptr;
    return false;
}

void Reactor::modify(int fd, std::uint32_t events) {
    if (fd < 0 || std::size_t(fd) >= entries_.size() || !entries_[std::size_t(fd)].handler) return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = (std::uint64_t(entries_[std::size_t(fd)].generation) << 32) | std::uint32_t(fd);
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &ev);
}

void Reactor::remove(int fd) {
    if (fd < 0 || std::size_t(fd) >= entries_.size() || !entries_[std::size_t(fd)].handler) return;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    entries_[std::size_t(fd)].handler = nullptr;
    ++entries_[std::size_t(fd)].generation;
}

void Reactor::drain() {
    ++wakeups_;
    epoll_event events[batch];
    for (int round = 0; round < rounds; ++round) {
        const int n = ::epoll_wait(epoll_, events, batch, 0);
        for (int i = 0; i < n; ++i) {
            const auto fd = std::size_t(events[i].data.u64 & 0xffffffffu);
            const auto generation = std::uint32_t(events[i].data.u64 >> 32);
            if (fd >= entries_.size()) continue;
            const Entry& e = entries_[fd];
            if (e.handler && e.generation == generation) e.handler->ready(events[i].events);
        }
        if (n < batch) break;
    }
    if (rest_ms_ > 0) {
        notifier_->setEnabled(false);
        rest_.start(rest_ms_);
    }
}

}  // namespace tessaly::monitord
