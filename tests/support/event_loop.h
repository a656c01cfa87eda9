#pragma once
// The event loop for the Qt tests: runs until `done` holds or `ms` have
// passed (false then); a timer wakes it so that no wait outlasts the limit.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

namespace tessaly::testing {

template <class Pred>
bool spin_until(Pred done, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace tessaly::testing

namespace tessaly::test {
using testing::spin_until;
}  // namespace tessaly::test
