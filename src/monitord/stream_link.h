#pragma once
// One stream's connection for the network monitor: an NTRIP mountpoint, a
// TCP stream or a serial device, read through the monitor's epoll set so
// that thousands of them cost little. NTRIP over TLS (ntrips://) goes
// through the Qt channel (NtripClient) instead; such streams are few.
//
// One attempt: open() → connected (the source delivers: the caster accepted
// the request, the TCP connection or the device is open) → data… and, unless
// the owner called close(), exactly one failed() with a text that names the
// source (host:port/MOUNT, host:port, the device) and never the password.
// Silence and reconnecting are the owner's (SourceSupervisor).
//
// Every piece of data comes with the time it arrived: the kernel's receive
// timestamp of a socket, the clock at the read of a device. The epoll set
// rests between wake-ups, so that the read may come some milliseconds
// later; a frame's latency is counted from its arrival, not from the read.

#include <QHostAddress>
#include <QList>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "config_file.h"
#include "ntrip_protocol.h"
#include "reactor.h"

class QObject;

namespace tessaly {
class NtripClient;
}

namespace tessaly::monitord {

class StreamLink : public Reactor::Handler {
public:
    std::function<void()> on_connected;
    // The bytes and when they arrived (UTC seconds since 1970).
    std::function<void(std::span<const std::uint8_t>, double arrival)> on_data;
    std::function<void(const QString& text)> on_failed;

    StreamLink(Reactor& reactor, const SourceSetup& source);
    ~StreamLink() override;
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    void open();
    void close();
    // Once a second: a network mountpoint gets its position every 10 s.
    void tick();

    bool is_open() const { return state_ != State::idle; }

private:
    enum class State { idle, resolving, connecting, requesting, streaming };

    void ready(std::uint32_t events) override;
    void resolved(const QList<QHostAddress>& addresses, const QString& error);
    void connect_next();
    void on_connected_socket();
    void on_readable(std::uint32_t events);
    // One read: the bytes' count (0 at the end, -1 with errno on failure)
    // and their arrival.
    ssize_t receive(double& arrival);
    void take_answer(const std::uint8_t* data, std::size_t size, double arrival);
    void ended();
    bool retry_as_v1();
    void deliver(const std::uint8_t* data, std::size_t size, double arrival);
    void fail(const QString& text);
    void drop();
    void send_gga();
    QString where() const;   // host:port/MOUNT, host:port or the device
    QString caster() const;  // host:port

    Reactor& reactor_;
    SourceSetup source_;
    State state_ = State::idle;
    int fd_ = -1;
    QList<QHostAddress> addresses_;
    int next_address_ = 0;
    QString connect_error_;
    std::unique_ptr<QObject> lookup_;  // receives a pending host lookup; deleted to drop it
    ntrip::Version asked_ = ntrip::Version::v2;
    ntrip::AnswerParser answer_;
    bool answered_ = false;
    std::string head_;     // the answer's first bytes, for messages
    std::string scratch_;  // stream bytes taken out of the answer
    int gga_wait_ = 0;
    std::unique_ptr<NtripClient> tls_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tessaly::monitord
