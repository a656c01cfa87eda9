// Forwarding: the raw received stream passed on unchanged to the COM port.
// TCP chunks wait in the ring until the drain timer writes them; the file
// path writes each block as it is read.
//
// A port that fails (unplugged, say) ends forwarding: the failure is shown
// once and the source goes on alone, instead of failing again at every
// byte or tick.
#include <QMenu>
#include <QTimer>

#include "RTCM_U1.h"

namespace tessaly {

void TForm1::StartTransmit() {
    menu_.start->setText(QStringLiteral("stop transmission through COM port"));
    settings_.transmit = true;
    if (!ComPort1->Connected()) {
        try {
            openForwardingPort();
        } catch (...) {
            StopTransmit();
            throw;
        }
    }
    setPanel(2, "Sending Data on " +
                    (settings_.comNumber >= 1 ? "COM" + QString::number(settings_.comNumber) : settings_.comport));
}

void TForm1::openForwardingPort() {
    ComPort1->setPort(settings_.comport);
    ComPort1->setBaudRate(settings_.baudCode);
    ComPort1->setParity(settings_.parity);
    ComPort1->setStopBits(settings_.stopbits);
    ComPort1->setDataBits(settings_.numbits);
    ComPort1->Open();
}

void TForm1::StopTransmit() {
    const bool was_on = settings_.transmit;
    settings_.transmit = false;
    sendRing_.discard();
    menu_.start->setText(QStringLiteral("Start transmit through COM port"));
    setPanel(2, QString());
    // The port was opened for forwarding; as a source it stays open.
    if (was_on && settings_.source != kSourceSerial && ComPort1->Connected()) {
        ComPort1->WaitForAsync(&writeRecord_);
        ComPort1->Close();
    }
}

void TForm1::QueueForTransmit(const QByteArray& chunk) {
    sendRing_.store(chunk.toStdString());
    if (!timer3_->isActive()) timer3_->start();
}

void TForm1::Timer3Timer() {
    guarded([&] {
        try {
            sendRing_.drain([&](const std::string& entry) {
                ComPort1->WriteStrAsync(QByteArray::fromStdString(entry), &writeRecord_);
            });
        } catch (const Failure&) {
            StopTransmit();
            throw;
        }
    });
}

void TForm1::forwardBytes(std::span<const std::uint8_t> bytes) {
    try {
        ComPort1->WriteStr(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    } catch (const Failure&) {
        StopTransmit();
        throw;
    }
}

}  // namespace tessaly
