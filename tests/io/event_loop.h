#pragma once
// The event loop for the channel tests, and what they all include.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace tessaly::test {

// Runs the event loop until `done` holds or 5 s have passed; false then.
inline bool spin_until(const std::function<bool()>& done, int limit_ms = 5000) {
    const QDeadlineTimer deadline(limit_ms);
    QTimer wake;  // so that waiting for events never outlasts the deadline
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace tessaly::test
