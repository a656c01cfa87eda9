#include "com_port.h"

#include <QDeadlineTimer>

#include <poll.h>

#include <array>
#include <cerrno>

#include "serial_ports.h"

namespace tessaly {
namespace {

const char* error_text(int code) {
    static constexpr std::array<const char*, 11> texts{
        "",
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
    };
    return code > 0 && code < int(texts.size()) ? texts[size_t(code)] : "";
}

// Rates of the rate codes 1..15 (0 would be a custom rate, which the system
// never sets).
constexpr std::array<qint32, 16> kRates{0,    110,   300,   600,   1200,  2400,   4800,   9600,
                                        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The errno behind a QSerialPort error, for the cases where the failing
// call did not leave it behind.
int errno_for(QSerialPort::SerialPortError e) {
    switch (e) {
    case QSerialPort::DeviceNotFoundError: return ENOENT;
    case QSerialPort::PermissionError: return EACCES;
    case QSerialPort::OpenError: return EBUSY;
    case QSerialPort::NotOpenError: return EBADF;
    case QSerialPort::UnsupportedOperationError: return EINVAL;
    case QSerialPort::TimeoutError: return ETIMEDOUT;
    default: return EIO;
    }
}

// The fixed write timeouts: a constant 100 ms plus 10 ms per byte.
int write_timeout_ms(qint64 bytes) { return int(100 + 10 * bytes); }

}  // namespace

ComPortError::ComPortError(int code, int os_error, const QString& device, const QString& where)
    : Failure(QStringLiteral("%1%2 (win error code: %3)")
                  .arg(QLatin1String(error_text(code)), where.isEmpty() ? QString() : ' ' + where)
                  .arg(os_error) +
              // Serial devices belong to the group dialout; a user outside it
              // gets EACCES, and the number alone does not say what to do.
              (code == kComOpenFailed && os_error == EACCES
                   ? "\nNo permission to open " + (device.isEmpty() ? QStringLiteral("the port") : device) +
                         ": the user must be in the group 'dialout' (sudo adduser $USER dialout, then log in again)."
                   : QString())),
      code_(code),
      os_error_(os_error) {}

TComPort::TComPort(QObject* owner) : QObject(owner) {
    // QSerialPort learns errno at the failing call; keep it for the message.
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::NoError) last_errno_ = errno;
        // A device that went away keeps the read notifier firing with
        // errors; a read error on a hung-up device, or a resource error, is
        // the loss of the device.
        if (port_.isOpen() && (e == QSerialPort::ResourceError || (e == QSerialPort::ReadError && hungUp())))
            lost(e == QSerialPort::ResourceError ? QStringLiteral("the device was removed")
                                                 : QStringLiteral("the device was closed by its other end"));
    });
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (!OnRxChar) return;
        const auto handler = OnRxChar;
        run_guarded([&] { handler(*this, int(port_.bytesAvailable())); });
    });
}

void TComPort::fail(int code, int os_error) { throw ComPortError(code, os_error); }

QString TComPort::where() const {
    const QString device = serial_device(port_name_);
    return device == port_name_ ? port_name_ : port_name_ + QStringLiteral(" = ") + device;
}

bool TComPort::hungUp() const {
    if (!port_.isOpen()) return false;
    pollfd p{int(port_.handle()), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void TComPort::lost(const QString& why) {
    if (lost_pending_) return;
    lost_pending_ = true;
    // Not inside QSerialPort's own notification: the port is closed from
    // the event loop. Until then its notifier is off.
    QMetaObject::invokeMethod(
        this,
        [this, why] {
            lost_pending_ = false;
            if (!port_.isOpen()) return;
            if (OnLost) {
                const auto handler = OnLost;
                run_guarded([&] { handler(*this, why); });
            }
            port_.close();
        },
        Qt::QueuedConnection);
}

void TComPort::fail(int code) {
    const int e = last_errno_ != 0 ? last_errno_ : errno_for(port_.error());
    port_.clearError();
    fail(code, e);
}

void TComPort::set_code(std::uint8_t& field, std::uint8_t code) {
    field = code;
    if (Connected()) apply_settings();
}

void TComPort::Open() {
    if (Connected()) return;
    last_errno_ = 0;
    port_.clearError();
    port_.setPortName(serial_device(port_name_));
    if (!port_.open(QIODevice::ReadWrite)) {
        const int e = last_errno_ != 0 ? last_errno_ : errno_for(port_.error());
        port_.clearError();
        throw ComPortError(kComOpenFailed, e, serial_device(port_name_), where());
    }
    // The tty driver's queues have fixed sizes on Linux; Qt's own read
    // buffer stays unbounded so that nothing is dropped between events.
    port_.setReadBufferSize(0);
    try {
        apply_settings();
    } catch (...) {
        port_.close();
        throw;
    }
}

void TComPort::apply_settings() {
    last_errno_ = 0;
    // Settings Linux cannot make are refused, never left out silently.
    if (baud_code_ == 0 || baud_code_ >= kRates.size() || data_bits_ > 3 || parity_ > 4 ||
        (stop_bits_ != kStopOne && stop_bits_ != kStopTwo))
        fail(kComSetStateFailed, EINVAL);
    static constexpr std::array<QSerialPort::Parity, 5> parities{
        QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    const bool ok = port_.setBaudRate(kRates[baud_code_]) &&
                    port_.setDataBits(QSerialPort::DataBits(QSerialPort::Data5 + data_bits_)) &&
                    port_.setParity(parities[parity_]) &&
                    port_.setStopBits(stop_bits_ == kStopOne ? QSerialPort::OneStop : QSerialPort::TwoStop) &&
                    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) fail(kComSetStateFailed);
    // A device without modem lines (a pseudo-terminal) has no DTR or RTS to
    // hold inactive; that is not a failure.
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    port_.clearError();
}

void TComPort::Close() {
    if (Connected()) port_.close();
}

int TComPort::InputCount() {
    if (!Connected()) fail(kComClearErrorFailed, EBADF);
    return int(port_.bytesAvailable());
}

QByteArray TComPort::ReadStr(int count) {
    if (!Connected()) fail(kComReadFailed, EBADF);
    if (count <= 0) return {};
    QByteArray data(count, '\0');
    last_errno_ = 0;
    const qint64 n = port_.read(data.data(), count);
    if (n < 0) fail(kComReadFailed);
    data.truncate(n);
    return data;
}

void TComPort::ClearBuffer(bool input, bool output) {
    if (!Connected()) fail(kComPurgeFailed, EBADF);
    last_errno_ = 0;
    if (input && !port_.clear(QSerialPort::Input)) fail(kComPurgeFailed);
    if (output && !port_.clear(QSerialPort::Output)) fail(kComPurgeFailed);
}

int TComPort::WriteStrAsync(const QByteArray& text, ComAsync* async) {
    if (async == nullptr) fail(kComInvalidAsync, EINVAL);
    if (text.isEmpty()) return 0;
    if (!Connected()) fail(kComWriteFailed, EBADF);
    last_errno_ = 0;
    if (port_.write(text) != text.size()) fail(kComWriteFailed);
    return int(text.size());
}

void TComPort::WaitForAsync(ComAsync* async) {
    if (async == nullptr) fail(kComInvalidAsync, EINVAL);
    // A closed port has nothing in flight.
    if (Connected()) wait_written();
}

int TComPort::WriteStr(const QByteArray& text) {
    ComAsync own;
    const int n = WriteStrAsync(text, &own);
    WaitForAsync(&own);
    return n;
}

void TComPort::wait_written() {
    // The write timeouts bound the wait. Bytes still queued when the time is
    // up are not dropped: they leave later, in order.
    QDeadlineTimer deadline(write_timeout_ms(port_.bytesToWrite()));
    last_errno_ = 0;
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (port_.waitForBytesWritten(int(deadline.remainingTime()))) continue;
        if (port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError)
            fail(kComAsyncStatus);
        port_.clearError();
        return;
    }
}

}  // namespace tessaly
