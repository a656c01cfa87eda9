#include "ntrip_client.h"

#include <QDateTime>
#include <QPointer>
#include <QSslSocket>

#include "socket_keepalive.h"

namespace tessaly {

namespace {

// A line from the peer made safe to show: printable ASCII only, short.
QString shown(const std::string& text) {
    QString s;
    for (char c : text.substr(0, 60)) s += (c >= 0x20 && c < 0x7f) ? QChar(c) : QChar('.');
    return s;
}

}  // namespace

struct NtripClient::InHandler {
    explicit InHandler(NtripClient& c) : client(&c) { ++c.handlers_; }
    ~InHandler() {
        if (!client || --client->handlers_ > 0) return;
        for (QSslSocket* s : client->retired_) s->deleteLater();
        client->retired_.clear();
    }
    InHandler(const InHandler&) = delete;
    InHandler& operator=(const InHandler&) = delete;
    QPointer<NtripClient> client;
};

NtripClient::NtripClient(QObject* parent) : QObject(parent) {
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this, &NtripClient::on_silence);
    connect(&gga_timer_, &QTimer::timeout, this, &NtripClient::send_gga);
}

NtripClient::~NtripClient() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        delete socket_;
    }
}

void NtripClient::setGga(std::optional<GgaPosition> position, int interval_s) {
    gga_ = position;
    gga_interval_s_ = interval_s > 0 ? interval_s : 10;
}

void NtripClient::open() { start(false, url_.version == ntrip::Version::v1 ? ntrip::Version::v1 : ntrip::Version::v2); }

void NtripClient::fetchSourcetable() {
    start(true, url_.version == ntrip::Version::v1 ? ntrip::Version::v1 : ntrip::Version::v2);
}

void NtripClient::release_socket() {
    if (!socket_) return;
    socket_->disconnect(this);
    socket_->abort();
    if (handlers_ > 0) retired_.push_back(socket_);
    else socket_->deleteLater();
    socket_ = nullptr;
}

void NtripClient::start(bool table, ntrip::Version version) {
    release_socket();
    ++run_;
    want_table_ = table;
    asked_ = version;
    answer_ = ntrip::AnswerParser();
    answered_ = false;
    stream_bytes_ = 0;
    head_.clear();
    state_ = State::connecting;
    gga_timer_.stop();

    socket_ = new QSslSocket(this);
    connect(socket_, &QSslSocket::readyRead, this, &NtripClient::on_ready_read);
    connect(socket_, &QSslSocket::disconnected, this, &NtripClient::on_disconnected);
    connect(socket_, &QSslSocket::errorOccurred, this, &NtripClient::on_socket_error);
    if (silence_s_ > 0) silence_.start(silence_s_ * 1000);
    const QString host = QString::fromStdString(url_.host);
    if (url_.tls) {
        if (!QSslSocket::supportsSsl()) {
            // Reported from the event loop, as every other failure is.
            const int run = run_;
            QTimer::singleShot(0, this, [this, run] {
                if (run == run_)
                    fail(Failure::tls, "cannot use TLS for " + endpoint() + ": no SSL library is available");
            });
            return;
        }
        connect(socket_, &QSslSocket::encrypted, this, &NtripClient::on_connected);
        socket_->connectToHostEncrypted(host, quint16(url_.port));
    } else {
        connect(socket_, &QSslSocket::connected, this, &NtripClient::on_connected);
        socket_->connectToHost(host, quint16(url_.port));
    }
}

void NtripClient::close() {
    if (state_ == State::idle) return;
    finish();
}

void NtripClient::on_connected() {
    const InHandler busy(*this);
    enable_short_keepalive(int(socket_->socketDescriptor()));
    state_ = State::requesting;
    std::string request;
    if (want_table_) {
        request = ntrip::build_sourcetable_request(url_, asked_);
    } else {
        std::string gga;
        if (gga_) {
            const QTime t = QDateTime::currentDateTimeUtc().time();
            gga = ntrip::gga_sentence(gga_->latitude, gga_->longitude, gga_->height, t.hour(), t.minute(),
                                      t.second() + t.msec() / 1000.0);
        }
        request = ntrip::build_request(url_, asked_, gga);
    }
    socket_->write(request.data(), qint64(request.size()));
    const int run = run_;
    emit connected();
    if (run != run_ || !socket_) return;
    // Data may have come with the handshake.
    if (socket_->bytesAvailable() > 0) on_ready_read();
}

void NtripClient::on_ready_read() {
    const InHandler busy(*this);
    if (!socket_ || state_ == State::idle) return;
    const QByteArray raw = socket_->readAll();
    if (raw.isEmpty()) return;
    if (silence_s_ > 0) silence_.start(silence_s_ * 1000);
    if (head_.size() < 60) head_ += raw.left(60 - head_.size());
    scratch_.clear();
    using R = ntrip::AnswerParser::Result;
    const R result = answer_.feed(reinterpret_cast<const std::uint8_t*>(raw.constData()), std::size_t(raw.size()),
                                  scratch_);
    const QString where = endpoint();
    switch (result) {
    case R::pending:
        return;
    case R::stream: {
        if (want_table_) {
            fail(Failure::not_ntrip, where + " answered the sourcetable request with a stream");
            return;
        }
        const int run = run_;
        if (!answered_) {
            answered_ = true;
            state_ = State::receiving;
            if (gga_) gga_timer_.start(gga_interval_s_ * 1000);
            emit receiving();
            if (run != run_) return;
        }
        if (!scratch_.empty()) {
            stream_bytes_ += qint64(scratch_.size());
            emit streamData(QByteArray(scratch_.data(), qsizetype(scratch_.size())));
            if (run != run_) return;
        }
        if (answer_.framing_failed())
            fail(Failure::not_ntrip, "the stream from " + where + " broke its chunked framing");
        else if (answer_.body_ended())
            fail(Failure::closed_by_peer, "NTRIP caster " + where + " ended the stream");
        return;
    }
    case R::sourcetable:
        if (want_table_ && answer_.sourcetable_overflow()) {
            fail(Failure::not_ntrip, "NTRIP caster " + where + " sent " +
                                         (stream_table_ ? "a sourcetable line longer than 8 MiB" : "a sourcetable larger than 8 MiB"));
        } else if (want_table_ && stream_table_) {
            if (stream_table_lines() && answer_.sourcetable_complete()) finish();
        } else if (answer_.sourcetable_complete() || answer_.sourcetable_overflow()) {
            deliver_table();
        }
        return;
    case R::unauthorized:
        fail(Failure::unauthorized, "NTRIP caster " + where + " refused the user name or password (401 Unauthorized)");
        return;
    case R::not_found:
        fail(Failure::mount_not_found, want_table_ ? where + " has no sourcetable (404 Not Found)"
                                                   : "NTRIP caster " + QString::fromStdString(url_.endpoint()).section('/', 0, 0) +
                                                         " has no mountpoint " + QString::fromStdString(url_.mount) +
                                                         " (404 Not Found)");
        return;
    case R::http_error:
        if (retry_as_v1()) return;
        fail(Failure::network, "NTRIP caster " + where + " answered: " + shown(answer_.reason()));
        return;
    case R::not_ntrip: {
        if (answer_.header_overflow()) {
            fail(Failure::not_ntrip, "NTRIP caster " + where + " sent more than 16 KiB of header lines");
            return;
        }
        // The first line, however it ends.
        qsizetype end = head_.size();
        for (const char c : {'\r', '\n'})
            if (const qsizetype at = head_.indexOf(c); at >= 0) end = std::min(end, at);
        fail(Failure::not_ntrip,
             where + " does not answer as an NTRIP caster (it sent \"" + shown(head_.left(end).toStdString()) + "\")");
        return;
    }
    }
}

// False when a handler started another run.
bool NtripClient::stream_table_lines() {
    const std::string lines = answer_.take_sourcetable_lines();
    if (lines.empty()) return true;
    const int run = run_;
    emit sourcetableLines(QByteArray::fromStdString(lines));
    return run == run_;
}

void NtripClient::deliver_table() {
    // A line cut off by the end of the connection is no record.
    std::string_view text = answer_.sourcetable();
    if (!answer_.sourcetable_complete()) text = text.substr(0, text.rfind('\n') + 1);
    const ntrip::Sourcetable table = ntrip::parse_sourcetable(text);
    const int run = run_;
    emit sourcetableReceived(table);
    if (run != run_) return;
    if (want_table_) {
        finish();
    } else {
        const QString caster = QString::fromStdString(url_.endpoint()).section('/', 0, 0);
        fail(Failure::mount_not_found, "NTRIP caster " + caster + " has no mountpoint " +
                                           QString::fromStdString(url_.mount) + " (it sent its sourcetable)");
    }
}

bool NtripClient::retry_as_v1() {
    // A 1.0 caster may refuse or drop a 2.0 request; ask once more in 1.0.
    if (url_.version != ntrip::Version::automatic || asked_ != ntrip::Version::v2) return false;
    start(want_table_, ntrip::Version::v1);
    return true;
}

void NtripClient::on_disconnected() {
    const InHandler busy(*this);
    if (!socket_ || state_ == State::idle) return;
    if (socket_->bytesAvailable() > 0) {
        const int run = run_;
        on_ready_read();
        if (run != run_ || state_ == State::idle) return;
    }
    using R = ntrip::AnswerParser::Result;
    const QString where = endpoint();
    switch (answer_.result()) {
    case R::pending:
        if (state_ == State::requesting && answer_.reason().empty() && retry_as_v1()) return;
        fail(Failure::closed_by_peer, "NTRIP caster " + where + " closed the connection without an answer");
        return;
    case R::sourcetable:
        if (!want_table_ || !stream_table_) {
            deliver_table();
        } else if (stream_table_lines()) {
            fail(Failure::closed_by_peer,
                 "NTRIP caster " + where + " closed the connection before the end of its sourcetable");
        }
        return;
    default: {
        scratch_.clear();
        answer_.end_of_input(scratch_);
        if (!scratch_.empty()) {
            const int run = run_;
            stream_bytes_ += qint64(scratch_.size());
            emit streamData(QByteArray(scratch_.data(), qsizetype(scratch_.size())));
            if (run != run_) return;
        }
        if (answer_.body_cut())
            fail(Failure::network, "the stream from " + where + " broke off inside a chunk");
        else
            fail(Failure::closed_by_peer, "NTRIP caster " + where + " closed the connection");
    }
    }
}

void NtripClient::on_socket_error() {
    const InHandler busy(*this);
    if (!socket_ || state_ == State::idle) return;
    const auto error = socket_->error();
    const QString where = endpoint();
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        if (socket_->state() == QAbstractSocket::UnconnectedState) on_disconnected();
        return;  // otherwise disconnected() follows
    case QAbstractSocket::HostNotFoundError:
        fail(Failure::host_not_found,
             "cannot find host " + QString::fromStdString(url_.host) + " (" + where + ")");
        return;
    case QAbstractSocket::ConnectionRefusedError:
        fail(Failure::refused, "cannot connect to " + where + ": connection refused");
        return;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        fail(Failure::tls, "TLS failed with " + where + ": " + socket_->errorString());
        return;
    default:
        fail(state_ == State::connecting ? Failure::refused : Failure::network,
             (state_ == State::connecting ? "cannot connect to " : "connection to ") + where + ": " +
                 socket_->errorString());
    }
}

void NtripClient::on_silence() {
    if (state_ == State::idle) return;
    fail(Failure::silence, "no data from " + endpoint() + " for " + QString::number(silence_s_) + " s");
}

void NtripClient::send_gga() {
    if (!socket_ || !gga_ || state_ != State::receiving) return;
    const QTime t = QDateTime::currentDateTimeUtc().time();
    const std::string s =
        ntrip::gga_sentence(gga_->latitude, gga_->longitude, gga_->height, t.hour(), t.minute(), t.second() + t.msec() / 1000.0);
    socket_->write(s.data(), qint64(s.size()));
}

void NtripClient::fail(Failure kind, const QString& message) {
    const int run = run_;
    QPointer<NtripClient> self(this);
    emit failed(kind, message);
    if (!self || run != run_) return;
    finish();
}

void NtripClient::finish() {
    silence_.stop();
    gga_timer_.stop();
    state_ = State::idle;
    release_socket();
    emit closed();
}

}  // namespace tessaly
