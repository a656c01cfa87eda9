#pragma once
// The serial port channel: configured while closed, opened, then read when
// OnRxChar says bytes have arrived and written without waiting.
//
// Back end: QSerialPort on the Linux device that serial_device() names for
// Port ("COM1" .. "COM12", see serial_ports.h). Fixed configuration: no flow
// control, DTR and RTS inactive, reads return what is there. Failures throw
// ComPortError with the operation's text and " (win error code: N)", N being
// the Linux errno; an open refused for lack of permission adds a line on the
// dialout group.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <functional>

#include "error_seam.h"

namespace tessaly {

// Error codes of the channel's operations.
enum ComError : int {
    kComOpenFailed = 1,        // "Unable to open com port"
    kComWriteFailed = 2,       // "WriteFile function failed"
    kComReadFailed = 3,        // "ReadFile function failed"
    kComInvalidAsync = 4,      // "Invalid Async parameter"
    kComPurgeFailed = 5,       // "PurgeComm function failed"
    kComAsyncStatus = 6,       // "Unable to get async status"
    kComSetStateFailed = 7,    // "SetCommState function failed"
    kComTimeoutsFailed = 8,    // "SetCommTimeouts failed"
    kComSetupFailed = 9,       // "SetupComm function failed"
    kComClearErrorFailed = 10, // "ClearCommError function failed"
};

class ComPortError : public Failure {
public:
    // `device` names the port in the hint given when permission is lacking;
    // `where` names it ("COM3 = /dev/ttyUSB0") in the text of an open.
    ComPortError(int code, int os_error, const QString& device = {}, const QString& where = {});
    int code() const { return code_; }
    int osError() const { return os_error_; }

private:
    int code_;
    int os_error_;
};

// The completion record of asynchronous writes. Writes leave the port in
// call order through one queue, so the record carries no state here; it is
// kept so that every caller follows one protocol (and a missing record is
// still the error it always was).
struct ComAsync {};

class TComPort : public QObject {
    Q_OBJECT

public:
    // Codes of the settings, as the settings record keeps them.
    enum : std::uint8_t { kStopOne = 0, kStopOneAndHalf = 1, kStopTwo = 2 };

    // Bytes have arrived; `count` is what was waiting at that moment.
    std::function<void(TComPort& sender, int count)> OnRxChar;
    // The open device went away (USB adapter pulled, pseudo-terminal closed
    // by its peer): reading fails from now on. Comes once, from the event
    // loop; the port is closed after the handler unless it closed it.
    std::function<void(TComPort& sender, const QString& why)> OnLost;

    explicit TComPort(QObject* owner = nullptr);

    // Settings. While the port is closed they are only stored and take
    // effect at Open; the codes are applied at once to an open port, and a
    // Port change waits for the next Open.
    const QString& Port() const { return port_name_; }
    void setPort(const QString& name) { port_name_ = name; }
    std::uint8_t BaudRate() const { return baud_code_; }
    void setBaudRate(std::uint8_t code) { set_code(baud_code_, code); }
    std::uint8_t DataBits() const { return data_bits_; }
    void setDataBits(std::uint8_t code) { set_code(data_bits_, code); }
    std::uint8_t StopBits() const { return stop_bits_; }
    void setStopBits(std::uint8_t code) { set_code(stop_bits_, code); }
    std::uint8_t Parity() const { return parity_; }
    void setParity(std::uint8_t code) { set_code(parity_, code); }

    void Open();
    void Close();
    bool Connected() const { return port_.isOpen(); }
    // The Linux device of the open port.
    QString device() const { return port_.portName(); }
    // The port as the texts name it: "COM3 = /dev/ttyS2", or the path alone.
    QString where() const;
    // True when the open device has hung up (its peer or driver is gone),
    // for a check on a timer: Qt does not always report it.
    bool hungUp() const;

    int InputCount();
    QByteArray ReadStr(int count);
    void ClearBuffer(bool input, bool output);
    // Hands all bytes to the port and returns at once; returns their count.
    int WriteStrAsync(const QByteArray& text, ComAsync* async);
    // Waits until every byte handed over has left.
    void WaitForAsync(ComAsync* async);
    // Writes all bytes and waits until they have left; returns their count.
    int WriteStr(const QByteArray& text);

private:
    void set_code(std::uint8_t& field, std::uint8_t code);
    void apply_settings();
    void wait_written();
    [[noreturn]] void fail(int code);
    void lost(const QString& why);
    [[noreturn]] static void fail(int code, int os_error);

    QSerialPort port_;
    QString port_name_ = QStringLiteral("COM1");
    std::uint8_t baud_code_ = 6;  // 4800 bit/s
    std::uint8_t data_bits_ = 3;  // eight
    std::uint8_t stop_bits_ = kStopOne;
    std::uint8_t parity_ = 0;     // none
    int last_errno_ = 0;          // errno when QSerialPort last reported an error
    bool lost_pending_ = false;   // a loss is queued for OnLost
};

}  // namespace tessaly
