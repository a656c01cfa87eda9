#pragma once
// Many sockets on the Qt event loop without Qt watching each one: the
// descriptors sit in one epoll set, and Qt watches only that set's
// descriptor. A wake-up hands every ready descriptor to its handler; then
// the set rests (50 ms by default), so that the reads of hundreds of
// streams are taken together instead of one wake-up each. Qt's own
// dispatchers poll every watched descriptor at every wake-up, which with
// thousands of streams costs more than the streams themselves. The rest
// delays no figure: the handlers take each piece's arrival from the
// kernel's receive timestamp.
//
// One thread: handlers run on the thread of the event loop, and may add or
// remove any descriptor (their own too) while they run.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <vector>

class QSocketNotifier;

namespace tessaly::monitord {

class Reactor : public QObject {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        // `events`: EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP as epoll says them.
        virtual void ready(std::uint32_t events) = 0;
    };

    // `rest_ms`: how long the set rests after a wake-up (0: never).
    explicit Reactor(int rest_ms = 50, QObject* parent = nullptr);
    ~Reactor() override;

    bool add(int fd, std::uint32_t events, Handler* handler);
    void modify(int fd, std::uint32_t events);
    // Before the descriptor is closed; events already fetched for it are
    // dropped.
    void remove(int fd);

    std::uint64_t wakeups() const { return wakeups_; }

private:
    void drain();

    struct Entry {
        Handler* handler = nullptr;
        std::uint32_t generation = 0;
    };
    int epoll_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer rest_;
    int rest_ms_;
    std::vector<Entry> entries_;  // by descriptor
    std::uint64_t wakeups_ = 0;
};

}  // namespace tessaly::monitord
