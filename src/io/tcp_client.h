#pragma once
// The TCP client channel: one connection to Host:Port, driven by events on
// the Qt event loop. Calls start an operation and return at once (only the
// host-name lookup in Open blocks); completion, data and the peer's close
// come back as OnConnect, OnData, OnClose; every failure as OnError with a
// Windows Sockets code and its text (winsock_errors.h).
//
// Back end: a non-blocking POSIX socket watched by QSocketNotifier. As with
// Winsock's asynchronous select, a data event comes again while unread data
// remain, so a handler that reads once per OnData gets the stream in pieces
// of at most 1024 bytes. The next data event (or the close event) follows a
// Read: a channel whose OnData does not read waits until something does.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tessaly {

class TTCPClient : public QObject {
    Q_OBJECT

public:
    enum class State { NotStarted, Closed, Connecting, Connected };

    // Handlers; an empty one is skipped. `socket` is the socket's handle.
    using SocketEvent = std::function<void(TTCPClient& sender, int socket)>;
    using ErrorEvent = std::function<void(TTCPClient& sender, int error, const QString& msg)>;
    SocketEvent OnConnect;
    SocketEvent OnData;
    SocketEvent OnClose;
    ErrorEvent OnError;

    QString Host;  // dotted IPv4 address or host name
    QString Port;  // decimal port number or service name

    explicit TTCPClient(QObject* owner = nullptr);
    ~TTCPClient() override;
    TTCPClient(const TTCPClient&) = delete;
    TTCPClient& operator=(const TTCPClient&) = delete;

    // Starts a connect to Host:Port; acts only in state Closed. A Port that
    // is neither a service name nor a decimal number throws Failure
    // ("'<port>' ist kein gültiger Integerwert") before any socket exists.
    // A host name that cannot be resolved is reported (11001, "Host not
    // found") and leaves the channel Closed.
    void Open();
    // Ends a connection or an attempt; acts only when Connecting or Connected.
    void Close();
    // One receive of at most 1024 bytes; empty when nothing is there.
    QByteArray Read();
    // Sends every byte of `text`.
    void Write(const QByteArray& text);

    QString LocalHostName() const;
    QString LocalHostAddress() const;
    QString LocalPort() const;

    State state() const { return state_; }
    int socket() const { return fd_; }
    int lastError() const { return last_error_; }
    // Why the peer's end of the last connection came, for OnClose: 0 for
    // an orderly close, else the code of the error that ended it (a reset,
    // keepalive probes unanswered).
    int closeCode() const { return close_code_; }

    // What the socket layer said about itself at creation.
    const QString& version() const { return version_; }
    const QString& description() const { return description_; }
    const QString& systemStatus() const { return system_status_; }

private:
    // Hands a code to OnError; false when the channel was destroyed there.
    bool report(int code);
    void release_socket();
    void on_writable();
    void on_readable();
    void peer_closed(int linux_errno);
    // Calls one handler; false when the channel was destroyed inside it.
    template <class Slot, class... Args>
    bool dispatch(const Slot& slot, Args... args);

    State state_ = State::Closed;
    int fd_ = -1;
    int last_error_ = 0;
    int close_code_ = 0;
    std::uint64_t connection_ = 0;  // counts the sockets made, so that a handler's reconnect is noticed
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    bool in_data_event_ = false;
    bool read_in_event_ = false;
    std::array<char, 1024> buffer_{};
    QString version_;
    QString description_;
    QString system_status_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tessaly
