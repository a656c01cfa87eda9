#pragma once
// The NTRIP channel: one connection to a caster's mountpoint (or to its
// sourcetable), on the Qt event loop like the TCP channel. It hands on only
// the stream bytes (answer headers and chunk framing removed), watches the
// connection for silence, and names every failure with host:port/MOUNT
// (never the password).
//
// One run: open() or fetchSourcetable() → connected() → receiving() →
// streamData()... and at the end exactly one closed(). An end the owner did
// not ask for by close() is announced by failed() just before closed().
// Supervision (reconnecting, backoff) is the owner's business.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "ntrip_protocol.h"
#include "ntrip_sourcetable.h"

class QSslSocket;

namespace tessaly {

class NtripClient : public QObject {
    Q_OBJECT

public:
    enum class Failure {
        host_not_found,   // the host name does not resolve
        refused,          // nothing listens on the port, or the connect failed
        tls,              // the TLS handshake failed or TLS is not available
        unauthorized,     // 401: wrong user or password
        mount_not_found,  // 404, or a sourcetable instead of the stream
        not_ntrip,        // the answer is neither NTRIP nor HTTP (or an error page)
        silence,          // nothing arrived for the silence limit
        closed_by_peer,   // the caster ended the connection (or the stream)
        network,          // a reset or another socket error
    };
    Q_ENUM(Failure)

    enum class State { idle, connecting, requesting, receiving };

    struct GgaPosition {
        double latitude = 0;   // degrees, north positive
        double longitude = 0;  // degrees, east positive
        double height = 0;     // metres
    };

    explicit NtripClient(QObject* parent = nullptr);
    ~NtripClient() override;

    void setUrl(const ntrip::Url& url) { url_ = url; }
    const ntrip::Url& url() const { return url_; }
    // A position sent as GGA with the request and then every `interval_s`
    // seconds (network mountpoints need it); none by default.
    void setGga(std::optional<GgaPosition> position, int interval_s = 10);
    // Seconds without a byte (also while connecting) before the connection
    // is given up with Failure::silence; 0 turns the watch off. Default 20.
    void setSilenceLimit(int seconds) { silence_s_ = seconds; }
    int silenceLimit() const { return silence_s_; }

    // Connects and asks for the URL's mountpoint.
    void open();
    // Connects and asks for the sourcetable; sourcetableReceived() then
    // closed() (with failed() before it when it did not arrive).
    void fetchSourcetable();
    // fetchSourcetable() hands the table on as sourcetableLines() while it
    // arrives (whole lines only, any size) instead of sourcetableReceived()
    // at the end; a table cut off before its end fails.
    void setSourcetableStreaming(bool on) { stream_table_ = on; }
    // Ends the run; closed() follows (at once), failed() does not.
    void close();

    State state() const { return state_; }
    // The version the caster answered with: 1 or 2 (0 before the answer).
    int version() const { return answer_.version(); }
    // "host:port/MOUNT", as every message names the source.
    QString endpoint() const { return QString::fromStdString(url_.endpoint()); }
    // Stream bytes handed on in this run.
    qint64 bytesReceived() const { return stream_bytes_; }

signals:
    void connected();  // the connection is up and the request sent
    void receiving();  // the caster accepted: stream bytes follow
    void streamData(const QByteArray& bytes);
    void sourcetableReceived(const tessaly::ntrip::Sourcetable& table);
    void sourcetableLines(const QByteArray& lines);
    void failed(tessaly::NtripClient::Failure kind, const QString& message);
    void closed();

private:
    void start(bool table, ntrip::Version version);
    void on_connected();
    void on_ready_read();
    void on_disconnected();
    void on_socket_error();
    void on_silence();
    void send_gga();
    void fail(Failure kind, const QString& message);
    void finish();
    // Drops the socket. One whose signal is being handled (an owner's
    // handler may run a modal box, whose event loop runs the retry) is
    // deleted only after that handler has returned.
    void release_socket();
    struct InHandler;  // marks a socket handler on the stack
    bool retry_as_v1();
    void deliver_table();
    bool stream_table_lines();

    ntrip::Url url_;
    std::optional<GgaPosition> gga_;
    int gga_interval_s_ = 10;
    int silence_s_ = 20;

    QSslSocket* socket_ = nullptr;
    int handlers_ = 0;                  // socket handlers on the stack
    std::vector<QSslSocket*> retired_;  // released while one was
    State state_ = State::idle;
    bool want_table_ = false;
    bool stream_table_ = false;
    ntrip::Version asked_ = ntrip::Version::v2;
    ntrip::AnswerParser answer_;
    bool answered_ = false;
    int run_ = 0;  // counts starts, so that a handler that restarts is noticed
    qint64 stream_bytes_ = 0;
    std::string scratch_;
    QByteArray head_;  // the first bytes of the answer, for messages
    QTimer silence_;
    QTimer gga_timer_;
};

}  // namespace tessaly
